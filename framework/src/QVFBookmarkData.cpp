#include "QVFBookmarkData.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "Quorvel/QVFDocumentPortal.h"
#include "platform/foundation/Format.h"
#include "platform/plist/PlistValue.h"

namespace {

const QString kKindKey = QStringLiteral("QVFBookmarkKind");
const QString kPathKey = QStringLiteral("path");
const QString kDeviceKey = QStringLiteral("device");
const QString kInodeKey = QStringLiteral("inode");
const QString kDocumentIDKey = QStringLiteral("documentID");
const QString kFileKind = QStringLiteral("file");
const QString kDocumentKind = QStringLiteral("document");

struct Identity {
    qint64 device;
    qint64 inode;
};

// The device and inode of the item at `path`, symbolic links followed.
std::optional<Identity> identityAtPath(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return Identity{static_cast<qint64>(info.st_dev), static_cast<qint64>(info.st_ino)};
}

Error bookmarkError(long code, const QString& format, const QString& path) {
    return Error(QVFBookmarkData::errorDomain(), code, stringWithFormat(format, {path}));
}

}  // namespace

QString QVFBookmarkData::errorDomain() { return QStringLiteral("QVFBookmarkErrorDomain"); }

std::optional<QByteArray> QVFBookmarkData::create(const QString& path, bool isDirectory,
                                                  bool readOnly, QVFDocumentPortal* portal,
                                                  Error* error) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    PlistDictionary record;
    record.set(kPathKey, absolute);
    if (portal) {
        const auto documentID = portal->addDocument(absolute, isDirectory, readOnly, error);
        if (!documentID) return std::nullopt;
        record.set(kKindKey, kDocumentKind);
        record.set(kDocumentIDKey, *documentID);
    } else {
        const auto identity = identityAtPath(absolute);
        if (!identity) {
            bookmarkError(ItemMissing, QStringLiteral("There is no item at %@"), absolute)
                .report(error);
            return std::nullopt;
        }
        record.set(kKindKey, kFileKind);
        record.set(kDeviceKey, identity->device);
        record.set(kInodeKey, identity->inode);
    }
    return PlistValue(record).serialize(PlistValue::Format::Binary);
}

std::optional<QString> QVFBookmarkData::resolve(const QByteArray& data, QVFDocumentPortal* portal,
                                                Error* error) {
    const auto value = PlistValue::fromData(data);
    const PlistDictionary record = value ? value->toDictionary() : PlistDictionary();
    const QString kind = record.value(kKindKey).toString();
    const QString path = record.value(kPathKey).toString();
    if (path.isEmpty() || (kind != kFileKind && kind != kDocumentKind)) {
        Error(errorDomain(), NotBookmarkData, QStringLiteral("The data is not a bookmark"))
            .report(error);
        return std::nullopt;
    }
    if (kind == kDocumentKind) {
        if (!portal) {
            Error(
                QVFDocumentPortal::errorDomain(), QVFDocumentPortal::PortalUnavailable,
                stringWithFormat(
                    QStringLiteral("The document portal that granted %@ is not available"), {path}))
                .report(error);
            return std::nullopt;
        }
        const auto documentPath =
            portal->documentPath(record.value(kDocumentIDKey).toString(), error);
        if (!documentPath) return std::nullopt;
        if (!QFileInfo::exists(*documentPath)) {
            bookmarkError(ItemMissing, QStringLiteral("The item %@ was moved or deleted"), path)
                .report(error);
            return std::nullopt;
        }
        return documentPath;
    }
    const auto identity = identityAtPath(path);
    if (!identity) {
        bookmarkError(ItemMissing, QStringLiteral("The item %@ was moved or deleted"), path)
            .report(error);
        return std::nullopt;
    }
    if (identity->device != record.value(kDeviceKey).toInteger() ||
        identity->inode != record.value(kInodeKey).toInteger()) {
        bookmarkError(ItemReplaced, QStringLiteral("The item %@ was replaced by another one"), path)
            .report(error);
        return std::nullopt;
    }
    return path;
}
