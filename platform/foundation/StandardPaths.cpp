#include "platform/foundation/StandardPaths.h"

#include <QDir>
#include <QSysInfo>

namespace {

QString fromEnvironment(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : QDir::cleanPath(value);
}

}  // namespace

namespace StandardPaths {

QString temporaryDirectory() { return fromEnvironment("TMPDIR", QStringLiteral("/tmp")); }

QString applicationSupportDirectory() {
    return fromEnvironment("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
}

QString libraryDirectory() { return applicationSupportDirectory(); }

QString configDirectory() {
    return fromEnvironment("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
}

QString stateDirectory() {
    return fromEnvironment("XDG_STATE_HOME", QDir::homePath() + QStringLiteral("/.local/state"));
}

QString operatingSystemVersionString() {
    return QSysInfo::prettyProductName() + QStringLiteral(" (kernel ") + QSysInfo::kernelVersion() +
           QStringLiteral(")");
}

}  // namespace StandardPaths
