#include "Quorvel/QVFSWUpdateInfo.h"

#include <gnu/libc-version.h>

#include <QList>
#include <QVersionNumber>

#include "platform/archive/ArchivedURL.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/foundation/Bundle.h"

namespace {

const QString kClassName = QStringLiteral("QVFSWUpdateInfo");

// The archivable form of an info: what the archiver writes and the
// unarchiver's factory rebuilds.
class ArchivedUpdateInfo : public ArchivableObject {
  public:
    explicit ArchivedUpdateInfo(QVFSWUpdateInfo info) : info_(std::move(info)) {}
    QString className() const override { return kClassName; }

    void encodeWithCoder(KeyedArchiver& coder) override {
        coder.encodeObject(info_.productIdentifier(), QStringLiteral("productIdentifier"));
        coder.encodeObject(info_.productName(), QStringLiteral("productName"));
        coder.encodeInt64(info_.versionIdentifier(), QStringLiteral("versionIdentifier"));
        coder.encodeObject(info_.versionString(), QStringLiteral("versionString"));
        coder.encodeObject(url(info_.directDownloadURL()), QStringLiteral("directDownloadURL"));
        coder.encodeObject(url(info_.productPageURL()), QStringLiteral("productPageURL"));
        coder.encodeObject(url(info_.updateInfoURL()), QStringLiteral("updateInfoURL"));
        coder.encodeObject(url(info_.appStoreURL()), QStringLiteral("appStoreURL"));
        coder.encodeObject(info_.systemVersion(), QStringLiteral("systemVersion"));
    }

    static std::shared_ptr<ArchivableObject> decode(KeyedUnarchiver& coder) {
        QVFSWUpdateInfo info;
        info.setProductIdentifier(
            coder.decodeObject(QStringLiteral("productIdentifier")).toString());
        info.setProductName(coder.decodeObject(QStringLiteral("productName")).toString());
        info.setVersionIdentifier(coder.decodeInt64(QStringLiteral("versionIdentifier")));
        info.setVersionString(coder.decodeObject(QStringLiteral("versionString")).toString());
        info.setDirectDownloadURL(urlOf(coder, QStringLiteral("directDownloadURL")));
        info.setProductPageURL(urlOf(coder, QStringLiteral("productPageURL")));
        info.setUpdateInfoURL(urlOf(coder, QStringLiteral("updateInfoURL")));
        info.setAppStoreURL(urlOf(coder, QStringLiteral("appStoreURL")));
        info.setSystemVersion(coder.decodeObject(QStringLiteral("systemVersion")).toString());
        return std::make_shared<ArchivedUpdateInfo>(std::move(info));
    }

    const QVFSWUpdateInfo& info() const { return info_; }

  private:
    // An absent URL is archived as nil, as the platform archives a nil property.
    static ArchiveValue url(const QUrl& value) {
        if (value.isEmpty()) return ArchiveValue();
        return ArchiveValue(std::make_shared<ArchivedURL>(value));
    }
    static QUrl urlOf(KeyedUnarchiver& coder, const QString& key) {
        return ArchivedURL::urlFromArchive(coder.decodeObject(key));
    }

    QVFSWUpdateInfo info_;
};

// The version a string states: its parts split at "." up to the first one
// without leading digits, each the number its digits make. Empty when even
// the first part has none; a part too large for an int ends the version
// there too, so no input overflows.
QList<int> versionParts(const QString& text) {
    QList<int> parts;
    for (const QString& part : text.trimmed().split(u'.')) {
        qsizetype digits = 0;
        while (digits < part.size() && part.at(digits) >= u'0' && part.at(digits) <= u'9') ++digits;
        bool ok = false;
        const int value = part.left(digits).toInt(&ok);
        if (digits == 0 || !ok) break;
        parts.append(value);
    }
    return parts;
}

}  // namespace

QString QVFSWUpdateInfo::currentVersionString() { return Bundle::main().shortVersionString(); }

QString QVFSWUpdateInfo::runningSystemVersion() {
    return QString::fromLatin1(gnu_get_libc_version());
}

bool QVFSWUpdateInfo::isOperatingSystemVersionCompatible() const {
    return isOperatingSystemVersionCompatible(runningSystemVersion());
}

bool QVFSWUpdateInfo::isOperatingSystemVersionCompatible(const QString& runningVersion) const {
    if (systemVersion_.split(u'.').size() < 2) return true;
    const QList<int> required = versionParts(systemVersion_);
    const QList<int> running = versionParts(runningVersion);
    if (required.isEmpty() || running.isEmpty()) return true;
    // Normalized, a missing part compares as 0 ("2.36" is "2.36.0").
    return QVersionNumber::compare(QVersionNumber(running).normalized(),
                                   QVersionNumber(required).normalized()) >= 0;
}

QByteArray QVFSWUpdateInfo::archivedData() const {
    return KeyedArchiver::archivedDataWithRootObject(
        ArchiveValue(std::make_shared<ArchivedUpdateInfo>(*this)));
}

std::optional<QVFSWUpdateInfo> QVFSWUpdateInfo::fromArchivedData(const QByteArray& data,
                                                                 QString* error) {
    Error failure;
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(data, &failure);
    if (!unarchiver) {
        if (error) *error = failure.description();
        return std::nullopt;
    }
    unarchiver->setClassFactory(kClassName, &ArchivedUpdateInfo::decode);
    const auto root =
        unarchiver->decodeObject(QStringLiteral("root")).toObject<ArchivedUpdateInfo>();
    if (!root) {
        if (error) {
            *error = unarchiver->error()
                         ? unarchiver->error().description()
                         : QStringLiteral("The archive's root is not a %1.").arg(kClassName);
        }
        return std::nullopt;
    }
    return root->info();
}
