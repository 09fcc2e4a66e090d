#include "import/ImportStaging.h"

#include <Quorvel/QVFLogManager.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "import/EvernoteExportOperation.h"
#include "import/LibraryImportDescription.h"
#include "platform/apps/PelmoraApplication.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/PrivateDirectory.h"
#include "platform/foundation/StandardPaths.h"
#include "util/LogLine.h"

namespace {

const QString kPelmoraFolderName = QStringLiteral("Pelmora 3");

QString containerPath(const QString& identifier) {
    return QStringList{StandardPaths::libraryDirectory(),
                       QStringLiteral("Containers"),
                       identifier,
                       QStringLiteral("Data"),
                       QStringLiteral("Library"),
                       QStringLiteral("Application Support"),
                       kPelmoraFolderName}
        .join(u'/');
}

bool isSandboxed(const QString& identifier) {
    return identifier == QLatin1String(PelmoraApplication::kSandboxedBundleIdentifier);
}

// How many staging folders of one edition are tried before the run gives up:
// each held by a live run.
constexpr int kMaximumStagingFolders = 64;

QString candidatePath(const QString& base, int number) {
    return number == 1 ? base : base + QStringLiteral(" %1").arg(number);
}

// Whether anything at all is at `path`, a dangling symbolic link included.
bool isPresent(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// A leftover staging folder that still holds a description is one whose
// import Pelmora did not finish (it refused items, or failed): it is set
// aside beside the new one, never removed. Returns where it went.
std::optional<QString> setAsideUnfinishedStaging(const QString& staging, Error* error) {
    if (!QFileInfo::exists(staging + u'/' + LibraryKeys::DescriptionFileName)) return QString();
    const QString aside =
        staging +
        QStringLiteral(" (not imported %1)")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
    if (!FileOperations::moveItem(staging, aside, error)) return std::nullopt;
    return aside;
}

}  // namespace

QString ImportStaging::stagingDirectoryForIdentifier(const QString& identifier) {
    if (isSandboxed(identifier))
        return containerPath(identifier) + QStringLiteral("/LibraryImport/Evernote");
    return StandardPaths::temporaryDirectory() + QStringLiteral("/Evernote");
}

QString ImportStaging::logDirectoryForIdentifier(const QString& identifier) {
    if (isSandboxed(identifier)) return containerPath(identifier) + QStringLiteral("/Logs");
    return StandardPaths::applicationSupportDirectory() + u'/' + kPelmoraFolderName +
           QStringLiteral("/Logs");
}

bool ImportStaging::clearLeftover(const QString& path, Error* error) {
    if (!isPresent(path)) return true;
    const auto aside = setAsideUnfinishedStaging(path, error);
    if (!aside) return false;
    if (!aside->isEmpty()) {
        setAsidePaths_ << *aside;
        return true;
    }
    if (!FileOperations::removeItem(path, error)) return false;
    ++removedLeftovers_;
    return true;
}

bool ImportStaging::prepareDirectory(const QString& identifier, Error* error) {
    const QString base = stagingDirectoryForIdentifier(identifier);
    lock_.release();
    path_.clear();
    setAsidePaths_.clear();
    removedLeftovers_ = 0;
    Error cause;
    // Every leftover of a dead run goes; the folders of live runs are skipped,
    // and the first free one is this run's.
    for (int number = 1; number <= kMaximumStagingFolders; ++number) {
        const QString candidate = candidatePath(base, number);
        if (!StagingLock::isHeld(candidate)) {
            if (!clearLeftover(candidate, &cause)) break;
            if (path_.isEmpty()) path_ = candidate;
        }
        if (!path_.isEmpty() && !isPresent(candidatePath(base, number + 1))) break;
    }
    if (path_.isEmpty() && cause.isNull())
        cause = posixError(EBUSY, base);  // every staging folder is held by a live run
    // The folder holds the user's notes, in a temporary folder open to every
    // user: it is made private from the start (and fails when someone else
    // has put something in its place since the removal).
    if (path_.isEmpty() || !cause.isNull() ||
        !FileOperations::makeDirectory(QFileInfo(path_).absolutePath(), true, &cause) ||
        !PrivateDirectory::make(path_, &cause) || !lock_.acquire(path_, &cause)) {
        cannotCreateDirectoryError(cause).report(error);
        return false;
    }
    return true;
}

void ImportStaging::openLog(const QString& identifier, const QString& pelmoraVersion,
                            const QString& evernoteVersion) {
    const QString logDirectory = logDirectoryForIdentifier(identifier);
    QDir().mkpath(logDirectory);
    const QString logPath = logDirectory + QStringLiteral("/Evernote Export.log");
    QFile::remove(logPath);
    logStream_ = std::make_unique<OutputStream>(logPath);
    logStream_->open();
    QVFLogManager::sharedManager().redirectStandardErrorToFileAtPath(logPath);

    log(stringWithFormat(
        QStringLiteral("Ferrymark %@ OS X %@"),
        {Bundle::main().shortVersionString(), StandardPaths::operatingSystemVersionString()}));
    log(stringWithFormat(QStringLiteral("Pelmora Version %@ Evernote Version %@"),
                         {pelmoraVersion, evernoteVersion}));
    log(stringWithFormat(QStringLiteral("Exporting to directory: %@"), {path_}));
    for (const QString& aside : setAsidePaths_)
        log(stringWithFormat(
            QStringLiteral(
                "Kept the staging folder of an earlier import that Pelmora did not finish: %@"),
            {aside}));
    if (removedLeftovers_ > 0)
        log(stringWithFormat(QStringLiteral("Removed %ld staging folders left by runs that ended "
                                            "before their import"),
                             {static_cast<long>(removedLeftovers_)}));
}

void ImportStaging::log(const QString& line) const {
    QVExtensions::writeLogLine(logStream_.get(), line);
}

void ImportStaging::closeLog() {
    if (logStream_) logStream_->close();
}
