#include "platform/foundation/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>

namespace {

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

// Reports the current errno for `path`; returns false for `return fail(...)`.
bool fail(const QString& path, Error* error) {
    posixError(errno, path).report(error);
    return false;
}

bool writeAll(int fd, const char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

// Copies the user's extended attributes of `from` (tags, comment, dates and
// note attributes live there). A target file system that keeps none is no
// failure: there is nothing it could hold; any other refusal is (one without
// room for them all says ENOSPC or E2BIG), naming the attribute.
bool copyExtendedAttributes(const QString& from, const QString& to, Error* error) {
    const QByteArray source = encoded(from), target = encoded(to);
    ssize_t size = ::listxattr(source.constData(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? true : fail(from, error);
    QByteArray names(size, '\0');
    size = ::listxattr(source.constData(), names.data(), static_cast<size_t>(names.size()));
    if (size < 0) return fail(from, error);
    names.truncate(size);
    for (const QByteArray& name : names.split('\0')) {
        if (!name.startsWith("user.")) continue;
        const ssize_t length = ::getxattr(source.constData(), name.constData(), nullptr, 0);
        if (length < 0) return fail(from, error);
        QByteArray value(length, '\0');
        const ssize_t read = ::getxattr(source.constData(), name.constData(), value.data(),
                                        static_cast<size_t>(value.size()));
        if (read < 0) return fail(from, error);
        if (::setxattr(target.constData(), name.constData(), value.constData(),
                       static_cast<size_t>(read), 0) != 0) {
            if (errno == ENOTSUP) return true;
            posixError(errno,
                       to + QStringLiteral(": extended attribute ") + QString::fromUtf8(name))
                .report(error);
            return false;
        }
    }
    return true;
}

// Copies a regular file's bytes, keeping its permissions, modification date and
// extended attributes.
bool copyFile(const QString& from, const QString& to, const struct stat& info, Error* error) {
    const int in = ::open(encoded(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail(from, error);
    const int out = ::open(encoded(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           info.st_mode & 07777);
    if (out < 0) {
        const int saved = errno;
        ::close(in);
        errno = saved;
        return fail(to, error);
    }
    char buffer[1 << 16];
    bool ok = true;
    QString failedPath;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            failedPath = from;
            break;
        }
        if (!writeAll(out, buffer, n)) {
            ok = false;
            failedPath = to;
            break;
        }
    }
    if (ok) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(out, times);
        Error attributeError;
        if (!copyExtendedAttributes(from, to, &attributeError)) {
            ::close(in);
            ::close(out);
            ::unlink(encoded(to).constData());
            attributeError.report(error);
            return false;
        }
    }
    const int savedErrno = errno;
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        failedPath = to;
    } else {
        errno = savedErrno;
    }
    if (!ok) {
        posixError(errno, failedPath).report(error);
        ::unlink(encoded(to).constData());
    }
    return ok;
}

bool copyTree(const QString& from, const QString& to, Error* error) {
    struct stat info {};
    if (::lstat(encoded(from).constData(), &info) != 0) return fail(from, error);
    if (S_ISLNK(info.st_mode)) {
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(encoded(from).constData(), target.data(),
                                     static_cast<size_t>(target.size()));
        if (n < 0) return fail(from, error);
        target.truncate(n);
        if (::symlink(target.constData(), encoded(to).constData()) != 0) return fail(to, error);
        return true;
    }
    if (!S_ISDIR(info.st_mode)) return copyFile(from, to, info, error);
    if (::mkdir(encoded(to).constData(), info.st_mode & 07777) != 0) return fail(to, error);
    if (!copyExtendedAttributes(from, to, error)) return false;
    const QStringList entries =
        QDir(from).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (!copyTree(from + u'/' + entry, to + u'/' + entry, error)) return false;
    return true;
}

}  // namespace

namespace FileOperations {

bool makeDirectory(const QString& givenPath, bool intermediates, Error* error) {
    const QString path = QDir::cleanPath(givenPath);
    if (::mkdir(encoded(path).constData(), 0777) == 0) return true;
    if (!intermediates) return fail(path, error);
    if (errno == EEXIST) {
        if (QFileInfo(path).isDir()) return true;
        return fail(path, error);
    }
    if (errno != ENOENT) return fail(path, error);
    const QString parent = QFileInfo(path).absolutePath();
    if (parent == path) return fail(path, error);
    if (!makeDirectory(parent, true, error)) return false;
    if (::mkdir(encoded(path).constData(), 0777) == 0 ||
        (errno == EEXIST && QFileInfo(path).isDir()))
        return true;
    return fail(path, error);
}

namespace {

// The file that replacing `path` writes: the one a symbolic link names, so
// that a linked settings file stays linked.
QString replacementTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? info.symLinkTarget() : resolved;
}

// Creates a new file for the replacement of `target` in its folder (so that
// the rename stays within one file system); -1 with errno set on failure.
int createTemporaryFile(const QString& target, QString* temporary) {
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                     QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                   QLatin1Char('0'));
        const int fd =
            ::open(encoded(*temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Makes the rename itself durable; a file system without directory fsync
// has nothing more to do, so its failure is not the write's.
void syncFolder(const QString& folder) {
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool replaceFile(const QString& path, const QByteArray& data, Error* error) {
    const QString target = replacementTarget(path);
    struct stat existing {};
    const bool exists = ::stat(encoded(target).constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        return fail(path, error);
    }
    QString temporary;
    const int fd = createTemporaryFile(target, &temporary);
    if (fd < 0) return fail(path, error);
    int reason = 0;
    if ((exists && ::fchmod(fd, existing.st_mode & 07777) != 0) ||
        !writeAll(fd, data.constData(), data.size()) || ::fsync(fd) != 0)
        reason = errno;
    // close() is where a network or quota-limited file system may first say it is full.
    if (::close(fd) != 0 && reason == 0) reason = errno;
    if (reason == 0 && ::rename(encoded(temporary).constData(), encoded(target).constData()) == 0) {
        syncFolder(QFileInfo(target).absolutePath());
        return true;
    }
    if (reason == 0) reason = errno;
    ::unlink(encoded(temporary).constData());
    posixError(reason, path).report(error);
    return false;
}

}  // namespace

bool writeFile(const QString& path, const QByteArray& data, WriteMode mode, Error* error) {
    if (mode == WriteMode::Replace) return replaceFile(path, data, error);
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | (mode == WriteMode::NewOnly ? O_EXCL : O_TRUNC);
    const bool existed = mode == WriteMode::Truncate && QFileInfo::exists(path);
    const int fd = ::open(encoded(path).constData(), flags, 0666);
    if (fd < 0) return fail(path, error);
    const bool written = writeAll(fd, data.constData(), data.size());
    const int writeErrno = errno;
    // close() is where a network or quota-limited file system may first say it is full.
    const bool closed = ::close(fd) == 0;
    if (written && closed) return true;
    if (!written) errno = writeErrno;
    posixError(errno, path).report(error);
    if (!existed) ::unlink(encoded(path).constData());
    return false;
}

bool removeItem(const QString& path, Error* error) {
    struct stat info {};
    if (::lstat(encoded(path).constData(), &info) != 0)
        return errno == ENOENT ? true : fail(path, error);
    if (!S_ISDIR(info.st_mode))
        return ::unlink(encoded(path).constData()) == 0 || errno == ENOENT || fail(path, error);
    const QStringList entries =
        QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (!removeItem(path + u'/' + entry, error)) return false;
    return ::rmdir(encoded(path).constData()) == 0 || errno == ENOENT || fail(path, error);
}

bool renameNoReplace(const QString& from, const QString& to, Error* error) {
    const QByteArray source = encoded(from), target = encoded(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno == EEXIST) return fail(to, error);
    if (errno != EINVAL && errno != ENOSYS) return fail(from, error);
    // A file system that cannot refuse a replacement in the rename itself.
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        errno = EEXIST;
        return fail(to, error);
    }
    return ::rename(source.constData(), target.constData()) == 0 || fail(from, error);
}

bool moveItem(const QString& from, const QString& to, Error* error) {
    Error renameError;
    if (renameNoReplace(from, to, &renameError)) return true;
    if (renameError.code() != EXDEV) return renameError.report(error), false;
    // The rename may say EXDEV before looking at `to`: a copy must not touch an item there.
    struct stat existing {};
    if (::lstat(encoded(to).constData(), &existing) == 0) {
        errno = EEXIST;
        return fail(to, error);
    }
    if (!copyTree(from, to, error)) {
        removeItem(to);
        return false;
    }
    Error removal;
    if (!removeItem(from, &removal)) {
        // Both copies would exist: undo the copy, so that the item is in one place.
        removeItem(to);
        removal.report(error);
        return false;
    }
    return true;
}

bool copyFile(const QString& from, const QString& to, Error* error) {
    struct stat info {};
    if (::stat(encoded(from).constData(), &info) != 0) return fail(from, error);
    return ::copyFile(from, to, info, error);
}

QString nearestExistingPath(const QString& path) {
    QString candidate = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(candidate)) {
        const QString parent = QFileInfo(candidate).absolutePath();
        if (parent == candidate) break;
        candidate = parent;
    }
    return candidate;
}

std::optional<qint64> availableBytes(const QString& path, Error* error) {
    const QString existing = nearestExistingPath(path);
    struct statvfs info {};
    if (::statvfs(encoded(existing).constData(), &info) != 0) {
        fail(existing, error);
        return std::nullopt;
    }
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

bool isSameFileSystem(const QString& a, const QString& b) {
    struct stat infoA {
    }, infoB{};
    if (::stat(encoded(nearestExistingPath(a)).constData(), &infoA) != 0) return false;
    if (::stat(encoded(nearestExistingPath(b)).constData(), &infoB) != 0) return false;
    return infoA.st_dev == infoB.st_dev;
}

}  // namespace FileOperations
