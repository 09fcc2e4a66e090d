#include "Quorvel/QVFSandboxPersistedBookmark.h"

#include <QFileInfo>

#include "QVFBookmarkData.h"
#include "QVFSandboxBookmarkStore.h"
#include "Quorvel/QVFDocumentPortal.h"
#include "Quorvel/QVFExtensions.h"
#include "Quorvel/QVFSandboxManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"

QVFSandboxPersistedBookmark::QVFSandboxPersistedBookmark(QVFDocumentPortal* portal, qint64 rowID,
                                                         QByteArray data, bool isDirectory,
                                                         bool isReadOnly, QString urlString,
                                                         bool isUnresolvable)
    : portal_(portal),
      rowID_(rowID),
      data_(std::move(data)),
      isDirectory_(isDirectory),
      isReadOnly_(isReadOnly),
      urlString_(std::move(urlString)),
      isUnresolvable_(isUnresolvable) {}

QVFSandboxPersistedBookmark* QVFSandboxPersistedBookmark::insertBookmarkForURL(
    QVFSandboxManager& manager, const QUrl& url, bool isReadOnly) {
    const QString path = url.toLocalFile();
    const bool isDirectory = QVFExtensions::isDirectoryAtPath(path);
    Error error;
    const auto data =
        QVFBookmarkData::create(path, isDirectory, isReadOnly, manager.documentPortal(), &error);
    QVFSandboxBookmarkStore* store = manager.managedObjectContext();
    if (data && !store) {
        error = Error(QVFSandboxBookmarkStore::errorDomain(), QVFSandboxBookmarkStore::NoStore,
                      QStringLiteral("There is no bookmark store"));
    }
    if (!data || !store) {
        systemLog(stringWithFormat(
            QStringLiteral("Error creating secure persisted bookmark for %@: %@"), {path, error}));
        return nullptr;
    }
    return store->insertBookmark(*data, isDirectory, isReadOnly, url.toString());
}

std::optional<QUrl> QVFSandboxPersistedBookmark::resolvedURL() {
    if (resolvedURL_ && !QFileInfo::exists(resolvedURL_->toLocalFile())) return resolvedURL_;
    Error error;
    const auto path = QVFBookmarkData::resolve(data_, portal_, &error);
    if (!path) {
        systemLog(
            stringWithFormat(QStringLiteral("Error resolving persisted secure bookmark %@: %@"),
                             {urlString_, error}));
        // A portal that is not there or not answering says nothing about the
        // document; marking the record would purge a grant that still holds.
        const bool mayResolveLater = error.domain() == QVFDocumentPortal::errorDomain() &&
                                     error.code() == QVFDocumentPortal::PortalUnavailable;
        if (!mayResolveLater) {
            if (!isUnresolvable_) changed_ = true;
            isUnresolvable_ = true;
        }
        return resolvedURL_;
    }
    resolvedURL_ = QUrl::fromLocalFile(*path);
    const QString text = resolvedURL_->toString();
    if (text != urlString_ || isUnresolvable_) changed_ = true;
    urlString_ = text;
    isUnresolvable_ = false;
    return resolvedURL_;
}
