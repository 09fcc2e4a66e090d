#include "import/EvernoteExportOperation.h"

#include <Quorvel/QVFLogManager.h>

#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <cstring>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/DateText.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "import/EvernoteXMLExportOperation.h"
#include "util/FileNameRules.h"
#include "util/LogLine.h"
#include "util/QueueUtilities.h"

namespace {

constexpr qint64 kExporterVersion = 353;
constexpr qint64 kFolderGroupType = 70;
const QString kPelmoraFolderName = QStringLiteral("Pelmora 3");

Error exportError(long code, const char* message) {
    return Error(kEvernoteExportErrorDomain, code, localizedString(message));
}

// "3.4.9" → (3, 4, 9); a missing patch is 0, a missing minor too.
bool versionIsAtLeast_3_5(const QString& version) {
    const QStringList parts = version.split(u'.');
    const int major = parts.value(0).toInt();
    const int minor = parts.value(1).toInt();
    const int patch = parts.size() >= 3 ? parts.value(2).toInt() : 0;
    if (major != 3) return major > 3;
    if (minor != 5) return minor > 5;
    return patch >= 0;
}

QString containerPath(const QString& identifier) {
    return QStringList{StandardPaths::libraryDirectory(), QStringLiteral("Containers"), identifier,
                       QStringLiteral("Data"), QStringLiteral("Library"),
                       QStringLiteral("Application Support"), kPelmoraFolderName}
        .join(u'/');
}

bool isSandboxed(const QString& identifier) {
    return identifier == QLatin1String(PelmoraApplication::kSandboxedBundleIdentifier);
}

// Web preferences for reading HTML into rich text: the note font's family and size.
PlistDictionary webPreferencesFromDefaults() {
    UserDefaults& defaults = UserDefaults::standard();
    QString family = defaults.stringForKey(QStringLiteral("DefaultNoteFontName"));
    double size = defaults.doubleForKey(QStringLiteral("DefaultNoteFontSize"));
    if (family.isEmpty()) {
        family = QStringLiteral("Helvetica");
        size = 12;
    } else if (size <= 0) {
        size = 12;  // a font asked for at size 0 comes at the user's default size
    }
    PlistDictionary preferences;
    preferences.set(QStringLiteral("StandardFontFamily"), family);
    preferences.set(QStringLiteral("DefaultFontSize"), static_cast<qint64>(size));
    return preferences;
}

// Below this many free bytes a folder counts as full: the next note would fail too.
constexpr qint64 kNearlyFullBytes = 1024 * 1024;

// The POSIX error among `error` and its underlying errors whose code will
// fail every later write to the same place alike, or nullptr.
const Error* storageFailureAmongUnderlyingErrors(const Error& error) {
    for (const Error* e = &error; e; e = e->underlyingError())
        if (e->domain() == QLatin1String("NSPOSIXErrorDomain") &&
            (e->code() == ENOSPC || e->code() == EDQUOT || e->code() == EROFS))
            return e;
    return nullptr;
}

// "1.2 GB" and the like, for the user.
QString byteCountText(qint64 bytes) { return QLocale::system().formattedDataSize(bytes, 1); }

// A leftover staging folder that still holds a description is one whose
// import Pelmora did not finish (it refused items, or failed): it is set
// aside beside the new one, never removed. Returns where it went.
std::optional<QString> setAsideUnfinishedStaging(const QString& staging, Error* error) {
    if (!QFileInfo::exists(staging + u'/' + LibraryKeys::DescriptionFileName)) return QString();
    const QString aside = staging + QStringLiteral(" (not imported %1)")
                                        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
    if (!FileOperations::moveItem(staging, aside, error)) return std::nullopt;
    return aside;
}

}  // namespace

Error libraryImportFailedError(const Error& underlying) {
    return Error(kEvernoteExportErrorDomain, EvernoteExportLibraryImportFailed,
                 stringWithFormat(localizedString("Pelmora could not import the notes: %@"),
                                  {underlying.localizedDescription()}),
                 underlying);
}

Error cannotCreateDirectoryError(const Error& underlying) {
    return Error(kEvernoteExportErrorDomain, EvernoteExportCannotCreateDirectory,
                 localizedString("Unable to create the temporary directory to export files."), underlying);
}

// ---- creation and properties ----------------------------------------------------

std::shared_ptr<EvernoteExportOperation> EvernoteExportOperation::exportOperationForApp(
    std::shared_ptr<EvernoteApplication> app, const EvernoteNotebookList& notebooks,
    EvernoteExportOperationDelegate* delegate) {
    // The HTML variant ("UseHTMLExport") is not part of this program yet: every
    // notebook is exported as ENEX, and the choice is logged so it is not silent.
    if (UserDefaults::standard().boolForKey(QStringLiteral("UseHTMLExport")))
        systemLog(QStringLiteral("UseHTMLExport is set, but notebooks are exported as ENEX: the HTML export is not available yet."));
    std::shared_ptr<EvernoteExportOperation> operation = std::make_shared<EvernoteXMLExportOperation>();
    operation->setEvernoteApp(std::move(app));
    operation->setNotebooks(notebooks);
    operation->setDelegate(delegate);
    return operation;
}

EvernoteExportOperation::EvernoteExportOperation() {
    UserDefaults& defaults = UserDefaults::standard();
    for (const QString& suite : PelmoraApplication::bundleIdentifiers()) defaults.addSuiteNamed(suite);
    textImportOptions_.set(QStringLiteral("WebPreferences"), webPreferencesFromDefaults());
    debugMode_ = defaults.boolForKey(QStringLiteral("ExportDebug"));
}

EvernoteExportOperation::~EvernoteExportOperation() = default;

EvernoteNotebookList EvernoteExportOperation::notebooks() const {
    std::lock_guard lock(mutex_);
    return notebooks_;
}

void EvernoteExportOperation::setNotebooks(const EvernoteNotebookList& notebooks) {
    std::lock_guard lock(mutex_);
    notebooks_ = notebooks;
}

std::shared_ptr<EvernoteApplication> EvernoteExportOperation::evernoteApp() const {
    std::lock_guard lock(mutex_);
    return evernoteApp_;
}

void EvernoteExportOperation::setEvernoteApp(std::shared_ptr<EvernoteApplication> app) {
    std::lock_guard lock(mutex_);
    evernoteApp_ = std::move(app);
}

std::shared_ptr<PelmoraApplication> EvernoteExportOperation::pelmoraApp() const {
    std::lock_guard lock(mutex_);
    return pelmoraApp_;
}

QString EvernoteExportOperation::filesPath() const {
    std::lock_guard lock(mutex_);
    return filesPath_;
}

void EvernoteExportOperation::log(const QString& line) const {
    QVExtensions::writeLogLine(logStream_.get(), line);
}

// ---- the run ------------------------------------------------------------------------

void EvernoteExportOperation::main() {
    Error error;
    const auto identifier = getPelmoraApplicationBundleIdentifier(&error);
    if (!identifier) {
        informDelegateDidEncounterError(error);
        return;
    }
    if (!prepareToExportWithAppIdentifier(*identifier, &error)) {
        informDelegateDidEncounterError(error);
        return;
    }
    const EvernoteNotebookList list = notebooks();
    if (list.isEmpty()) {
        // Nothing to import: the run still ends, with an empty description.
        handDescriptionToPelmora();
        return;
    }
    exportNoteBook(list.first());
}

std::optional<QString> EvernoteExportOperation::getPelmoraApplicationBundleIdentifier(Error* error) {
    std::shared_ptr<PelmoraApplication> app;
    QString found;
    for (const QString& identifier : PelmoraApplication::bundleIdentifiers()) {
        const QList<ApplicationRecord> running = Workspace::runningApplications(identifier);
        if (running.isEmpty()) continue;
        app = PelmoraApplication::applicationWithProcessIdentifier(running.first().processIdentifier());
        if (app) {
            found = identifier;
            break;
        }
    }
    if (!app) {
        for (const QString& identifier : PelmoraApplication::bundleIdentifiers()) {
            app = PelmoraApplication::applicationWithBundleIdentifier(identifier);
            if (app) {
                found = identifier;
                break;
            }
        }
    }
    if (!app) {
        exportError(EvernoteExportPelmoraNotFound, "Pelmora app not found.").report(error);
        return std::nullopt;
    }
    if (!versionIsAtLeast_3_5(app->version())) {
        exportError(EvernoteExportPelmoraTooOld, "Pelmora 3.5 or later is required.").report(error);
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    pelmoraApp_ = app;
    return found;
}

QString EvernoteExportOperation::stagingDirectoryForIdentifier(const QString& identifier) {
    if (isSandboxed(identifier))
        return containerPath(identifier) + QStringLiteral("/LibraryImport/Evernote");
    return StandardPaths::temporaryDirectory() + QStringLiteral("/Evernote");
}

QString EvernoteExportOperation::logDirectoryForIdentifier(const QString& identifier) {
    if (isSandboxed(identifier)) return containerPath(identifier) + QStringLiteral("/Logs");
    return StandardPaths::applicationSupportDirectory() + u'/' + kPelmoraFolderName + QStringLiteral("/Logs");
}

bool EvernoteExportOperation::prepareToExportWithAppIdentifier(const QString& identifier, Error* error) {
    const QString staging = stagingDirectoryForIdentifier(identifier);
    {
        std::lock_guard lock(mutex_);
        filesPath_ = staging;
    }
    Error cause;
    const auto aside = setAsideUnfinishedStaging(staging, &cause);
    if (!aside || !FileOperations::removeItem(staging, &cause) ||
        !FileOperations::makeDirectory(staging, true, &cause)) {
        cannotCreateDirectoryError(cause).report(error);
        return false;
    }

    PlistDictionary entities;
    entities.set(LibraryKeys::Folder, PlistDictionary());
    entities.set(LibraryKeys::Item, PlistDictionary());
    libraryPlist_ = PlistDictionary();
    libraryPlist_.set(QStringLiteral("ExporterVersion"), kExporterVersion);
    libraryPlist_.set(QStringLiteral("RemoveFileOnCompletion"), staging);
    libraryPlist_.set(LibraryKeys::Entities, entities);

    const QString logDirectory = logDirectoryForIdentifier(identifier);
    QDir().mkpath(logDirectory);
    const QString logPath = logDirectory + QStringLiteral("/Evernote Export.log");
    QFile::remove(logPath);
    logStream_ = std::make_unique<OutputStream>(logPath);
    logStream_->open();
    QVFLogManager::sharedManager().redirectStandardErrorToFileAtPath(logPath);

    const QString evernoteVersion = evernoteApp() ? evernoteApp()->version() : QString();
    log(stringWithFormat(QStringLiteral("Ferrymark %@ OS X %@"),
                         {Bundle::main().shortVersionString(),
                          StandardPaths::operatingSystemVersionString()}));
    log(stringWithFormat(QStringLiteral("Pelmora Version %@ Evernote Version %@"),
                         {pelmoraApp()->version(), evernoteVersion}));
    log(stringWithFormat(QStringLiteral("Exporting to directory: %@"), {staging}));
    if (!aside->isEmpty())
        log(stringWithFormat(QStringLiteral("Kept the staging folder of an earlier import that Pelmora did not finish: %@"),
                             {*aside}));
    return true;
}

void EvernoteExportOperation::exportNoteBook(const std::shared_ptr<EvernoteNotebook>& notebook) {
    log(stringWithFormat(QStringLiteral("*** Export started for notebook: %@"), {notebook->name()}));
    QString directory;
    PlistDictionary group;
    Error error;
    if (prepareToExportNotebook(notebook, &directory, &group, &error))
        performExportForNotebook(notebook, directory, group);
    else
        informDelegateDidEncounterError(error);
}

PlistDictionary EvernoteExportOperation::makeGroupDictionary(const QString& name) const {
    PlistDictionary group;
    group.set(ItemKeys::EntityName, LibraryKeys::Folder);
    group.set(ItemKeys::Name, name);
    group.set(ItemKeys::Identifier, makeUUIDString());
    group.set(QStringLiteral("groupType"), kFolderGroupType);
    group.set(QStringLiteral("parent"), QStringLiteral("RootFolder"));
    group.set(QStringLiteral("comments"),
              stringWithFormat(localizedString("Imported from Evernote, %@"),
                               {mediumDateShortTimeText(QDateTime::currentDateTime())}));
    libraryPlist_.value(LibraryKeys::Entities)
        .toDictionary()
        .value(LibraryKeys::Folder)
        .toDictionary()
        .set(group.value(ItemKeys::Identifier).toString(), group);
    return group;
}

bool EvernoteExportOperation::prepareToExportNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                                      QString* notebookFilesPath,
                                                      PlistDictionary* targetFolder, Error* error) {
    const QString name = QVExtensions::stringSanitizedForFileName(notebook->name());
    const QString directory = filesPath() + u'/' + QVExtensions::safeFileName(name);
    Error underlying;
    if (!FileOperations::makeDirectory(directory, false, &underlying)) {
        log(stringWithFormat(QStringLiteral("Unable to create notebook directory %@: %@"),
                             {directory, underlying}));
        cannotCreateDirectoryError(underlying).report(error);
        return false;
    }
    if (notebookFilesPath) *notebookFilesPath = directory;
    const PlistDictionary group = makeGroupDictionary(name);
    if (targetFolder) *targetFolder = group;
    log(QStringLiteral("Exporting notes"));
    informDelegateWillExportRecords(static_cast<unsigned long>(notebook->notes().size()), notebook->name());
    return true;
}

void EvernoteExportOperation::performExportForNotebook(const std::shared_ptr<EvernoteNotebook>&,
                                                       const QString&, const PlistDictionary&) {}

void EvernoteExportOperation::exportNotebookDidEnd(const std::shared_ptr<EvernoteNotebook>& notebook,
                                                   const Error& error) {
    if (!error.isNull()) {
        if (isCancelled()) informDelegateDidCancel();
        else informDelegateDidEncounterError(error);
        return;
    }
    log(stringWithFormat(QStringLiteral("*** Export ended for notebook: %@"), {notebook->name()}));
    const EvernoteNotebookList list = notebooks();
    qsizetype position = -1;
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i] == notebook) position = i;
    if (position + 1 >= list.size()) handDescriptionToPelmora();
    else exportNoteBook(list[position + 1]);
}

void EvernoteExportOperation::handDescriptionToPelmora() {
    const QString path = filesPath() + u'/' + LibraryKeys::DescriptionFileName;
    Error error;
    if (!PlistValue(libraryPlist_).writeToFile(path, PlistValue::Format::Xml, &error)) {
        informDelegateDidEncounterError(libraryImportFailedError(error));
        return;
    }
    auto pelmora = pelmoraApp();
    pelmora->activate();
    const PelmoraImportResult result = pelmora->importFiles(
        {path}, kPelmoraImportMethodLibraryDescription, QString(), 0, QString(), 0, QString());
    {
        std::lock_guard lock(mutex_);
        importResult_ = result;
    }
    for (const PelmoraImportResult::Refusal& refusal : result.refused)
        log(stringWithFormat(QStringLiteral("Not imported by Pelmora: %@ (%@): %@; its file stays at %@"),
                             {refusal.name, refusal.identifier, refusal.reason, refusal.path}));
    if (result.failed()) {
        informDelegateDidEncounterError(libraryImportFailedError(result.error));
        return;
    }
    log(stringWithFormat(QStringLiteral("Pelmora imported %ld items and refused %ld"),
                         {static_cast<long>(result.taken), static_cast<long>(result.refused.size())}));
    informDelegateDidEnd();
    if (logStream_) logStream_->close();
}

PelmoraImportResult EvernoteExportOperation::importResult() const {
    std::lock_guard lock(mutex_);
    return importResult_;
}

void EvernoteExportOperation::setFreeSpaceQuery(FreeSpaceQuery query) {
    std::lock_guard lock(mutex_);
    freeSpaceQuery_ = std::move(query);
}

std::optional<qint64> EvernoteExportOperation::freeSpace(const QString& path) const {
    FreeSpaceQuery query;
    {
        std::lock_guard lock(mutex_);
        query = freeSpaceQuery_;
    }
    return query ? query(path) : FileOperations::availableBytes(path);
}

bool EvernoteExportOperation::checkFreeSpaceForExportOfSize(qint64 enexBytes, Error* error) const {
    const qint64 needed = enexBytes / 2;
    QStringList folders{filesPath()};
    const QString library = pelmoraApp() ? pelmoraApp()->libraryPath() : QString();
    // On the staging folder's file system the library takes the items by renaming: no more space.
    if (!library.isEmpty() && !FileOperations::isSameFileSystem(filesPath(), library)) folders << library;
    for (const QString& folder : folders) {
        const auto available = freeSpace(folder);
        if (!available || *available >= needed) continue;  // unknown: let the run find out
        const QString message = stringWithFormat(
            localizedString("There is not enough free space in “%@” for this import: it needs about %@, and %@ is free."),
            {folder, byteCountText(needed), byteCountText(*available)});
        log(message);
        Error(kEvernoteExportErrorDomain, EvernoteExportNotEnoughSpace, message).report(error);
        return false;
    }
    return true;
}

std::optional<Error> EvernoteExportOperation::noteErrorEndsRun(const Error& error, const QString& folder) {
    Error cause;
    if (const Error* storage = storageFailureAmongUnderlyingErrors(error)) cause = *storage;
    else cause = folderProblem(folder);
    if (cause.isNull()) return std::nullopt;
    const Error stop(kEvernoteExportErrorDomain, EvernoteExportFolderCannotTakeNotes,
                     stringWithFormat(localizedString("The import stopped: the folder “%@” cannot take more notes (%@)."),
                                      {folder, QString::fromLocal8Bit(std::strerror(static_cast<int>(cause.code())))}),
                     cause);
    std::lock_guard lock(mutex_);
    if (runStopError_.isNull()) runStopError_ = stop;
    return runStopError_;
}

Error EvernoteExportOperation::runStopError() const {
    std::lock_guard lock(mutex_);
    return runStopError_;
}

Error EvernoteExportOperation::folderProblem(const QString& folder) const {
    const QByteArray path = QFile::encodeName(folder);
    if (!QFileInfo(folder).isDir()) return posixError(ENOENT, folder);
    if (::access(path.constData(), W_OK | X_OK) != 0) return posixError(errno, folder);
    struct statvfs info {};
    if (::statvfs(path.constData(), &info) == 0 && (info.f_flag & ST_RDONLY)) return posixError(EROFS, folder);
    // A full file system often fails a write with a reason that hides it: ask it directly.
    const auto available = freeSpace(folder);
    if (available && *available < kNearlyFullBytes) return posixError(ENOSPC, folder);
    return Error();
}

void EvernoteExportOperation::recordParsedItem(const std::optional<PlistDictionary>& item, const Error& error,
                                               PlistArray& items) {
    if (item) {
        log(stringWithFormat(QStringLiteral("Exported item: %@ (%@)"),
                             {item->value(ItemKeys::Name).toString(), item->value(ItemKeys::Identifier).toString()}));
        if (debugMode())
            log(stringWithFormat(QStringLiteral("%@"),
                                 {QString::fromUtf8(PlistValue(*item).serialize(PlistValue::Format::Xml))}));
        items.append(*item);
    } else {
        log(stringWithFormat(QStringLiteral("Error exporting item: %@"),
                             {error.isNull() ? QStringLiteral("(null)") : error.description()}));
    }
    informDelegateDidExportRecord();
}

void EvernoteExportOperation::fileItemsUnderGroup(const PlistArray& items, PlistDictionary group) {
    PlistDictionary entities =
        libraryPlist_.value(LibraryKeys::Entities).toDictionary().value(LibraryKeys::Item).toDictionary();
    const QString groupIdentifier = group.value(ItemKeys::Identifier).toString();
    PlistArray identifiers;
    for (const PlistValue& value : items.values()) {
        PlistDictionary item = value.toDictionary().mutableCopy();
        item.set(ItemKeys::Folder, groupIdentifier);
        identifiers.append(item.value(ItemKeys::Identifier));
        entities.set(item.value(ItemKeys::Identifier).toString(), item);
    }
    group.set(LibraryKeys::Items, identifiers);
}

// ---- informing the delegate ---------------------------------------------------------------

void EvernoteExportOperation::onMainThread(
    const std::function<void(EvernoteExportOperationDelegate*)>& callback) {
    PMExtensions::addOperationWithBlockAndWaitUntilFinished(OperationQueue::mainQueue(), [this, callback] {
        if (EvernoteExportOperationDelegate* d = delegate()) callback(d);
    });
}

void EvernoteExportOperation::informDelegateDidStart() {
    onMainThread([this](auto* d) { d->exportOperationDidStart(this); });
}

void EvernoteExportOperation::informDelegateWillExportRecords(unsigned long count, const QString& name) {
    onMainThread([=, this](auto* d) { d->exportOperationWillExportRecordsFromNotebook(this, count, name); });
}

void EvernoteExportOperation::informDelegateDidExportRecord() {
    onMainThread([this](auto* d) { d->exportOperationDidExportRecord(this); });
}

void EvernoteExportOperation::informDelegateDidEncounterError(const Error& error) {
    log(stringWithFormat(QStringLiteral("Error: %@"), {error}));
    onMainThread([=, this](auto* d) { d->exportOperationDidEncounterError(this, error); });
}

void EvernoteExportOperation::informDelegateDidCancel() {
    onMainThread([this](auto* d) { d->exportOperationDidCancel(this); });
}

void EvernoteExportOperation::informDelegateDidEnd() {
    onMainThread([this](auto* d) { d->exportOperationDidEnd(this); });
}
