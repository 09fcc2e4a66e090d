#include "platform/apps/ApplicationLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QHash>
#include <QMutex>
#include <cerrno>

#include "platform/foundation/LockFile.h"
#include "platform/foundation/SystemLog.h"

namespace ApplicationLock {

namespace {

// A pid is at most 19 digits and a newline; anything longer is not ours.
constexpr qsizetype kMaxRecordBytes = 32;

QMutex heldMutex;
// Lock file path → the descriptor that holds its lock, open until the process ends.
QHash<QString, int> heldLocks;

void logRefusal(const QString& path, const QString& reason) {
    systemLog(QStringLiteral("Workspace: refused the lock file %1: %2").arg(path, reason));
}

QString reasonText(int errnoValue) {
    if (errnoValue == ELOOP) return QStringLiteral("it is a symbolic link");
    if (errnoValue == EISDIR) return QStringLiteral("it is a folder");
    if (errnoValue == EINVAL) return QStringLiteral("it is not a regular file");
    return posixError(errnoValue).localizedDescription();
}

// The pid recorded in the file: digits alone, else 0.
qint64 recordedProcessIdentifier(int fd) {
    char buffer[kMaxRecordBytes + 1];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    if (n <= 0 || n > kMaxRecordBytes) return 0;
    const QByteArray text = QByteArray(buffer, n).trimmed();
    bool ok = false;
    const qint64 pid = text.toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

bool recordProcessIdentifier(int fd) {
    const QByteArray text = QByteArray::number(qint64(::getpid())) + '\n';
    return ::ftruncate(fd, 0) == 0 &&
           ::pwrite(fd, text.constData(), size_t(text.size()), 0) == ssize_t(text.size());
}

// Whether `fd` still stands for the file at `path` (a bundle removed and made
// again has a new lock file, which this process does not hold).
bool isSameFile(int fd, const QString& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

State stateOfLockFile(const QString& path) {
    State state;
    const int fd = LockFile::openRegularFile(path, O_RDONLY, 0644);
    if (fd < 0) {
        if (errno != ENOENT) logRefusal(path, reasonText(errno));
        return state;
    }
    flock probe = LockFile::wholeFile(F_RDLCK);
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) {
        logRefusal(path, reasonText(errno));
    } else if (probe.l_type != F_UNLCK) {
        state.isHeld = true;
        state.processIdentifier = recordedProcessIdentifier(fd);
        if (state.processIdentifier == 0)
            systemLog(QStringLiteral("Workspace: the lock file %1 is held but names no process")
                          .arg(path));
    }
    ::close(fd);
    return state;
}

bool acquireLockFile(const QString& path, Error* error) {
    QMutexLocker locker(&heldMutex);
    const auto held = heldLocks.constFind(path);
    if (held != heldLocks.constEnd()) {
        if (isSameFile(*held, path)) return true;
        ::close(*held);
        heldLocks.erase(held);
    }
    const int fd = LockFile::openRegularFile(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0) {
        const int reason = errno;
        logRefusal(path, reasonText(reason));
        posixError(reason, path).report(error);
        return false;
    }
    flock lock = LockFile::wholeFile(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int reason = errno == EACCES ? EAGAIN : errno;
        ::close(fd);
        posixError(reason, path).report(error);
        return false;
    }
    // The lock is what counts; a pid that cannot be written only leaves the holder unnamed.
    if (!recordProcessIdentifier(fd))
        systemLog(QStringLiteral("Workspace: cannot record this process in %1: %2")
                      .arg(path, posixError(errno).localizedDescription()));
    heldLocks.insert(path, fd);
    return true;
}

}  // namespace ApplicationLock
