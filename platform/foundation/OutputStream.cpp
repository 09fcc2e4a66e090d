#include "platform/foundation/OutputStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

OutputStream::OutputStream(const QString& path) : path_(path) {}

OutputStream::~OutputStream() { close(); }

bool OutputStream::open() {
    if (fd_ >= 0) return true;
    fd_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                 0644);
    return fd_ >= 0;
}

qint64 OutputStream::write(const QByteArray& bytes) {
    if (fd_ < 0) return -1;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += n;
    }
    return done;
}

void OutputStream::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}
