#include "platform/apps/Workspace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>

#include "platform/apps/ApplicationLock.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/foundation/SystemLog.h"

QString ApplicationRecord::lockFilePath() const {
    return bundlePath.isEmpty() ? QString() : bundlePath + QStringLiteral("/Contents/lock");
}

bool ApplicationRecord::isRunning() const {
    return !bundlePath.isEmpty() && ApplicationLock::stateOfLockFile(lockFilePath()).isHeld;
}

qint64 ApplicationRecord::processIdentifier() const {
    if (bundlePath.isEmpty()) return 0;
    return ApplicationLock::stateOfLockFile(lockFilePath()).processIdentifier;
}

namespace Workspace {

QStringList applicationFolders() {
    const QString list = qEnvironmentVariable("FERRYMARK_APPLICATIONS");
    if (!list.isEmpty()) return list.split(u':', Qt::SkipEmptyParts);
    return {StandardPaths::applicationSupportDirectory() +
            QStringLiteral("/ferrymark/Applications")};
}

namespace {

void logSkipped(const QString& bundle, const QString& reason) {
    systemLog(QStringLiteral("Workspace: skipped the application %1: %2").arg(bundle, reason));
}

// The bytes of a bundle's Info.plist: a regular file (no link followed) of at
// most kMaxInfoPlistBytes. nullopt, with the reason, otherwise.
std::optional<QByteArray> readInfoPlistData(const QString& path, QString* reason) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *reason = errno == ELOOP ? QStringLiteral("its Info.plist is a symbolic link")
                                 : QStringLiteral("cannot open its Info.plist: %1")
                                       .arg(posixError(errno).localizedDescription());
        return std::nullopt;
    }
    struct stat info {};
    std::optional<QByteArray> data;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        *reason = QStringLiteral("its Info.plist is not a regular file");
    else if (info.st_size > kMaxInfoPlistBytes)
        *reason = QStringLiteral("its Info.plist is larger than %1 bytes").arg(kMaxInfoPlistBytes);
    else {
        QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
        const ssize_t n = ::pread(fd, bytes.data(), size_t(bytes.size()), 0);
        if (n == ssize_t(bytes.size()))
            data = std::move(bytes);
        else
            *reason = QStringLiteral("cannot read its Info.plist");
    }
    ::close(fd);
    return data;
}

std::optional<ApplicationRecord> readApplication(const QString& bundle) {
    const QString path = bundle + QStringLiteral("/Contents/Info.plist");
    QString reason;
    const std::optional<QByteArray> data = readInfoPlistData(path, &reason);
    if (!data) {
        logSkipped(bundle, reason);
        return std::nullopt;
    }
    Error error;
    const auto info = PlistValue::fromData(*data, &error);
    if (!info) {
        logSkipped(
            bundle,
            QStringLiteral("its Info.plist cannot be read: %1").arg(error.localizedDescription()));
        return std::nullopt;
    }
    if (info->type() != PlistValue::Type::Dictionary) {
        logSkipped(bundle, QStringLiteral("its Info.plist holds no dictionary"));
        return std::nullopt;
    }
    return ApplicationRecord{bundle, info->toDictionary()};
}

// Every bundle in the application folders, read or not (nullopt).
QList<std::pair<QString, std::optional<ApplicationRecord>>> allApplicationBundles() {
    QList<std::pair<QString, std::optional<ApplicationRecord>>> result;
    for (const QString& folder : applicationFolders()) {
        const QDir dir(folder);
        const QStringList bundles =
            dir.entryList({QStringLiteral("*.app")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : bundles) {
            const QString bundle = dir.filePath(name);
            result.append({bundle, readApplication(bundle)});
        }
    }
    return result;
}

QList<ApplicationRecord> allInstalledApplications() {
    QList<ApplicationRecord> result;
    for (const auto& [bundle, app] : allApplicationBundles())
        if (app) result.append(*app);
    return result;
}

}  // namespace

QList<ApplicationRecord> installedApplications(const QString& bundleIdentifier) {
    QList<ApplicationRecord> result;
    for (const ApplicationRecord& app : allInstalledApplications())
        if (app.bundleIdentifier() == bundleIdentifier) result.append(app);
    return result;
}

QStringList unreadableApplications() {
    QStringList result;
    for (const auto& [bundle, app] : allApplicationBundles())
        if (!app) result.append(bundle);
    return result;
}

QList<ApplicationRecord> runningApplications(const QString& bundleIdentifier) {
    QList<ApplicationRecord> result;
    for (const ApplicationRecord& app : installedApplications(bundleIdentifier))
        if (app.isRunning()) result.append(app);
    return result;
}

std::optional<ApplicationRecord> applicationWithProcessIdentifier(
    qint64 pid, const QStringList& bundleIdentifiers) {
    if (pid <= 0) return std::nullopt;
    for (const QString& identifier : bundleIdentifiers)
        for (const ApplicationRecord& app : installedApplications(identifier))
            if (app.processIdentifier() == pid) return app;
    return std::nullopt;
}

bool markRunning(const ApplicationRecord& app, Error* error) {
    if (app.bundlePath.isEmpty()) {
        posixError(ENOENT, QStringLiteral("a built-in application has no lock")).report(error);
        return false;
    }
    return ApplicationLock::acquireLockFile(app.lockFilePath(), error);
}

}  // namespace Workspace
