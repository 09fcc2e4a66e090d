#include "import/EvernoteExportOperation.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <cerrno>
#include <cstring>

#include "enex/EvernoteNoteLinkURL.h"
#include "enex/EvernoteXMLParseOperation.h"
#include "import/ENEXNoteCounter.h"
#include "import/EvernoteHTMLExportOperation.h"
#include "import/EvernoteXMLExportOperation.h"
#include "platform/foundation/DateText.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "util/FileNameRules.h"

namespace {

constexpr qint64 kFolderGroupType = 70;

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

}  // namespace

Error libraryImportFailedError(const Error& underlying) {
    return Error(kEvernoteExportErrorDomain, EvernoteExportLibraryImportFailed,
                 stringWithFormat(localizedString("Pelmora could not import the notes: %@"),
                                  {underlying.localizedDescription()}),
                 underlying);
}

Error cannotCreateDirectoryError(const Error& underlying) {
    return Error(kEvernoteExportErrorDomain, EvernoteExportCannotCreateDirectory,
                 localizedString("Unable to create the temporary directory to export files."),
                 underlying);
}

// ---- creation and properties ----------------------------------------------------

std::shared_ptr<EvernoteExportOperation> EvernoteExportOperation::exportOperationForApp(
    std::shared_ptr<EvernoteApplication> app, const EvernoteNotebookList& notebooks,
    EvernoteExportOperationDelegate* delegate) {
    std::shared_ptr<EvernoteExportOperation> operation;
    if (UserDefaults::standard().boolForKey(QStringLiteral("UseHTMLExport")))
        operation = std::make_shared<EvernoteHTMLExportOperation>();
    else
        operation = std::make_shared<EvernoteXMLExportOperation>();
    operation->setEvernoteApp(std::move(app));
    operation->setNotebooks(notebooks);
    operation->setDelegate(delegate);
    return operation;
}

EvernoteExportOperation::EvernoteExportOperation() {
    UserDefaults& defaults = UserDefaults::standard();
    for (const QString& suite : PelmoraApplication::bundleIdentifiers())
        defaults.addSuiteNamed(suite);
    textImportOptions_.set(QStringLiteral("WebPreferences"), webPreferencesFromDefaults());
    debugMode_ = defaults.boolForKey(QStringLiteral("ExportDebug"));
    recoversDamagedNotes_ = defaults.boolForKey(QStringLiteral("RecoverDamagedNotes"));
    allowsDuplicates_ = defaults.boolForKey(QStringLiteral("AllowDuplicates"));
}

EvernoteExportOperation::~EvernoteExportOperation() = default;

void EvernoteExportOperation::setPassphrases(std::shared_ptr<const PassphraseList> passphrases) {
    std::lock_guard lock(mutex_);
    encryptedPassages_ = passphrases && !passphrases->isEmpty()
                             ? std::make_shared<EvernoteEncryptedPassages>(std::move(passphrases))
                             : nullptr;
}

std::shared_ptr<const EvernoteEncryptedPassages> EvernoteExportOperation::encryptedPassages()
    const {
    std::lock_guard lock(mutex_);
    return encryptedPassages_;
}

void EvernoteExportOperation::askForPassphrasesIfNeeded(const QString& enexPath) {
    if (!asksForPassphrases_.load() || askedForPassphrases_ || encryptedPassages()) return;
    const auto counts = ENEXNoteCounter::countInFileAtPath(enexPath);
    if (!counts || counts->encryptedPassages == 0) return;
    askedForPassphrases_ = true;
    std::shared_ptr<const PassphraseList> passphrases;
    relay_.deliverAndWait([&](auto* d) {
        passphrases = d->passphrasesForEncryptedPassages(this, counts->encryptedPassages);
    });
    setPassphrases(std::move(passphrases));
}

std::shared_ptr<const EvernoteNoteLinks> EvernoteExportOperation::noteLinks() const {
    std::lock_guard lock(mutex_);
    return noteLinks_;
}

void EvernoteExportOperation::setNoteLinkIndex(std::shared_ptr<EvernoteNoteLinkIndex> index) {
    auto links = std::make_shared<EvernoteNoteLinks>(std::move(index));
    std::lock_guard lock(mutex_);
    noteLinks_ = std::move(links);
}

std::shared_ptr<EvernoteNoteLinks> EvernoteExportOperation::runNoteLinks() const {
    std::lock_guard lock(mutex_);
    return noteLinks_;
}

QString EvernoteExportOperation::identifierForIndexedNote(const EvernoteNote&) const {
    return QString();
}

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
    return pelmora_.application();
}

QString EvernoteExportOperation::filesPath() const {
    std::lock_guard lock(mutex_);
    return staging_.path();
}

qsizetype EvernoteExportOperation::itemCount() const {
    std::lock_guard lock(mutex_);
    return description_.itemCount();
}

void EvernoteExportOperation::setDescriptionObserver(DescriptionObserver observer) {
    std::lock_guard lock(mutex_);
    descriptionObserver_ = std::move(observer);
}

void EvernoteExportOperation::log(const QString& line) const { staging_.log(line); }

// ---- the run ------------------------------------------------------------------------

// Cancellation is read once, here: Operation::start would finish a run
// cancelled in between without telling the delegate.
void EvernoteExportOperation::start() {
    if (isFinished() || isExecuting()) return;
    setExecuting(true);
    if (isCancelled()) {
        endRun(Error());
        return;
    }
    main();
}

void EvernoteExportOperation::main() {
    if (!prepareRun()) return;
    const EvernoteNotebookList list = notebooks();
    if (list.isEmpty()) {
        // Nothing to import: the run still ends, with an empty description.
        endRun(Error());
        return;
    }
    indexNotesOfNotebooks(list);
    exportNoteBook(list.first());
}

void EvernoteExportOperation::indexNotesOfNotebooks(const EvernoteNotebookList& list) {
    // The note service lists every note of the run before any is exported:
    // its title, and in its note link the GUID that links to it carry.
    auto index = std::make_shared<EvernoteNoteLinkIndex>();
    QSet<QString> given;
    for (const auto& notebook : list)
        for (const EvernoteNote& note : notebook->notes()) {
            QString identifier = identifierForIndexedNote(note);
            // A second note under one identifier gets a fresh one, as its item will.
            if (given.contains(identifier)) identifier.clear();
            if (!identifier.isEmpty()) given.insert(identifier);
            index->addTitle(note.title, identifier);
            const auto guid = EvernoteNoteLinkURL::noteGUIDFromURL(note.noteLink);
            if (guid && !identifier.isEmpty())
                index->tieGUID(*guid, identifier);
            else if (guid)
                index->addGUIDEvidence(*guid, note.title);
        }
    index->seal();
    setNoteLinkIndex(std::move(index));
}

bool EvernoteExportOperation::prepareRun() {
    Error error;
    std::optional<QString> identifier;
    {
        std::lock_guard lock(mutex_);
        identifier = pelmora_.getPelmoraApplicationBundleIdentifier(&error);
    }
    if (!identifier || !prepareToExportWithAppIdentifier(*identifier, &error) ||
        !openLibraryQuery(&error)) {
        endRun(error);
        return false;
    }
    return true;
}

bool EvernoteExportOperation::openLibraryQuery(Error* error) {
    Error cause;
    std::shared_ptr<PelmoraLibraryQuery> query = pelmoraApp()->openLibraryQuery(&cause);
    if (!query) {
        log(stringWithFormat(QStringLiteral("Cannot ask the library what it holds: %@"), {cause}));
        libraryImportFailedError(cause).report(error);
        return false;
    }
    std::lock_guard lock(mutex_);
    libraryQuery_ = std::move(query);
    return true;
}

void EvernoteExportOperation::closeLibraryQuery() {
    long failed = 0;
    Error first;
    {
        std::lock_guard lock(mutex_);
        libraryQuery_.reset();
        failed = failedLibraryQueries_;
        first = libraryQueryError_;
    }
    if (failed > 0)
        log(stringWithFormat(QStringLiteral("The library could not say whether it held %ld notes "
                                            "(%@); they were imported"),
                             {failed, first}));
}

EvernoteLibraryMatch EvernoteExportOperation::libraryMatchFor(
    const EvernoteNoteFingerprint& digests) {
    std::shared_ptr<PelmoraLibraryQuery> query;
    {
        std::lock_guard lock(mutex_);
        query = libraryQuery_;
    }
    EvernoteLibraryMatch match;
    if (!query || allowsDuplicates()) return match;
    Error error;
    const auto held = query->holdingsOf({{digests.fingerprint, digests.noteKey}}, &error);
    if (held && held->contains(digests.fingerprint)) {
        const PelmoraLibraryHolding holding = held->value(digests.fingerprint);
        (holding.sameFingerprint ? match.duplicateOf : match.earlierVersion) = holding.item;
    }
    if (!held) {
        // Unknown is not a duplicate: the note is imported rather than lost.
        std::lock_guard lock(mutex_);
        if (failedLibraryQueries_++ == 0) libraryQueryError_ = error;
    }
    return match;
}

QList<EvernoteExportOperation::DuplicateNote> EvernoteExportOperation::duplicateNotes() const {
    std::lock_guard lock(mutex_);
    return duplicateNotes_;
}

void EvernoteExportOperation::recordDuplicateNote(const QString& title,
                                                  const PelmoraLibraryItem& holder) {
    log(stringWithFormat(QStringLiteral("Duplicate, not imported: \"%@\" is already in the "
                                        "library as item %@ (%@)"),
                         {title.simplified(), holder.identifier, holder.path}));
    std::lock_guard lock(mutex_);
    duplicateNotes_.append({title, holder.identifier, holder.path});
}

bool EvernoteExportOperation::prepareToExportWithAppIdentifier(const QString& identifier,
                                                               Error* error) {
    Error cause;
    {
        std::lock_guard lock(mutex_);
        if (!staging_.prepareDirectory(identifier, error)) return false;
        if (!description_.begin(staging_.path(), &cause)) {
            libraryImportFailedError(cause).report(error);
            return false;
        }
    }
    const QString evernoteVersion = evernoteApp() ? evernoteApp()->version() : QString();
    staging_.openLog(identifier, pelmoraApp()->version(), evernoteVersion);
    return true;
}

void EvernoteExportOperation::exportNoteBook(const std::shared_ptr<EvernoteNotebook>& notebook) {
    log(stringWithFormat(QStringLiteral("*** Export started for notebook: %@"),
                         {notebook->name()}));
    QString directory;
    PlistDictionary group;
    Error error;
    if (prepareToExportNotebook(notebook, &directory, &group, &error))
        performExportForNotebook(notebook, directory, group);
    else
        endRun(error);
}

PlistDictionary EvernoteExportOperation::makeGroupDictionary(const QString& name) {
    PlistDictionary group;
    group.set(ItemKeys::EntityName, LibraryKeys::Folder);
    group.set(ItemKeys::Name, name);
    group.set(ItemKeys::Identifier, makeUUIDString());
    group.set(QStringLiteral("groupType"), kFolderGroupType);
    group.set(QStringLiteral("parent"), QStringLiteral("RootFolder"));
    group.set(QStringLiteral("comments"),
              stringWithFormat(localizedString("Imported from Evernote, %@"),
                               {mediumDateShortTimeText(QDateTime::currentDateTime())}));
    std::lock_guard lock(mutex_);
    description_.addGroup(group);
    return group;
}

bool EvernoteExportOperation::addItemToDescription(const PlistDictionary& item,
                                                   const PlistDictionary& group, Error* error) {
    std::lock_guard lock(mutex_);
    return description_.addItem(item, group, error);
}

bool EvernoteExportOperation::prepareToExportNotebook(
    const std::shared_ptr<EvernoteNotebook>& notebook, QString* notebookFilesPath,
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
    informDelegateWillExportRecords(static_cast<unsigned long>(notebook->notes().size()),
                                    notebook->name());
    return true;
}

void EvernoteExportOperation::performExportForNotebook(const std::shared_ptr<EvernoteNotebook>&,
                                                       const QString&, const PlistDictionary&) {}

void EvernoteExportOperation::exportNotebookDidEnd(
    const std::shared_ptr<EvernoteNotebook>& notebook, const Error& error) {
    if (!error.isNull()) {
        endRun(error);
        return;
    }
    log(stringWithFormat(QStringLiteral("*** Export ended for notebook: %@"), {notebook->name()}));
    const EvernoteNotebookList list = notebooks();
    qsizetype position = -1;
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i] == notebook) position = i;
    if (position + 1 >= list.size())
        endRun(Error());
    else
        exportNoteBook(list[position + 1]);
}

void EvernoteExportOperation::endRun(const Error& error) {
    if (ended_.exchange(true)) return;
    closeLibraryQuery();  // the library is free again before it is asked to import
    // Every note has converted: the passphrases go now, the counts stay for the summary.
    if (const auto passages = encryptedPassages()) passages->forgetPassphrases();
    if (error.isNull() && !isCancelled()) {
        handDescriptionToPelmora();
    } else {
        {
            std::lock_guard lock(mutex_);
            description_.discard();
        }
        if (isCancelled())
            informDelegateDidCancel();
        else
            informDelegateDidEncounterError(error);
    }
    {
        std::lock_guard lock(mutex_);
        staging_.releaseLock();  // what is left in it now belongs to no live run
    }
    setFinished(true);
}

void EvernoteExportOperation::handDescriptionToPelmora() {
    Error error;
    std::optional<QString> path;
    DescriptionObserver observer;
    {
        std::lock_guard lock(mutex_);
        path = description_.finish(&error);
        observer = descriptionObserver_;
    }
    if (!path) {
        informDelegateDidEncounterError(libraryImportFailedError(error));
        return;
    }
    if (observer) observer(*path);
    auto pelmora = pelmoraApp();
    pelmora->activate();
    const PelmoraImportResult result = pelmora->importFiles(
        {*path}, kPelmoraImportMethodLibraryDescription, QString(), 0, QString(), 0, QString());
    std::shared_ptr<NoteReport> report = noteReport();
    if (report) report->applyImportResult(result);
    {
        std::lock_guard lock(mutex_);
        importResult_ = result;
        // One path per item: kept for the report only, so that a run without one stays small.
        if (!report) importResult_.libraryPaths.clear();
    }
    const auto links = runNoteLinks();
    for (const PelmoraImportResult::Refusal& refusal : result.refused) {
        if (links) links->noteWasNotImported(refusal.identifier);
        log(stringWithFormat(
            QStringLiteral("Not imported by Pelmora: %@ (%@): %@; its file stays at %@"),
            {refusal.name, refusal.identifier, refusal.reason, refusal.path}));
    }
    if (links) links->settleLinksToMissingNotes();
    if (result.failed()) {
        informDelegateDidEncounterError(libraryImportFailedError(result.error));
        return;
    }
    log(stringWithFormat(
        QStringLiteral("Pelmora imported %ld items and refused %ld"),
        {static_cast<long>(result.taken), static_cast<long>(result.refused.size())}));
    informDelegateDidEnd();
    staging_.closeLog();
}

PelmoraImportResult EvernoteExportOperation::importResult() const {
    std::lock_guard lock(mutex_);
    return importResult_;
}

QList<EvernoteExportOperation::SkippedNote> EvernoteExportOperation::skippedNotes() const {
    std::lock_guard lock(mutex_);
    return skippedNotes_;
}

std::shared_ptr<NoteReport> EvernoteExportOperation::noteReport() const {
    std::lock_guard lock(mutex_);
    return noteReport_;
}

void EvernoteExportOperation::setNoteReport(std::shared_ptr<NoteReport> report) {
    std::lock_guard lock(mutex_);
    noteReport_ = std::move(report);
}

void EvernoteExportOperation::addReportEntry(NoteReport::Entry entry) {
    if (const auto report = noteReport()) report->addEntry(std::move(entry));
}

int EvernoteExportOperation::addReportSource(const QString& filePath, const QString& notebook) {
    const auto report = noteReport();
    return report ? report->addSource(filePath, notebook) : -1;
}

void EvernoteExportOperation::recordSkippedNote(const QString& title, const Error& error) {
    const QString reason = error.isNull() ? localizedString("The note could not be converted.")
                                          : error.localizedDescription();
    std::lock_guard lock(mutex_);
    skippedNotes_.append({title, reason});
}

QList<ENEXDamageReport> EvernoteExportOperation::damageReports() const {
    std::lock_guard lock(mutex_);
    return damageReports_;
}

void EvernoteExportOperation::recordDamageReport(const ENEXDamageReport& report) {
    std::lock_guard lock(mutex_);
    damageReports_.append(report);
}

QString EvernoteExportOperation::damagedNotesFolder() const {
    const OutputStream* log = logStream();
    if (!log || log->path().isEmpty()) return QString();
    return QFileInfo(log->path()).absolutePath() + QStringLiteral("/Damaged Notes");
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
    if (!library.isEmpty() && !FileOperations::isSameFileSystem(filesPath(), library))
        folders << library;
    for (const QString& folder : folders) {
        const auto available = freeSpace(folder);
        if (!available || *available >= needed) continue;  // unknown: let the run find out
        const QString message =
            stringWithFormat(localizedString("There is not enough free space in “%@” for this "
                                             "import: it needs about %@, and %@ is free."),
                             {folder, byteCountText(needed), byteCountText(*available)});
        log(message);
        Error(kEvernoteExportErrorDomain, EvernoteExportNotEnoughSpace, message).report(error);
        return false;
    }
    return true;
}

std::optional<Error> EvernoteExportOperation::noteErrorEndsRun(const Error& error,
                                                               const QString& folder) {
    Error cause;
    if (const Error* storage = storageFailureAmongUnderlyingErrors(error))
        cause = *storage;
    else
        cause = folderProblem(folder);
    if (cause.isNull()) return std::nullopt;
    const Error stop(
        kEvernoteExportErrorDomain, EvernoteExportFolderCannotTakeNotes,
        stringWithFormat(
            localizedString("The import stopped: the folder “%@” cannot take more notes (%@)."),
            {folder, QString::fromLocal8Bit(std::strerror(static_cast<int>(cause.code())))}),
        cause);
    stopRunWith(stop);
    return runStopError();
}

void EvernoteExportOperation::stopRunWith(const Error& error) {
    std::lock_guard lock(mutex_);
    if (runStopError_.isNull()) runStopError_ = error;
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
    if (::statvfs(path.constData(), &info) == 0 && (info.f_flag & ST_RDONLY))
        return posixError(EROFS, folder);
    // A full file system often fails a write with a reason that hides it: ask it directly.
    const auto available = freeSpace(folder);
    if (available && *available < kNearlyFullBytes) return posixError(ENOSPC, folder);
    return Error();
}

std::shared_ptr<EvernoteXMLParseOperation> EvernoteExportOperation::makeParseOperation(
    const QUrl& fileURL, const QString& directory, const PlistDictionary& group,
    std::function<void(const Error&)> completion) {
    auto parse = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        fileURL, QUrl::fromLocalFile(directory), group);
    parse->setLogStream(logStream());
    parse->setDebugMode(debugMode());
    parse->setRecoversDamage(recoversDamagedNotes());
    parse->setDamagedNotesFolder(damagedNotesFolder());
    askForPassphrasesIfNeeded(fileURL.toLocalFile());
    {
        std::lock_guard lock(mutex_);
        parse->setEncryptedPassages(encryptedPassages_);
        parse->setNoteLinks(noteLinks_);
    }
    const int reportSource =
        addReportSource(fileURL.toLocalFile(), group.value(ItemKeys::Name).toString());
    // The blocks run inside the parse, so the raw pointer never outlives it.
    EvernoteXMLParseOperation* parsing = parse.get();
    parse->setParseOperationDidExportItemBlock(
        [this, parsing, group, directory, reportSource](const std::optional<PlistDictionary>& item,
                                                        const Error& error) {
            recordParsedItem(item, error, group, directory, parsing, reportSource);
        });
    if (reportSource >= 0)
        parse->setParseOperationDidLoseNoteBlock(
            [this, reportSource](unsigned long index, const QString& title, const Error& error) {
                NoteReport::Entry entry;
                entry.source = reportSource;
                entry.index = index;
                entry.title = title;
                entry.outcome = NoteReport::Outcome::Damaged;
                entry.error = error;
                addReportEntry(std::move(entry));
            });
    parse->setLibraryCheck(
        [this](const EvernoteNoteFingerprint& digests) { return libraryMatchFor(digests); });
    parse->setParseOperationDidFindDuplicateBlock(
        [this, parsing, reportSource](const QString& title, const PelmoraLibraryItem& holder) {
            if (reportSource >= 0) reportDuplicateNote(holder, *parsing, reportSource);
            recordDuplicateNote(title, holder);
            informDelegateDidExportRecord();
        });
    parse->setParseOperationCompletionBlock(
        [this, parsing, completion = std::move(completion)](const Error& error) {
            if (const ENEXDamageReport report = parsing->damageReport(); report.hasDamage())
                recordDamageReport(report);
            // What stopped the parse early (a note that failed for every later
            // note, a description that cannot be written) is the run's error.
            completion(runStopError().isNull() ? error : runStopError());
        });
    return parse;
}

void EvernoteExportOperation::recordParsedItem(const std::optional<PlistDictionary>& item,
                                               const Error& error, const PlistDictionary& group,
                                               const QString& folder,
                                               EvernoteXMLParseOperation* parse, int reportSource) {
    if (reportSource >= 0) reportParsedItem(item, error, *parse, reportSource);
    if (item) {
        log(stringWithFormat(QStringLiteral("Exported item: %@ (%@)"),
                             {item->value(ItemKeys::Name).toString(),
                              item->value(ItemKeys::Identifier).toString()}));
        if (const auto earlier = parse->earlierVersionOfNoteBeingHandedOn())
            log(stringWithFormat(
                QStringLiteral("Imported as a new item: \"%@\" has changed since it was "
                               "imported as item %@ (%@)"),
                {item->value(ItemKeys::Name).toString(), earlier->identifier, earlier->path}));
        if (debugMode())
            log(stringWithFormat(
                QStringLiteral("%@"),
                {QString::fromUtf8(PlistValue(*item).serialize(PlistValue::Format::Xml))}));
        Error writeError;
        bool written = false;
        {
            std::lock_guard lock(mutex_);
            written = description_.addItem(*item, group, &writeError);
        }
        if (!written) {
            stopRunWith(libraryImportFailedError(writeError));
            parse->cancel();
        }
    } else {
        log(stringWithFormat(QStringLiteral("Error exporting item: %@"),
                             {error.isNull() ? QStringLiteral("(null)") : error.description()}));
        recordSkippedNote(parse->titleOfNoteBeingHandedOn(), error);
        if (runStopError().isNull() && noteErrorEndsRun(error, folder)) parse->cancel();
    }
    informDelegateDidExportRecord();
}

NoteReport::Entry EvernoteExportOperation::reportEntryOfNoteBeingHandedOn(
    const EvernoteXMLParseOperation& parse, int reportSource) {
    NoteReport::Entry entry;
    entry.source = reportSource;
    entry.index = parse.indexOfNoteBeingHandedOn();
    entry.title = parse.titleOfNoteBeingHandedOn();
    if (const EvernoteConversionResult* result = parse.resultOfNoteBeingHandedOn()) {
        entry.created = result->created;
        entry.updated = result->updated;
        entry.attachments = result->attachments;
        entry.attachmentBytes = result->attachmentBytes;
        entry.warnings = result->warnings;
    }
    if (parse.wasNoteBeingHandedOnRepaired())
        entry.warnings.prepend(localizedString(
            "The note’s XML was damaged and has been repaired; the import log says how."));
    return entry;
}

// The holder's kind is not known here: the library's answer names only its
// identifier and file.
void EvernoteExportOperation::reportDuplicateNote(const PelmoraLibraryItem& holder,
                                                  const EvernoteXMLParseOperation& parse,
                                                  int reportSource) {
    NoteReport::Entry entry = reportEntryOfNoteBeingHandedOn(parse, reportSource);
    entry.outcome = NoteReport::Outcome::Duplicate;
    entry.identifier = holder.identifier;
    entry.path = holder.path;
    addReportEntry(std::move(entry));
}

void EvernoteExportOperation::reportParsedItem(const std::optional<PlistDictionary>& item,
                                               const Error& error,
                                               const EvernoteXMLParseOperation& parse,
                                               int reportSource) {
    NoteReport::Entry entry = reportEntryOfNoteBeingHandedOn(parse, reportSource);
    if (item) {
        entry.itemType = static_cast<int>(item->value(ItemKeys::ItemType).toInteger());
        entry.identifier = item->value(ItemKeys::Identifier).toString();
    } else {
        entry.outcome = NoteReport::Outcome::Skipped;
        entry.error = error.isNull()
                          ? Error(kEvernoteExportErrorDomain, EvernoteExportNoteConversionFailed,
                                  localizedString("The note could not be converted."))
                          : error;
    }
    addReportEntry(std::move(entry));
}

// ---- informing the delegate ---------------------------------------------------------------

void EvernoteExportOperation::informDelegateDidStart() {
    relay_.deliverAndWait([this](auto* d) { d->exportOperationDidStart(this); });
}

void EvernoteExportOperation::informDelegateWillExportRecords(unsigned long count,
                                                              const QString& name) {
    relay_.deliverAndWait(
        [=, this](auto* d) { d->exportOperationWillExportRecordsFromNotebook(this, count, name); });
}

void EvernoteExportOperation::informDelegateWillExportRecordsFromFile(unsigned long count,
                                                                      const QUrl& fileURL) {
    relay_.deliverAndWait([=, this](auto* d) {
        d->exportOperationWillExportRecordsFromFileAtURL(this, count, fileURL);
    });
}

void EvernoteExportOperation::informDelegateDidExportRecord() { relay_.deliverRecord(); }

void EvernoteExportOperation::informDelegateDidEncounterError(const Error& error) {
    log(stringWithFormat(QStringLiteral("Error: %@"), {error}));
    relay_.deliverAndWait([=, this](auto* d) { d->exportOperationDidEncounterError(this, error); });
}

void EvernoteExportOperation::informDelegateDidCancel() {
    relay_.deliverAndWait([this](auto* d) { d->exportOperationDidCancel(this); });
}

void EvernoteExportOperation::informDelegateDidEnd() {
    relay_.deliverAndWait([this](auto* d) { d->exportOperationDidEnd(this); });
}
