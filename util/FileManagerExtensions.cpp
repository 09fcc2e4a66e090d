#include "util/FileManagerExtensions.h"

#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DesktopEntry.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/foundation/SystemLog.h"
#include "platform/uti/UniformTypes.h"
#include "util/TextExtensions.h"

namespace {

// info.json is a few hundred bytes; anything much larger is not Dropbox's.
constexpr qint64 kMaximumDropboxInfoSize = 1 << 20;

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

bool statItem(const QString& path, struct stat* info, bool followLinks) {
    const QByteArray file = encoded(path);
    return (followLinks ? ::stat(file.constData(), info) : ::lstat(file.constData(), info)) == 0;
}

QString nameOf(const QString& path) { return QVExtensions::fileDisplayName(path); }

bool hasPackageExtension(const QString& path) {
    const QString name = nameOf(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && QVExtensions::packageExtensions().contains(name.mid(dot + 1).toLower());
}

// `path` lies in `folder` or is it, comparing whole components.
bool isInFolder(const QString& path, const QString& folder) {
    if (folder.isEmpty()) return false;
    if (folder == QStringLiteral("/")) return path.startsWith(u'/');
    return path == folder || path.startsWith(folder + u'/');
}

// The path with "." and ".." resolved and symbolic links too where it exists,
// so that a folder reached through a link compares with its real place.
QString resolvedPath(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

QStringList mountPoints() {
    QStringList points;
    FILE* table = ::setmntent("/proc/self/mounts", "r");
    if (!table) return points;
    struct mntent entry;
    char buffer[4096];
    while (::getmntent_r(table, &entry, buffer, sizeof buffer))
        points.append(QFile::decodeName(entry.mnt_dir));
    ::endmntent(table);
    return points;
}

// Dropbox's "business" and "personal" folders, in that order.
QStringList dropboxFolders() {
    QFile file(QDir::homePath() + QStringLiteral("/.dropbox/info.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.read(kMaximumDropboxInfoSize));
    if (!document.isObject()) return {};
    QStringList folders;
    for (const char* account : {"business", "personal"}) {
        const QString path = document.object()
                                 .value(QLatin1String(account))
                                 .toObject()
                                 .value(QLatin1String("path"))
                                 .toString();
        if (!path.isEmpty()) folders.append(path);
    }
    return folders;
}

// The "localPath" of every folder of every account in a Nextcloud or ownCloud
// client's configuration (Qt's INI form: "0\Folders\1\localPath=/home/me/Nextcloud/").
QStringList syncClientFolders(const QString& configurationFile) {
    if (!QFileInfo(configurationFile).isFile()) return {};
    QSettings settings(configurationFile, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) return {};
    settings.beginGroup(QStringLiteral("Accounts"));
    QStringList folders;
    for (const QString& key : settings.allKeys()) {
        if (!key.endsWith(QStringLiteral("/localPath"))) continue;
        const QString path = settings.value(key).toString();
        if (!path.isEmpty()) folders.append(path);
    }
    return folders;
}

QUrl folderURL(const QString& path) { return QUrl::fromLocalFile(QDir::cleanPath(path)); }

void logFailure(const QString& format, std::initializer_list<FormatArgument> arguments) {
    systemLog(stringWithFormat(format, arguments));
}

// --- Size walk ---

// Walks a tree by the bytes of its paths, so that a name which is not UTF-8
// is still found again.
struct SizeWalk {
    std::set<std::pair<dev_t, ino_t>> visited;  // every folder counted

    // False for a folder counted before.
    bool enter(const struct stat& info) {
        return visited.insert({info.st_dev, info.st_ino}).second;
    }

    static Error failure(int errnoValue, const QByteArray& path) {
        return posixError(errnoValue, QFile::decodeName(path));
    }

    // The names of the folder's children that are not hidden; nullopt with the error.
    static std::optional<std::vector<QByteArray>> visibleChildren(const QByteArray& folder,
                                                                  Error* error) {
        DIR* directory = ::opendir(folder.constData());
        if (!directory) {
            failure(errno, folder).report(error);
            return std::nullopt;
        }
        std::vector<QByteArray> names;
        errno = 0;
        while (const struct dirent* entry = ::readdir(directory)) {
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
            errno = 0;
        }
        const int readFailure = errno;
        ::closedir(directory);
        if (readFailure != 0) {
            failure(readFailure, folder).report(error);
            return std::nullopt;
        }
        return names;
    }

    std::optional<quint64> sizeOf(const QByteArray& path, Error* error) {
        struct stat info;
        if (::lstat(path.constData(), &info) != 0) {
            failure(errno, path).report(error);
            return std::nullopt;
        }
        if (!S_ISDIR(info.st_mode)) return static_cast<quint64>(info.st_size);
        if (!enter(info)) return 0;
        return folderSize(path, error);
    }

    std::optional<quint64> folderSize(const QByteArray& folder, Error* error) {
        const auto children = visibleChildren(folder, error);
        if (!children) return std::nullopt;
        quint64 total = 0;
        for (const QByteArray& name : *children) {
            const QByteArray child = folder + '/' + name;
            struct stat info;
            if (::lstat(child.constData(), &info) != 0) {
                failure(errno, child).report(error);
                return std::nullopt;
            }
            if (S_ISDIR(info.st_mode)) {
                // A sub-folder that cannot be measured adds nothing; the walk goes on.
                if (enter(info)) total += folderSize(child, nullptr).value_or(0);
            } else {
                total += static_cast<quint64>(info.st_size);
            }
        }
        return total;
    }
};

}  // namespace

namespace QVExtensions {

const QStringList& packageExtensions() {
    static const QStringList extensions = {QStringLiteral("pmnote"), QStringLiteral("rtfd"),
                                           QStringLiteral("app"), QStringLiteral("webarchive")};
    return extensions;
}

bool isPackageAtPath(const QString& path) {
    struct stat info;
    return statItem(path, &info, true) && S_ISDIR(info.st_mode) && hasPackageExtension(path);
}

bool isDirectoryAtPath(const QString& path) {
    struct stat info;
    return statItem(path, &info, true) && S_ISDIR(info.st_mode) && !hasPackageExtension(path);
}

bool isHiddenFileAtPath(const QString& path) {
    if (path.startsWith(u'.')) return true;
    struct stat info;
    return statItem(path, &info, false) && nameOf(path).startsWith(u'.');
}

bool isSymbolicLinkAtPath(const QString& path) {
    struct stat info;
    return statItem(path, &info, false) && S_ISLNK(info.st_mode);
}

bool isAlias(bool* isAliasOut, const QUrl& url, Error* error) {
    const QString path = url.toLocalFile();
    struct stat info;
    if (path.isEmpty() || !statItem(path, &info, false)) {
        const int failure = path.isEmpty() ? EINVAL : errno;
        posixError(failure, url.toString()).report(error);
        return false;
    }
    bool answer = S_ISLNK(info.st_mode);
    if (!answer && S_ISREG(info.st_mode) && DesktopEntry::hasDesktopEntryName(path)) {
        const auto entry = DesktopEntry::readFromFile(path);
        answer = entry && entry->isLink();
    }
    if (isAliasOut) *isAliasOut = answer;
    return true;
}

bool isAliasAtURL(const QUrl& url) {
    bool answer = false;
    return isAlias(&answer, url) && answer;
}

std::optional<QUrl> originalURLForAliasAtURL(const QUrl& url, Error* error) {
    bool alias = false;
    if (!isAlias(&alias, url, error)) return std::nullopt;
    const QString path = url.toLocalFile();
    if (!alias) {
        posixError(EINVAL, path).report(error);
        return std::nullopt;
    }
    if (isSymbolicLinkAtPath(path)) {
        char* resolved = ::realpath(encoded(path).constData(), nullptr);
        if (!resolved) {
            posixError(errno, path).report(error);
            return std::nullopt;
        }
        const QString target = QFile::decodeName(resolved);
        ::free(resolved);
        return QUrl::fromLocalFile(target);
    }
    const auto entry = DesktopEntry::readFromFile(path, error);
    if (!entry) return std::nullopt;
    const QUrl target = entry->url();
    if (!target.isValid() || target.isEmpty()) {
        posixError(EINVAL, path).report(error);
        return std::nullopt;
    }
    return target;
}

QStringList trashFolderPaths() {
    QStringList folders = {StandardPaths::applicationSupportDirectory() + QStringLiteral("/Trash")};
    const QString uid = QString::number(::getuid());
    for (const QString& mount : mountPoints()) {
        const QString top = mount == QStringLiteral("/") ? QString() : mount;
        folders.append(top + QStringLiteral("/.Trash/") + uid);
        folders.append(top + QStringLiteral("/.Trash-") + uid);
    }
    folders.removeDuplicates();
    return folders;
}

bool isURLInTrash(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    const QString path = QDir::cleanPath(url.toLocalFile());
    for (const QString& trash : trashFolderPaths())
        if (isInFolder(path, QDir::cleanPath(trash))) return true;
    return false;
}

QList<QUrl> prohibitedFolderURLsForCloudLibraries() {
    QStringList folders;
    const QString googleDrive = QDir::homePath() + QStringLiteral("/Google Drive");
    if (QFileInfo::exists(googleDrive)) folders.append(googleDrive);
    folders += dropboxFolders();
    const QString config = StandardPaths::configDirectory();
    folders += syncClientFolders(config + QStringLiteral("/Nextcloud/nextcloud.cfg"));
    folders += syncClientFolders(config + QStringLiteral("/ownCloud/owncloud.cfg"));

    QList<QUrl> urls;
    for (const QString& folder : folders) {
        const QUrl url = folderURL(folder);
        if (!urls.contains(url)) urls.append(url);
    }
    return urls;
}

bool isUbiquityEnabledForDesktopAndDocumentsFolders() {
    const QList<QUrl> cloudFolders = prohibitedFolderURLsForCloudLibraries();
    for (const QString& folder : {userDocumentsFolder(), userDesktopFolder()}) {
        const QString path = resolvedPath(folder);
        for (const QUrl& cloud : cloudFolders)
            if (isInFolder(path, resolvedPath(cloud.toLocalFile()))) return true;
    }
    return false;
}

QString userDocumentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString userDesktopFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString kindStringForExtension(const QString& extension) {
    if (containsString(extension, QStringLiteral("'"))) return extension;
    const QString type = UniformTypes::preferredIdentifierForExtension(extension);
    const QString kind = type.isEmpty() ? QString() : UniformTypes::kindName(type);
    return kind.isEmpty() ? extension : kind;
}

std::optional<QString> temporaryDirectoryForApplication() {
    const QString path =
        StandardPaths::temporaryDirectory() + u'/' + Bundle::main().applicationName();
    struct stat info;
    if (statItem(path, &info, false)) {
        if (!S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode)) {
            logFailure(QStringLiteral("Failed to create directory \"%@\" because a file already "
                                      "exists with the same name."),
                       {path});
            return std::nullopt;
        }
        // In a temporary folder that others share, a link or another user's
        // folder could lead our files somewhere they choose.
        if (S_ISLNK(info.st_mode) || info.st_uid != ::geteuid()) {
            logFailure(QStringLiteral("Failed to create directory \"%@\": %@"),
                       {path, posixError(EACCES, path)});
            return std::nullopt;
        }
        return path;
    }
    Error error;
    if (!FileOperations::makeDirectory(path, true, &error) ||
        ::chmod(encoded(path).constData(), 0700) != 0) {
        if (!error) error = posixError(errno, path);
        logFailure(QStringLiteral("Failed to create directory \"%@\": %@"), {path, error});
        return std::nullopt;
    }
    return path;
}

std::optional<quint64> sizeOfFileAtURL(const QUrl& url, Error* outError) {
    if (!url.isLocalFile()) {
        posixError(EINVAL, url.toString()).report(outError);
        return std::nullopt;
    }
    SizeWalk walk;
    return walk.sizeOf(encoded(url.toLocalFile()), outError);
}

quint64 sizeOfFileAtURL(const QUrl& url) { return sizeOfFileAtURL(url, nullptr).value_or(0); }

bool itemIsBusyAtPath(const QString& path) {
    struct stat info;
    if (!statItem(path, &info, true) || !S_ISREG(info.st_mode)) return false;
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool busy = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return busy;
}

std::optional<quint64> getFreeDiskspace(Error* error) {
    const QString documents = userDocumentsFolder();
    struct statvfs info;
    if (::statvfs(encoded(documents).constData(), &info) != 0) {
        posixError(errno, documents).report(error);
        return std::nullopt;
    }
    return static_cast<quint64>(info.f_bavail) * static_cast<quint64>(info.f_frsize);
}

}  // namespace QVExtensions
