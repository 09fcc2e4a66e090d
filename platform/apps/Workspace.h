// The workspace: applications found by bundle identifier among the installed
// and the running ones.
//
// Applications live in application folders: the colon-separated list in
// $FERRYMARK_APPLICATIONS, else $XDG_DATA_HOME/ferrymark/Applications. An
// installed application is a folder "Name.app" holding "Contents/Info.plist"
// (bundle identifier, version, and the stand-in's own keys). A running
// application is one whose "Contents/pid" file names a live process.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "platform/plist/PlistValue.h"

// One application bundle on disk.
struct ApplicationRecord {
    QString bundlePath;  // the "Name.app" folder; empty for a built-in application
    PlistDictionary info;

    QString bundleIdentifier() const {
        return info.value(QStringLiteral("CFBundleIdentifier")).toString();
    }
    QString version() const {
        return info.value(QStringLiteral("CFBundleShortVersionString")).toString();
    }
    // The process identifier from the pid file, or 0 when not running.
    qint64 processIdentifier() const;
    QString pidFilePath() const;
};

namespace Workspace {

QStringList applicationFolders();
// Installed applications with this identifier, in folder order, then by name.
QList<ApplicationRecord> installedApplications(const QString& bundleIdentifier);
// The installed applications with this identifier whose process is alive.
QList<ApplicationRecord> runningApplications(const QString& bundleIdentifier);
// The installed application whose pid file names this process, if any.
std::optional<ApplicationRecord> applicationWithProcessIdentifier(qint64 pid);
// Records `pid` as the application's running process (what launching or
// activating a stand-in does).
bool markRunning(const ApplicationRecord& app, qint64 pid);
bool isProcessAlive(qint64 pid);

}  // namespace Workspace

// A four-character code packed into 32 bits, big-endian ('Pfcp', 'enex').
constexpr quint32 fourCharCode(const char (&code)[5]) {
    return (quint32(quint8(code[0])) << 24) | (quint32(quint8(code[1])) << 16) |
           (quint32(quint8(code[2])) << 8) | quint32(quint8(code[3]));
}
