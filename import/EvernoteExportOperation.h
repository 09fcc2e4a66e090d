// The frame of every import run. One operation carries one import from start
// to end: it finds the Pelmora application (version 3.5 or later), prepares a
// staging directory and the import log, builds the library import
// description, walks the notebooks one after another (a subclass does each
// notebook's work and ends it with exportNotebookDidEnd), and after the last
// notebook writes "Evernote.pmlibxml" into the staging directory and asks
// Pelmora to import it. Progress goes to the delegate on the main thread.
//
// The run tells the truth about its outcome: a description that cannot be
// written, or an import that Pelmora fails as a whole, ends the run with an
// error; otherwise importResult() holds what Pelmora took and refused. An
// error that will fail every later note alike (a full disk or quota, a
// read-only file system, the notebook folder gone or closed) ends the run with
// one error naming the folder, instead of skipping the notes one by one.
//
// The frame is made of its parts: the Pelmora lookup (PelmoraLookup), the
// staging directory and log (ImportStaging), the description, written as a
// stream (LibraryImportDescription), and the delegate relay
// (ExportDelegateRelay). Every way a run ends goes through one routine,
// endRun, which the subclasses call too.
//
// The operation is asynchronous: a subclass may go on after main() has
// returned (on a parser queue), and the operation finishes when the run has
// ended, after its last delegate callback.
//
// Threading: main() runs on a worker thread of the caller's queue; the
// informing operations are called from worker threads (those that wait for
// the main thread run at once when called on it). Notebooks never overlap,
// so the description and the log are touched by one thread at a time.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "enex/ENEXDamageReport.h"
#include "enex/EvernoteNoteFingerprint.h"
#include "enex/EvernoteNoteLinks.h"
#include "enex/EvernoteXMLItem.h"
#include "import/EvernoteExportOperationDelegate.h"
#include "import/ExportDelegateRelay.h"
#include "import/ImportStaging.h"
#include "import/LibraryImportDescription.h"
#include "import/NoteReport.h"
#include "import/PelmoraLookup.h"
#include "platform/apps/EvernoteApplication.h"
#include "platform/apps/PelmoraApplication.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/OutputStream.h"
#include "platform/plist/PlistValue.h"

using EvernoteNotebookList = QList<std::shared_ptr<EvernoteNotebook>>;

// Error domain of the import run and its codes.
inline const QString kEvernoteExportErrorDomain = QStringLiteral("EvernoteExport");
enum EvernoteExportErrorCode : long {
    EvernoteExportNoteConversionFailed = 10001,
    EvernoteExportPelmoraTooOld = 10002,
    EvernoteExportPelmoraNotFound = 10003,
    EvernoteExportCannotCreateDirectory = 10004,
    EvernoteExportCancelled = 10005,
    // A note failed in a way that will fail every later note alike; the
    // message names the folder and the cause, the underlying error is the
    // system's (POSIX domain).
    EvernoteExportFolderCannotTakeNotes = 10006,
    // The staging or library folder plainly cannot hold the import.
    EvernoteExportNotEnoughSpace = 10007,
    // The description could not be written, or Pelmora failed the import as a
    // whole; the underlying error says why.
    EvernoteExportLibraryImportFailed = 10008,
};
// The error 10004 with its message and the underlying cause.
Error cannotCreateDirectoryError(const Error& underlying = Error());
// The error 10008 with its message and the underlying cause.
Error libraryImportFailedError(const Error& underlying);

class EvernoteXMLParseOperation;

class EvernoteExportOperation : public Operation {
  public:
    // A note that gave no item, and why.
    struct SkippedNote {
        QString title;
        QString reason;  // the conversion's error, as users read it
    };
    // A note that the library held already before the run began, so it was
    // neither converted nor imported again; the item that holds it.
    struct DuplicateNote {
        QString title;
        QString identifier;  // the holding item's identifier in the library
        QString path;        // its file in the library
    };

    // Creates the notebook import for `app` and `notebooks`, unstarted: note
    // by note as HTML when the setting "UseHTMLExport" is on
    // (EvernoteHTMLExportOperation), otherwise notebook by notebook as ENEX
    // (EvernoteXMLExportOperation). The caller adds it to a queue.
    static std::shared_ptr<EvernoteExportOperation> exportOperationForApp(
        std::shared_ptr<EvernoteApplication> app, const EvernoteNotebookList& notebooks,
        EvernoteExportOperationDelegate* delegate);

    // Reads the note font and "ExportDebug" from the user defaults, with
    // Pelmora's two preference domains added to the search list.
    EvernoteExportOperation();
    ~EvernoteExportOperation() override;

    // Properties.
    EvernoteNotebookList notebooks() const;
    void setNotebooks(const EvernoteNotebookList& notebooks);
    EvernoteExportOperationDelegate* delegate() const { return relay_.delegate(); }
    void setDelegate(EvernoteExportOperationDelegate* delegate) { relay_.setDelegate(delegate); }
    // Whether each exportOperationDidExportRecord holds the run until the
    // delegate has returned from it, as the other callbacks do. Off: the run
    // goes on and the callbacks follow in order. On: for a delegate that acts
    // on the run (cancels it, say) at an exact count. Set before the run.
    bool recordsWaitForDelegate() const { return relay_.waitsForRecords(); }
    void setRecordsWaitForDelegate(bool waits) { relay_.setWaitsForRecords(waits); }
    std::shared_ptr<EvernoteApplication> evernoteApp() const;
    void setEvernoteApp(std::shared_ptr<EvernoteApplication> app);
    std::shared_ptr<PelmoraApplication> pelmoraApp() const;
    QString filesPath() const;
    OutputStream* logStream() const { return staging_.logStream(); }
    PlistDictionary textImportOptions() const { return textImportOptions_; }
    bool debugMode() const { return debugMode_.load(); }
    void setDebugMode(bool debug) { debugMode_.store(debug); }
    // Whether damage in an ENEX file no longer ends the file and the run: the
    // parser reads on note by note (EvernoteXMLParseOperation), and a file
    // that is not ENEX or cannot be read is reported while the others go on.
    // From the setting "RecoverDamagedNotes"; off by default. Set before the run.
    bool recoversDamagedNotes() const { return recoversDamagedNotes_.load(); }
    void setRecoversDamagedNotes(bool recovers) { recoversDamagedNotes_.store(recovers); }
    // One report per file in which damage was met, in the order of the files.
    QList<ENEXDamageReport> damageReports() const;
    // The passphrases tried on encrypted passages; null (the default) leaves
    // them hidden. Set before the run.
    void setPassphrases(std::shared_ptr<const PassphraseList> passphrases);
    // When on and the run has no passphrases, the first ENEX file that holds
    // encrypted passages (ENEXNoteCounter) makes the run ask its delegate
    // for them (passphrasesForEncryptedPassages), once, before that file's
    // notes convert. Off by default. Set before the run.
    void setAsksForPassphrases(bool asks) { asksForPassphrases_.store(asks); }
    // What became of the encrypted passages; null when the run had no passphrases.
    std::shared_ptr<const EvernoteEncryptedPassages> encryptedPassages() const;
    // What became of the links between the run's notes; null until the run
    // has indexed its notes' titles (and for a run that imports none).
    std::shared_ptr<const EvernoteNoteLinks> noteLinks() const;
    // The items written into the description so far.
    qsizetype itemCount() const;
    // What Pelmora took and refused; set once Pelmora has been asked to
    // import (before exportOperationDidEnd), empty before.
    PelmoraImportResult importResult() const;
    // The notes skipped so far (their conversion failed, or their export
    // could not be found), in the order they came.
    QList<SkippedNote> skippedNotes() const;
    // The report the run keeps of every note (NoteReport); null (the
    // default) keeps none, and the run holds no record per note. Once the run
    // has ended, its entries have the library's paths. Set before the run.
    std::shared_ptr<NoteReport> noteReport() const;
    void setNoteReport(std::shared_ptr<NoteReport> report);
    // The notes found to be duplicates so far, in the order they came.
    QList<DuplicateNote> duplicateNotes() const;
    // Whether a note that the library already holds (the same fingerprint,
    // EvernoteNoteFingerprint) is imported once more. Off: such a note is
    // counted, logged with the item that holds it, and left out. From the
    // setting "AllowDuplicates"; off by default. Set before the run. Either
    // way the run opens the library's query before the first note, so a
    // library that cannot take the import fails the run before any note
    // converts. Notes of one run are never duplicates of each other.
    bool allowsDuplicates() const { return allowsDuplicates_.load(); }
    void setAllowsDuplicates(bool allows) { allowsDuplicates_.store(allows); }

    // Called on the run's thread with the path of the finished description,
    // before Pelmora is asked to import it (and removes it): a caller may keep
    // a copy. Set before the run.
    using DescriptionObserver = std::function<void(const QString& path)>;
    void setDescriptionObserver(DescriptionObserver observer);

    // The query for the bytes free on the file system of a path; the
    // default asks the system (statvfs). Tests replace it. Set before the run.
    using FreeSpaceQuery = std::function<std::optional<qint64>(const QString& path)>;
    void setFreeSpaceQuery(FreeSpaceQuery query);

    bool isAsynchronous() const override { return true; }
    // A run cancelled before its queue started it still ends once, as
    // cancelled: the delegate waits for that end.
    void start() override;
    // Runs the import: finds Pelmora, prepares, starts the first notebook.
    void main() override;

    // Appends a time-stamped line to the import log (nothing when it is not open).
    void log(const QString& line) const;

    // Refuses to start an import of `enexBytes` of ENEX when the staging
    // folder, or the library on another file system, has less than half of it
    // free: attachments, nearly all of a large export, take three quarters of
    // their base64 text once decoded, so with less than half free the items
    // plainly cannot fit. Error 10007 naming the folder and both sizes.
    bool checkFreeSpaceForExportOfSize(qint64 enexBytes, Error* error = nullptr) const;
    // Whether a note's `error` will fail every later note written into
    // `folder` alike: a POSIX ENOSPC, EDQUOT or EROFS anywhere among its
    // underlying errors, or the folder itself gone, not writable, read-only or
    // out of space. Then returns error 10006 (naming the folder and the cause)
    // and remembers it as runStopError(); nullopt otherwise.
    std::optional<Error> noteErrorEndsRun(const Error& error, const QString& folder);
    // The error that stopped the run early, or a null Error.
    Error runStopError() const;

  protected:
    // Finds Pelmora and prepares the staging directory, the description and
    // the log; on failure the run has been ended with the error.
    bool prepareRun();
    // Leads the links between notes with `index` (sealed) from now on: every
    // parse made after this gives its notes their identifiers and resolves
    // their links with it. Called before the first parse.
    void setNoteLinkIndex(std::shared_ptr<EvernoteNoteLinkIndex> index);
    // The run's links between notes, for a subclass that converts notes itself.
    std::shared_ptr<EvernoteNoteLinks> runNoteLinks() const;
    // The item identifier the notebook note `note` will have, for the links
    // to it; empty (the frame's answer) when its converter makes a fresh one.
    virtual QString identifierForIndexedNote(const EvernoteNote& note) const;
    // The subclass's hook: does the notebook's work and ends it with exactly
    // one exportNotebookDidEnd. The frame's own version does nothing.
    virtual void performExportForNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                          const QString& notebookFilesPath,
                                          const PlistDictionary& targetFolder);
    // Ends a notebook: starts the next, or after the last hands the import to
    // Pelmora; with an error, ends the run with it.
    void exportNotebookDidEnd(const std::shared_ptr<EvernoteNotebook>& notebook,
                              const Error& error);
    // Ends the run, once: with no error and not cancelled, writes the
    // description and hands it to Pelmora (exportOperationDidEnd, or error
    // 10008); otherwise discards the description and reports a cancellation
    // (when cancelled) or the error. Then the operation is finished.
    void endRun(const Error& error);

    // A new group dictionary named `name`, part of the description.
    PlistDictionary makeGroupDictionary(const QString& name);
    // Writes `item` into the description under `group` (its "folder" set to
    // the group's identifier). Error: the description could not be written.
    bool addItemToDescription(const PlistDictionary& item, const PlistDictionary& group,
                              Error* error = nullptr);
    // A parse of the ENEX file `fileURL` whose items go into `directory` and
    // `group`: each item is logged, written into the description and counted
    // for the delegate; a note error that fails every later note, or a
    // description that cannot be written, stops the parse. `completion` gets
    // the parse's error, or the error that stopped it.
    std::shared_ptr<EvernoteXMLParseOperation> makeParseOperation(
        const QUrl& fileURL, const QString& directory, const PlistDictionary& group,
        std::function<void(const Error&)> completion);

    // Remembers a note the library already holds, for duplicateNotes(), and
    // logs it with the item that holds it. Any thread.
    void recordDuplicateNote(const QString& title, const PelmoraLibraryItem& holder);
    // What the library held of a note before the run; empty when duplicates
    // are allowed. Any thread (a converter's worker).
    EvernoteLibraryMatch libraryMatchFor(const EvernoteNoteFingerprint& digests);
    // Remembers a note that gives no item, for skippedNotes(); `error` may be
    // null (the reason then says the note could not be converted). Any thread.
    void recordSkippedNote(const QString& title, const Error& error);
    // Keeps `entry` in the run's report, when there is one. Any thread.
    void addReportEntry(NoteReport::Entry entry);
    // Registers a file or notebook whose notes the report names; -1 without a report.
    int addReportSource(const QString& filePath, const QString& notebook);
    // Remembers what damage did to a file, for damageReports(). Any thread.
    void recordDamageReport(const ENEXDamageReport& report);
    // Where the raw XML of notes lost to damage is kept: beside the import log.
    QString damagedNotesFolder() const;

    // Informing operations: each delivers its delegate callback on the main
    // thread in order; all but informDelegateDidExportRecord wait for it.
    void informDelegateDidStart();
    void informDelegateWillExportRecords(unsigned long count, const QString& notebookName);
    void informDelegateWillExportRecordsFromFile(unsigned long count, const QUrl& fileURL);
    void informDelegateDidExportRecord();
    void informDelegateDidEncounterError(const Error& error);
    void informDelegateDidCancel();
    void informDelegateDidEnd();

  private:
    // Indexes the titles and note links of every note of `list` for the
    // links between them (setNoteLinkIndex).
    void indexNotesOfNotebooks(const EvernoteNotebookList& list);
    bool prepareToExportWithAppIdentifier(const QString& identifier, Error* error);
    void exportNoteBook(const std::shared_ptr<EvernoteNotebook>& notebook);
    bool prepareToExportNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                 QString* notebookFilesPath, PlistDictionary* targetFolder,
                                 Error* error);
    void handDescriptionToPelmora();
    // Opens the library's query (openLibraryQuery); false with its error.
    bool openLibraryQuery(Error* error);
    // Closes it, and logs how many look-ups failed.
    void closeLibraryQuery();
    // Logs one result of the ENEX parser and writes a converted item.
    void recordParsedItem(const std::optional<PlistDictionary>& item, const Error& error,
                          const PlistDictionary& group, const QString& folder,
                          EvernoteXMLParseOperation* parse, int reportSource);
    // Keeps the report's entry of the note `parse` is handing on.
    // The report's entry of the note `parse` is handing on, with what every
    // outcome tells: its place, title, dates, attachments and warnings.
    static NoteReport::Entry reportEntryOfNoteBeingHandedOn(const EvernoteXMLParseOperation& parse,
                                                            int reportSource);
    void reportDuplicateNote(const PelmoraLibraryItem& holder,
                             const EvernoteXMLParseOperation& parse, int reportSource);
    void reportParsedItem(const std::optional<PlistDictionary>& item, const Error& error,
                          const EvernoteXMLParseOperation& parse, int reportSource);
    // Asks the delegate for passphrases when setAsksForPassphrases holds and
    // the file at `enexPath` holds encrypted passages; once per run.
    void askForPassphrasesIfNeeded(const QString& enexPath);
    // Remembers the first error that stops the run early.
    void stopRunWith(const Error& error);
    std::optional<qint64> freeSpace(const QString& path) const;
    // Why nothing more can be written into `folder` (gone, closed to us,
    // read-only, full), as a POSIX error; a null Error when it looks usable.
    Error folderProblem(const QString& folder) const;

    mutable std::mutex mutex_;
    EvernoteNotebookList notebooks_;
    std::shared_ptr<EvernoteApplication> evernoteApp_;
    PelmoraLookup pelmora_;
    ImportStaging staging_;
    LibraryImportDescription description_;
    ExportDelegateRelay relay_{this};
    PlistDictionary textImportOptions_;
    std::atomic<bool> debugMode_{false};
    std::atomic<bool> recoversDamagedNotes_{false};
    QList<ENEXDamageReport> damageReports_;
    std::atomic<bool> ended_{false};
    PelmoraImportResult importResult_;
    QList<SkippedNote> skippedNotes_;
    std::shared_ptr<NoteReport> noteReport_;
    QList<DuplicateNote> duplicateNotes_;
    std::atomic<bool> allowsDuplicates_{false};
    std::shared_ptr<PelmoraLibraryQuery> libraryQuery_;
    Error libraryQueryError_;  // the first look-up that failed
    long failedLibraryQueries_ = 0;
    std::shared_ptr<EvernoteEncryptedPassages> encryptedPassages_;
    std::shared_ptr<EvernoteNoteLinks> noteLinks_;
    std::atomic<bool> asksForPassphrases_{false};
    bool askedForPassphrases_ = false;  // run's thread only
    Error runStopError_;
    FreeSpaceQuery freeSpaceQuery_;
    DescriptionObserver descriptionObserver_;
};
