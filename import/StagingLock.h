// The lock that marks a staging folder as in use by a live import run: a lock
// file in the folder (".import.lock") on which the run holds an open file
// description lock (fcntl F_OFD_SETLK) from the moment the folder is made
// until the run ends. The kernel drops the lock when the holder dies, so a
// folder left by a run that was killed or crashed never reads as in use, and
// a folder whose run is alive always does, in this process or another.
//
// Looking never takes the lock (F_OFD_GETLK). A lock file that is a symbolic
// link or not a regular file is never opened through (O_NOFOLLOW) and reads as
// not held.
//
// Owned by one run; move-only; releases the lock when destroyed. Any thread.
#pragma once

#include <QString>

#include "platform/foundation/Error.h"

class StagingLock {
  public:
    static inline const QString kFileName = QStringLiteral(".import.lock");

    StagingLock() = default;
    ~StagingLock();
    StagingLock(StagingLock&& other) noexcept;
    StagingLock& operator=(StagingLock&& other) noexcept;
    StagingLock(const StagingLock&) = delete;
    StagingLock& operator=(const StagingLock&) = delete;

    // Whether a live run holds the lock of the staging folder `folder`.
    static bool isHeld(const QString& folder);
    // Takes the lock of `folder` (which must exist), creating its lock file.
    // False with the system's error (POSIX EAGAIN when a live run holds it).
    bool acquire(const QString& folder, Error* error = nullptr);
    // Lets the lock go (nothing when none is held), removing the lock file
    // while still holding it, so that a run's folder is left as it was.
    void release();
    bool isAcquired() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    QString path_;  // of the lock file held
};
