#include "platform/richtext/FileWrapper.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUuid>
#include <cerrno>
#include <cstdio>

#include "platform/foundation/FileNameLength.h"
#include "platform/foundation/FileOperations.h"

class FileWrapperData : public QSharedData {
  public:
    FileWrapper::Kind kind = FileWrapper::Kind::Null;
    QString filename;
    QString preferredFilename;
    QByteArray contents;
    QString contentsPath;  // a file-backed regular file: the file holding the contents
    QMap<QString, FileWrapper> children;
    // Per safe child name, the number after the last one added under it: every
    // smaller number is taken, so adding many children of one name stays linear.
    // Cleared when a child is removed, as that may free a smaller number.
    QHash<QString, int> nextNumbers;
};

namespace {

const QString kErrorDomain = QStringLiteral("NSCocoaErrorDomain");
constexpr long kFileReadUnknownError = 256;
constexpr long kFileReadNoPermissionError = 257;
constexpr long kFileReadNoSuchFileError = 260;
constexpr long kFileWriteUnknownError = 512;
constexpr long kFileWriteNoPermissionError = 513;
constexpr long kFileWriteFileExistsError = 516;
constexpr long kFileWriteOutOfSpaceError = 640;
constexpr long kFileWriteVolumeReadOnlyError = 642;

Error readError(const QString& path, QFileDevice::FileError fileError = QFileDevice::ReadError) {
    const QString name = QFileInfo(path).fileName();
    if (!QFileInfo::exists(path))
        return Error(
            kErrorDomain, kFileReadNoSuchFileError,
            QStringLiteral("The file “%1” couldn’t be opened because there is no such file.")
                .arg(name));
    if (fileError == QFileDevice::PermissionsError)
        return Error(kErrorDomain, kFileReadNoPermissionError,
                     QStringLiteral("The file “%1” couldn’t be opened because you don’t have "
                                    "permission to view it.")
                         .arg(name));
    return Error(kErrorDomain, kFileReadUnknownError,
                 QStringLiteral("The file “%1” couldn’t be opened.").arg(name));
}

// A write failure in the platform's terms, with the system's reason (a POSIX
// error holding the real errno) as its underlying error.
Error writeError(const QString& path, const Error& cause = Error()) {
    const QString name = QFileInfo(path).fileName();
    const long code = cause.isNull() ? 0 : cause.code();
    if (code == EACCES || code == EPERM)
        return Error(kErrorDomain, kFileWriteNoPermissionError,
                     QStringLiteral("You don’t have permission to save the file “%1”.").arg(name),
                     cause);
    if (code == ENOSPC || code == EDQUOT)
        return Error(
            kErrorDomain, kFileWriteOutOfSpaceError,
            QStringLiteral("The file “%1” couldn’t be saved because there isn’t enough space.")
                .arg(name),
            cause);
    if (code == EROFS)
        return Error(
            kErrorDomain, kFileWriteVolumeReadOnlyError,
            QStringLiteral("The file “%1” couldn’t be saved because the volume is read only.")
                .arg(name),
            cause);
    return Error(kErrorDomain, kFileWriteUnknownError,
                 QStringLiteral("The file “%1” couldn’t be saved.").arg(name), cause);
}

// The current errno as the cause of a failed write to `path`.
Error writeErrorFromErrno(const QString& path) { return writeError(path, posixError(errno, path)); }

bool isSafeChildKey(const QString& key) {
    return !key.isEmpty() && key != QLatin1String(".") && key != QLatin1String("..") &&
           !key.contains(QLatin1Char('/')) && !key.contains(QChar(0));
}

// The hidden name of a staging or backup item beside `target`:
// ".<target>.<unique>.<role>", with the target's name shortened so that the
// whole name fits the file system's limit (a long target name must not make
// the write fail).
QString siblingName(const QString& target, const QString& unique, const QString& role) {
    const QString suffix = u'.' + unique + u'.' + role;
    const qsizetype room = FileNameLength::maximumBytes - 1 - FileNameLength::utf8Length(suffix);
    return u'.' + FileNameLength::leadingCharacters(target, room) + suffix;
}

// Whether anything at all is at `path`, a dangling symbolic link included.
bool isItemPresent(const QString& path) {
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

}  // namespace

FileWrapper::FileWrapper() : d_(new FileWrapperData) {}
FileWrapper::FileWrapper(FileWrapperData* data) : d_(data) {}
FileWrapper::FileWrapper(const FileWrapper&) = default;
FileWrapper& FileWrapper::operator=(const FileWrapper&) = default;
FileWrapper::FileWrapper(FileWrapper&&) noexcept = default;
FileWrapper& FileWrapper::operator=(FileWrapper&&) noexcept = default;
FileWrapper::~FileWrapper() = default;

FileWrapper FileWrapper::regularFile(const QByteArray& contents, const QString& preferredFilename) {
    auto* data = new FileWrapperData;
    data->kind = Kind::RegularFile;
    data->contents = contents;
    data->preferredFilename = preferredFilename;
    return FileWrapper(data);
}

FileWrapper FileWrapper::regularFileWithContentsOfPath(const QString& contentsPath,
                                                       const QString& preferredFilename) {
    auto* data = new FileWrapperData;
    data->kind = Kind::RegularFile;
    data->contentsPath = contentsPath;
    data->preferredFilename = preferredFilename;
    return FileWrapper(data);
}

FileWrapper FileWrapper::directory(const QMap<QString, FileWrapper>& children) {
    auto* data = new FileWrapperData;
    data->kind = Kind::Directory;
    FileWrapper wrapper(data);
    for (auto it = children.begin(); it != children.end(); ++it) {
        FileWrapper child = it.value();
        child.setPreferredFilename(it.key());
        wrapper.addFileWrapper(child);
    }
    return wrapper;
}

FileWrapper::Kind FileWrapper::kind() const { return d_->kind; }
QString FileWrapper::preferredFilename() const { return d_->preferredFilename; }
void FileWrapper::setPreferredFilename(const QString& name) { d_->preferredFilename = name; }
QString FileWrapper::filename() const { return d_->filename; }
void FileWrapper::setFilename(const QString& name) { d_->filename = name; }
QByteArray FileWrapper::regularFileContents() const {
    if (d_->contentsPath.isEmpty()) return d_->contents;
    QFile file(d_->contentsPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
QString FileWrapper::contentsPath() const { return d_->contentsPath; }
QMap<QString, FileWrapper> FileWrapper::fileWrappers() const { return d_->children; }

QString FileWrapper::safeChildName(const QString& name) {
    QString safe = name;
    safe.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QChar(0), QLatin1Char('_'));
    if (safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String(".."))
        safe = QStringLiteral("Attachment");
    return FileNameLength::fittedName(safe);
}

QString FileWrapper::addFileWrapper(const FileWrapper& child) {
    if (!isDirectory()) return QString();
    const QString proposed =
        child.preferredFilename().isEmpty() ? child.filename() : child.preferredFilename();
    const QString base = safeChildName(proposed);
    QString key = base;
    int n = d_->nextNumbers.value(base, 1);
    for (; d_->children.contains(key); ++n) {
        const QString prefix = QStringLiteral("%1__").arg(n);
        key = prefix + FileNameLength::fittedName(
                           base, FileNameLength::maximumBytes - FileNameLength::utf8Length(prefix));
    }
    d_->nextNumbers.insert(base, n);
    FileWrapper stored = child;
    stored.setFilename(key);
    d_->children.insert(key, stored);
    return key;
}

QString FileWrapper::addRegularFile(const QByteArray& contents, const QString& preferredFilename) {
    return addFileWrapper(regularFile(contents, preferredFilename));
}

bool FileWrapper::removeFileWrapper(const QString& key) {
    if (!isDirectory() || !d_->children.contains(key)) return false;
    d_->children.remove(key);
    d_->nextNumbers.clear();
    return true;
}

std::optional<FileWrapper> FileWrapper::readFromPath(const QString& path, Error* error) {
    const QFileInfo info(path);
    if (info.isDir()) {
        QDir dir(path);
        if (!info.isReadable())
            return readError(path, QFileDevice::PermissionsError).report(error), std::nullopt;
        FileWrapper wrapper = directory();
        const QFileInfoList entries = dir.entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.isSymLink()) continue;
            std::optional<FileWrapper> child = readFromPath(entry.filePath(), error);
            if (!child) return std::nullopt;
            child->d_->filename = entry.fileName();
            child->d_->preferredFilename = entry.fileName();
            wrapper.d_->children.insert(entry.fileName(), *child);
        }
        wrapper.d_->filename = wrapper.d_->preferredFilename = info.fileName();
        return wrapper;
    }
    QFile file(path);
    if (!info.exists() || !file.open(QIODevice::ReadOnly))
        return readError(path, file.error()).report(error), std::nullopt;
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) return readError(path).report(error), std::nullopt;
    FileWrapper wrapper = regularFile(contents, info.fileName());
    wrapper.d_->filename = info.fileName();
    return wrapper;
}

bool FileWrapper::writeItem(const QString& path, Error* error) const {
    if (!d_->contentsPath.isEmpty()) return writeContentsOfPath(path, error);
    if (isRegularFile()) {
        Error cause;
        if (!FileOperations::writeFile(path, d_->contents, FileOperations::WriteMode::NewOnly,
                                       &cause))
            return writeError(path, cause).report(error), false;
        return true;
    }
    if (isDirectory()) {
        Error cause;
        if (!FileOperations::makeDirectory(path, false, &cause))
            return writeError(path, cause).report(error), false;
        for (auto it = d_->children.begin(); it != d_->children.end(); ++it) {
            // Keys are single safe names by construction; a key that is not
            // (a hand-built map) must never write outside this folder.
            if (!isSafeChildKey(it.key()))
                return writeError(QDir(path).filePath(safeChildName(it.key()))).report(error),
                       false;
            if (!it.value().writeItem(QDir(path).filePath(it.key()), error)) return false;
        }
        return true;
    }
    return writeError(path).report(error), false;
}

// A file-backed regular file: linked where the file system allows, else copied in pieces.
bool FileWrapper::writeContentsOfPath(const QString& path, Error* error) const {
    if (::link(QFile::encodeName(d_->contentsPath).constData(),
               QFile::encodeName(path).constData()) == 0)
        return true;
    if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != EOPNOTSUPP)
        return writeErrorFromErrno(path).report(error), false;
    Error cause;
    if (!FileOperations::copyFile(d_->contentsPath, path, &cause))
        return writeError(path, cause).report(error), false;
    return true;
}

bool FileWrapper::writeToPath(const QString& path, bool atomically, Error* error) const {
    const QString name = QFileInfo(path).fileName();
    if (!atomically) {
        if (isItemPresent(path))
            return Error(kErrorDomain, kFileWriteFileExistsError,
                         QStringLiteral("The file “%1” couldn’t be saved because a file with the "
                                        "same name already exists.")
                             .arg(name))
                       .report(error),
                   false;
        if (!writeItem(path, error)) return FileOperations::removeItem(path), false;
        return true;
    }
    // Write beside the target, then let it appear in one rename, so that
    // readers see either the old item or the complete new one. The rename
    // itself says whether something is there to be replaced.
    const QString dir = QFileInfo(path).absolutePath();
    const QString unique = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString staging = dir + u'/' + siblingName(name, unique, QStringLiteral("new"));
    if (!writeItem(staging, error)) return FileOperations::removeItem(staging), false;
    Error cause;
    if (FileOperations::renameNoReplace(staging, path, &cause)) return true;
    if (cause.code() != EEXIST) {
        FileOperations::removeItem(staging);
        return writeError(path, posixError(static_cast<int>(cause.code()), path)).report(error),
               false;
    }
    // Something is there: move it aside, swap the new item in, then remove the old one.
    const QString backup = dir + u'/' + siblingName(name, unique, QStringLiteral("old"));
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) != 0) {
        const Error failure = writeErrorFromErrno(path);
        FileOperations::removeItem(staging);
        return failure.report(error), false;
    }
    if (::rename(QFile::encodeName(staging).constData(), QFile::encodeName(path).constData()) !=
        0) {
        const Error failure = writeErrorFromErrno(path);
        ::rename(QFile::encodeName(backup).constData(), QFile::encodeName(path).constData());
        FileOperations::removeItem(staging);
        return failure.report(error), false;
    }
    FileOperations::removeItem(backup);
    return true;
}

bool operator==(const FileWrapper& a, const FileWrapper& b) {
    if (a.d_ == b.d_) return true;
    return a.d_->kind == b.d_->kind && a.d_->preferredFilename == b.d_->preferredFilename &&
           a.d_->contents == b.d_->contents && a.d_->contentsPath == b.d_->contentsPath &&
           a.d_->children == b.d_->children;
}
