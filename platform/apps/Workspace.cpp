#include "platform/apps/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>

#include "platform/foundation/StandardPaths.h"

QString ApplicationRecord::pidFilePath() const {
    return bundlePath.isEmpty() ? QString() : bundlePath + QStringLiteral("/Contents/pid");
}

qint64 ApplicationRecord::processIdentifier() const {
    const QString path = pidFilePath();
    if (path.isEmpty()) return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const qint64 pid = file.readAll().trimmed().toLongLong();
    return Workspace::isProcessAlive(pid) ? pid : 0;
}

namespace Workspace {

QStringList applicationFolders() {
    const QString list = qEnvironmentVariable("FERRYMARK_APPLICATIONS");
    if (!list.isEmpty()) return list.split(u':', Qt::SkipEmptyParts);
    return {StandardPaths::applicationSupportDirectory() +
            QStringLiteral("/ferrymark/Applications")};
}

namespace {

QList<ApplicationRecord> allInstalledApplications() {
    QList<ApplicationRecord> result;
    for (const QString& folder : applicationFolders()) {
        const QDir dir(folder);
        const QStringList bundles =
            dir.entryList({QStringLiteral("*.app")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : bundles) {
            const QString bundle = dir.filePath(name);
            auto info = PlistValue::readFromFile(bundle + QStringLiteral("/Contents/Info.plist"));
            if (!info || info->type() != PlistValue::Type::Dictionary) continue;
            result.append({bundle, info->toDictionary()});
        }
    }
    return result;
}

}  // namespace

QList<ApplicationRecord> installedApplications(const QString& bundleIdentifier) {
    QList<ApplicationRecord> result;
    for (const ApplicationRecord& app : allInstalledApplications())
        if (app.bundleIdentifier() == bundleIdentifier) result.append(app);
    return result;
}

QList<ApplicationRecord> runningApplications(const QString& bundleIdentifier) {
    QList<ApplicationRecord> result;
    for (const ApplicationRecord& app : installedApplications(bundleIdentifier))
        if (app.processIdentifier() != 0) result.append(app);
    return result;
}

std::optional<ApplicationRecord> applicationWithProcessIdentifier(qint64 pid) {
    if (pid <= 0) return std::nullopt;
    for (const ApplicationRecord& app : allInstalledApplications())
        if (app.processIdentifier() == pid) return app;
    return std::nullopt;
}

bool markRunning(const ApplicationRecord& app, qint64 pid) {
    const QString path = app.pidFilePath();
    if (path.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(QByteArray::number(pid)) > 0;
}

bool isProcessAlive(qint64 pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace Workspace
