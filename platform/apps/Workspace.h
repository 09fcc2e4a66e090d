// The workspace: applications found by bundle identifier among the installed
// and the running ones.
//
// Applications live in application folders: the colon-separated list in
// $FERRYMARK_APPLICATIONS, else $XDG_DATA_HOME/ferrymark/Applications. An
// installed application is a folder "Name.app" holding "Contents/Info.plist"
// (bundle identifier, version, and the stand-in's own keys); an Info.plist
// that is not a regular file of at most kMaxInfoPlistBytes holding a
// dictionary is skipped with a log line. A running application is one whose
// process holds the lock on "Contents/lock" (ApplicationLock): a pid alone
// can be stale or reused, so no file's contents make an application running.
// Several applications may run in one process (the stand-ins run in the
// importer's), so a lookup by process always names the bundle identifiers it
// accepts.
//
// Stateless apart from the locks this process holds; any thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/foundation/Error.h"
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
    // Whether a process (this one included) holds the application's lock.
    bool isRunning() const;
    // The process that holds the lock, as it recorded itself; 0 when the
    // application is not running or the holder is not named.
    qint64 processIdentifier() const;
    // "Contents/lock" in the bundle; empty for a built-in application.
    QString lockFilePath() const;
};

namespace Workspace {

// The largest Info.plist read; a bundle's own keys take a few hundred bytes.
constexpr qint64 kMaxInfoPlistBytes = 1024 * 1024;

QStringList applicationFolders();
// Installed applications with this identifier, in folder order, then by name.
QList<ApplicationRecord> installedApplications(const QString& bundleIdentifier);
// The bundles in the application folders whose Info.plist was skipped: which
// application each one is cannot be known.
QStringList unreadableApplications();
// The installed applications with this identifier whose lock is held.
QList<ApplicationRecord> runningApplications(const QString& bundleIdentifier);
// The running application with one of `bundleIdentifiers` (tried in that
// order) whose lock the process `pid` holds; nullopt when there is none.
// Another application running in the same process is never returned.
std::optional<ApplicationRecord> applicationWithProcessIdentifier(
    qint64 pid, const QStringList& bundleIdentifiers);
// Marks the application as running in this process (what launching or
// activating a stand-in does): takes its lock until this process ends.
// Success when this process holds the lock; the error is ApplicationLock's
// (POSIX EAGAIN when another process runs it). A built-in application has no
// lock: POSIX ENOENT.
bool markRunning(const ApplicationRecord& app, Error* error = nullptr);

}  // namespace Workspace

// A four-character code packed into 32 bits, big-endian ('Pfcp', 'enex').
constexpr quint32 fourCharCode(const char (&code)[5]) {
    return (quint32(quint8(code[0])) << 24) | (quint32(quint8(code[1])) << 16) |
           (quint32(quint8(code[2])) << 8) | quint32(quint8(code[3]));
}
