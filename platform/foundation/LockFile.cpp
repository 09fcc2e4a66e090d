#include "platform/foundation/LockFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace LockFile {

int openRegularFile(const QString& path, int flags, mode_t mode) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int reason = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

struct flock wholeFile(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    lock.l_pid = 0;  // must be 0 for open file description locks
    return lock;
}

}  // namespace LockFile
