#include "import/ImportStaging.h"

#include <Quorvel/QVFLogManager.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool ImportStaging::prepareDirectory(const QString& identifier, Error* error) {
    path_ = stagingDirectoryForIdentifier(identifier);
    Error cause;
    const auto aside = setAsideUnfinishedStaging(path_, &cause);
    // The folder holds the user's notes, in a temporary folder open to every
    // user: it is made private from the start (and fails when someone else
    // has put something in its place since the removal).
    if (!aside || !FileOperations::removeItem(path_, &cause) ||
        !FileOperations::makeDirectory(QFileInfo(path_).absolutePath(), true, &cause) ||
        !PrivateDirectory::make(path_, &cause)) {
        cannotCreateDirectoryError(cause).report(error);
        return false;
    }
    setAsidePath_ = *aside;
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
    if (!setAsidePath_.isEmpty())
        log(stringWithFormat(
            QStringLiteral(
                "Kept the staging folder of an earlier import that Pelmora did not finish: %@"),
            {setAsidePath_}));
}

void ImportStaging::log(const QString& line) const {
    QVExtensions::writeLogLine(logStream_.get(), line);
}

void ImportStaging::closeLog() {
    if (logStream_) logStream_->close();
}
