#include "platform/foundation/PrivateDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

constexpr mode_t kPrivateMode = 0700;

Error refusal(int code, const QString& message) {
    return Error(QStringLiteral("NSPOSIXErrorDomain"), code, message);
}

}  // namespace

namespace PrivateDirectory {

bool make(const QString& path, Error* error) {
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), kPrivateMode) != 0) {
        posixError(errno, path).report(error);
        return false;
    }
    // A umask can only take bits away; give the owner back what it took from
    // the owner, which opens nothing to others.
    struct stat info {};
    if (::lstat(encoded.constData(), &info) == 0 && (info.st_mode & 07777) != kPrivateMode &&
        ::chmod(encoded.constData(), kPrivateMode) != 0) {
        posixError(errno, path).report(error);
        return false;
    }
    return true;
}

bool isPrivate(const QString& path, Error* error) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        posixError(errno, path).report(error);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        refusal(ENOTDIR, stringWithFormat(localizedString("“%@” is a symbolic link."), {path}))
            .report(error);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        refusal(ENOTDIR, stringWithFormat(localizedString("“%@” is not a folder."), {path}))
            .report(error);
        return false;
    }
    if (info.st_uid != ::getuid()) {
        refusal(EPERM, stringWithFormat(localizedString("“%@” belongs to another user (%ld)."),
                                        {path, static_cast<long>(info.st_uid)}))
            .report(error);
        return false;
    }
    if ((info.st_mode & 07777) != kPrivateMode) {
        refusal(EACCES,
                stringWithFormat(localizedString("“%@” has mode %@, not 0700."),
                                 {path, QStringLiteral("0%1").arg(info.st_mode & 07777, 0, 8)}))
            .report(error);
        return false;
    }
    return true;
}

bool provide(const QString& path, Error* error) {
    Error made;
    if (make(path, &made)) return true;
    if (made.code() != EEXIST) {
        made.report(error);
        return false;
    }
    return isPrivate(path, error);
}

}  // namespace PrivateDirectory
