#include "import/StagingLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <utility>

#include "platform/foundation/LockFile.h"

namespace {

// The lock file of `folder` (see LockFile::openRegularFile).
int openLockFile(const QString& folder, int flags) {
    return LockFile::openRegularFile(folder + u'/' + StagingLock::kFileName, flags, 0600);
}

}  // namespace

StagingLock::~StagingLock() { release(); }

StagingLock::StagingLock(StagingLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

StagingLock& StagingLock::operator=(StagingLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool StagingLock::isHeld(const QString& folder) {
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    const int fd = openLockFile(folder, O_RDONLY);
    if (fd < 0) return false;
    flock probe = LockFile::wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

bool StagingLock::acquire(const QString& folder, Error* error) {
    release();
    const int fd = openLockFile(folder, O_RDWR | O_CREAT);
    if (fd < 0) {
        posixError(errno, folder + u'/' + kFileName).report(error);
        return false;
    }
    flock lock = LockFile::wholeFile(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int reason = errno == EACCES ? EAGAIN : errno;
        ::close(fd);
        posixError(reason, folder).report(error);
        return false;
    }
    fd_ = fd;
    path_ = folder + u'/' + kFileName;
    return true;
}

void StagingLock::release() {
    if (fd_ < 0) return;
    // Gone already when the library removed the staging folder; and a lock
    // file at the same path that is not ours belongs to a newer run.
    const QByteArray path = QFile::encodeName(path_);
    struct stat held {
    }, named{};
    if (::fstat(fd_, &held) == 0 && ::lstat(path.constData(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlink(path.constData());
    ::close(fd_);
    fd_ = -1;
}
