#include "Quorvel/QVFSandboxManager.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "QVFSandboxBookmarkStore.h"
#include "Quorvel/QVFDocumentPortal.h"
#include "Quorvel/QVFExtensions.h"
#include "Quorvel/QVFSandboxPersistedBookmark.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"

namespace {

QString pathOf(const QUrl& url) {
    const QString path = url.toLocalFile();
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Whether `path` is `folder` or lies below it, comparing whole components.
bool isInsideFolder(const QString& path, const QString& folder) {
    if (folder.isEmpty() || path.isEmpty()) return false;
    if (path == folder) return true;
    return path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

bool isInsideAnyOf(const QString& path, const QList<QUrl>& folders) {
    for (const QUrl& folder : folders) {
        if (isInsideFolder(path, pathOf(folder))) return true;
    }
    return false;
}

qsizetype indexOfPath(const QList<QUrl>& urls, const QString& path) {
    for (qsizetype i = 0; i < urls.size(); ++i) {
        if (pathOf(urls.at(i)) == path) return i;
    }
    return -1;
}

void removePath(QList<QUrl>& urls, const QString& path) {
    urls.removeIf([&](const QUrl& url) { return pathOf(url) == path; });
}

// Opening access to a resolved grant: the item is there and readable.
// Nothing has to be released again on Linux, so ending access is bookkeeping.
bool startAccessing(const QUrl& url) {
    const QString path = pathOf(url);
    return !path.isEmpty() && QFileInfo::exists(path) &&
           ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

// Deletes the store file and the journals SQLite may have left beside it.
bool removeStoreFiles(const QString& path, QString* reason) {
    QFile store(path);
    if (!store.remove()) {
        *reason = store.errorString();
        return false;
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    return true;
}

}  // namespace

QVFSandboxManager::QVFSandboxManager() = default;
QVFSandboxManager::~QVFSandboxManager() = default;

std::unique_ptr<QVFSandboxManager>& QVFSandboxManager::sharedInstance() {
    static std::unique_ptr<QVFSandboxManager> instance;
    return instance;
}

QUrl QVFSandboxManager::storeFileURL() const { throw QVFSandboxManagerStoreURLException(); }

QVFDocumentPortal* QVFSandboxManager::documentPortal() {
    if (!portalChosen_) {
        portal_ = QVFDocumentPortal::sandboxPortal();
        portalChosen_ = true;
    }
    return portal_.get();
}

QList<QUrl> QVFSandboxManager::entitledDirectoryURLs() const {
    QMutexLocker lock(&entitledMutex_);
    return entitledDirectoryURLs_;
}

void QVFSandboxManager::setEntitledDirectoryURLs(const QList<QUrl>& urls) {
    QMutexLocker lock(&entitledMutex_);
    entitledDirectoryURLs_ = urls;
}

QList<QUrl> QVFSandboxManager::readOnlyEntitledDirectoryURLs() const {
    QMutexLocker lock(&entitledMutex_);
    return readOnlyEntitledDirectoryURLs_;
}

void QVFSandboxManager::setReadOnlyEntitledDirectoryURLs(const QList<QUrl>& urls) {
    QMutexLocker lock(&entitledMutex_);
    readOnlyEntitledDirectoryURLs_ = urls;
}

QString QVFSandboxManager::containerDirectory() const {
    const QString home = QDir::cleanPath(QDir::homePath());
    if (!QVFDocumentPortal::isInsideSandbox()) return home;
    const QString applicationID = qEnvironmentVariable("FLATPAK_ID");
    return applicationID.isEmpty() ? home : home + QStringLiteral("/.var/app/") + applicationID;
}

QVFSandboxBookmarkStore* QVFSandboxManager::managedObjectContext() {
    if (!storeOpened_) openStore();
    return store_.get();
}

void QVFSandboxManager::openStore() {
    const QString path = storeFileURL().toLocalFile();  // throws without a location
    storeOpened_ = true;
    store_ = std::make_unique<QVFSandboxBookmarkStore>(documentPortal());
    Error error;
    if (store_->open(path, &error)) return;
    systemLog(stringWithFormat(QStringLiteral("Unable to open secure bookmarks file at %@: %@"),
                               {path, error}));
    if (!QFileInfo::exists(path)) return;  // kept without a store: fetches and saves fail

    QString reason;
    if (!removeStoreFiles(path, &reason)) {
        systemLog(stringWithFormat(QStringLiteral("Cannot remove secure bookmarks file %@: %@"),
                                   {path, reason}));
        store_.reset();
        return;
    }
    store_ = std::make_unique<QVFSandboxBookmarkStore>(documentPortal());
    if (!store_->open(path, &error)) {
        systemLog(stringWithFormat(QStringLiteral("Unable to open secure bookmarks file at %@: %@"),
                                   {path, error}));
    }
}

namespace {

std::optional<QList<QVFSandboxPersistedBookmark*>> fetchAll(QVFSandboxBookmarkStore* store,
                                                            Error* error) {
    if (store) return store->fetchBookmarks(error);
    Error(QVFSandboxBookmarkStore::errorDomain(), QVFSandboxBookmarkStore::NoStore,
          QStringLiteral("There is no bookmark store"))
        .report(error);
    return std::nullopt;
}

}  // namespace

void QVFSandboxManager::loadGrants() {
    Error error;
    const auto records = fetchAll(managedObjectContext(), &error);
    if (!records) {
        systemLog(stringWithFormat(QStringLiteral("Error loading persisted secure bookmarks: %@"),
                                   {error}));
        return;
    }
    for (QVFSandboxPersistedBookmark* record : *records) {
        if (const auto url = record->resolvedURL()) {
            (record->isDirectory() ? allowedDirectoryURLs_ : allowedFileURLs_).append(*url);
        }
    }
}

bool QVFSandboxManager::entitledURLsContainsURL(const QUrl& url, bool readOnly) const {
    const QString path = pathOf(url);
    if (isInsideFolder(path, containerDirectory())) return true;
    if (isInsideAnyOf(path, additionalEntitledDirectoryURLs())) return true;
    return isInsideAnyOf(path,
                         readOnly ? readOnlyEntitledDirectoryURLs() : entitledDirectoryURLs());
}

bool QVFSandboxManager::appNeedsToObtainPermissionToAccessURL(const QUrl& url) {
    return appNeedsToObtainPermissionToAccessURL(url, false);
}

bool QVFSandboxManager::appNeedsToObtainReadOnlyPermissionToAccessURL(const QUrl& url) {
    return appNeedsToObtainPermissionToAccessURL(url, true);
}

bool QVFSandboxManager::appNeedsToObtainPermissionToAccessURL(const QUrl& url, bool readOnly) {
    const QString path = pathOf(url);
    if (path.isEmpty() || !QFileInfo::exists(path) || entitledURLsContainsURL(url, readOnly))
        return false;
    if (QVFExtensions::isDirectoryAtPath(path)) return !reopenGrantedFolderAbove(path);

    // A file (or package): a granted folder around it is enough.
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path &&
        !appNeedsToObtainPermissionToAccessURL(QUrl::fromLocalFile(parent), readOnly)) {
        return false;
    }
    return !reopenGrantedFile(url, path);
}

bool QVFSandboxManager::reopenGrantedFolderAbove(const QString& path) {
    const auto folder =
        std::find_if(allowedDirectoryURLs_.cbegin(), allowedDirectoryURLs_.cend(),
                     [&](const QUrl& granted) { return isInsideFolder(path, pathOf(granted)); });
    if (folder == allowedDirectoryURLs_.cend()) return false;
    const QUrl granted = *folder;
    if (indexOfPath(accessedURLs_, pathOf(granted)) >= 0) return true;
    if (startAccessing(granted)) {
        accessedURLs_.append(granted);
        return true;
    }
    systemLog(stringWithFormat(
        QStringLiteral("Unable to obtain secure bookmark access for folder %@"), {granted}));
    removePersistedBookmarkForURL(granted);
    return false;
}

bool QVFSandboxManager::reopenGrantedFile(const QUrl& url, const QString& path) {
    if (indexOfPath(accessedURLs_, path) >= 0) return true;
    std::optional<QUrl> candidate;
    if (const qsizetype index = indexOfPath(allowedFileURLs_, path); index >= 0) {
        candidate = allowedFileURLs_.at(index);
    } else {
        Error error;
        const auto records = fetchAll(managedObjectContext(), &error);
        if (!records) {
            systemLog(stringWithFormat(
                QStringLiteral("Error loading persisted secure bookmarks: %@"), {error}));
        }
        for (QVFSandboxPersistedBookmark* record :
             records.value_or(QList<QVFSandboxPersistedBookmark*>())) {
            const auto resolved = record->resolvedURL();
            if (resolved && pathOf(*resolved) == path) {
                candidate = resolved;
                break;
            }
        }
    }
    if (!candidate) return false;
    if (startAccessing(*candidate)) {
        accessedURLs_.append(url);
        return true;
    }
    systemLog(stringWithFormat(
        QStringLiteral("Unable to obtain secure bookmark access for file %@"), {*candidate}));
    removePersistedBookmarkForURL(*candidate);
    return false;
}

void QVFSandboxManager::appDidObtainPermissionToAccessURL(const QUrl& url) {
    appDidObtainPermissionToAccessURL(url, false);
}

void QVFSandboxManager::appDidObtainReadOnlyPermissionToAccessURL(const QUrl& url) {
    appDidObtainPermissionToAccessURL(url, true);
}

void QVFSandboxManager::appDidObtainPermissionToAccessURL(const QUrl& url, bool readOnly) {
    const QString path = pathOf(url);
    if (path.isEmpty() || entitledURLsContainsURL(url, readOnly)) return;
    QList<QUrl>& granted =
        QVFExtensions::isDirectoryAtPath(path) ? allowedDirectoryURLs_ : allowedFileURLs_;
    if (indexOfPath(granted, path) >= 0) return;

    const QUrl grantedURL = QUrl::fromLocalFile(path);
    granted.append(grantedURL);
    QVFSandboxPersistedBookmark* record =
        QVFSandboxPersistedBookmark::insertBookmarkForURL(*this, grantedURL, readOnly);
    if (record && record->resolvedURL()) {
        accessedURLs_.append(grantedURL);
    } else {
        systemLog(stringWithFormat(
            QStringLiteral("Cannot start accessing just created security scoped URL: %@"),
            {grantedURL}));
        removePersistedBookmarkForURL(grantedURL);
    }
    saveStoreFile();
}

void QVFSandboxManager::removePersistedBookmarkForURL(const QUrl& url) {
    const QString path = pathOf(url);
    QVFSandboxBookmarkStore* store = managedObjectContext();
    Error error;
    if (const auto records = fetchAll(store, &error)) {
        for (QVFSandboxPersistedBookmark* record : *records) {
            const auto resolved = record->resolvedURL();
            if (resolved && pathOf(*resolved) == path) store->deleteBookmark(record);
        }
    } else {
        systemLog(stringWithFormat(
            QStringLiteral("Error loading persisted secure bookmarks to remove a bookmark: %@"),
            {error}));
    }
    // Both sets: an item that is gone no longer says whether it was a folder.
    removePath(allowedDirectoryURLs_, path);
    removePath(allowedFileURLs_, path);
    removePath(accessedURLs_, path);
    saveStoreFile();
}

void QVFSandboxManager::closeAllSecureBookmarks() {
    // Access to a Linux grant holds no resource, so there is nothing to end;
    // the accessed set keeps its members, as callers expect.
}

bool QVFSandboxManager::saveStoreFile(Error* error) {
    QVFSandboxBookmarkStore* store = managedObjectContext();
    Error fetchError;
    if (const auto records = fetchAll(store, &fetchError)) {
        for (QVFSandboxPersistedBookmark* record : *records) {
            if (record->isUnresolvable()) store->deleteBookmark(record);
        }
    } else {
        systemLog(stringWithFormat(QStringLiteral("Error fetching unresolveable bookmarks: %@"),
                                   {fetchError}));
    }
    Error saveError;
    if (!store || !store->save(&saveError)) {
        if (!store) saveError = fetchError;
        systemLog(stringWithFormat(
            QStringLiteral("Unable to save secure persisted bookmarks file: %@"), {saveError}));
        saveError.report(error);
        return false;
    }
    return true;
}
