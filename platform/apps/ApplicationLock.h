// The lock that marks an application as running: a lock file in its bundle
// ("Contents/lock") on which the application's process holds an open file
// description lock (fcntl F_OFD_SETLK) for as long as it runs. The kernel
// drops the lock when the process ends, so a lock file left behind by a
// process that died, or one whose recorded pid now belongs to another
// process, never reads as held. The holder writes its pid into the file; the
// pid only says which process holds the lock, never whether one does.
//
// Looking at a lock never takes it (F_OFD_GETLK), so a look cannot make an
// application fail to start. A lock file that is a symbolic link, not a
// regular file, or unreadable is refused with a log line and reads as not
// held; the holder then refuses it too and writes nothing through it.
//
// Locks taken by this process are kept open until the process ends (the
// stand-ins run in the importer's own process). Thread-safe.
#pragma once

#include <QString>

#include "platform/foundation/Error.h"

namespace ApplicationLock {

struct State {
    bool isHeld = false;
    // The holder's pid as it recorded it; 0 when not held or not readable.
    qint64 processIdentifier = 0;
};

// Whether some process, this one included, holds the lock at `path`.
State stateOfLockFile(const QString& path);

// Takes the lock at `path` (creating the file) for this process until it
// ends, and records this process's pid in it. Taking it again is success.
// False when another process holds it (error: POSIX EAGAIN) or the lock file
// is refused (error: POSIX ELOOP for a symbolic link, EISDIR or EINVAL for
// something that is not a regular file, or the system's reason).
bool acquireLockFile(const QString& path, Error* error = nullptr);

}  // namespace ApplicationLock
