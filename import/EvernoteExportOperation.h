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
// Threading: main() runs on a worker thread of the caller's queue; the
// informing operations must be called from worker threads only (they wait
// for the main thread). Notebooks never overlap, so the description and the
// log are touched by one thread at a time.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "enex/EvernoteXMLItem.h"
#include "import/EvernoteExportOperationDelegate.h"
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

// Keys of the library import description and its group dictionaries (the
// keys groups share with items, such as "identifier", are ItemKeys).
namespace LibraryKeys {
inline const QString Entities = QStringLiteral("Entities");
inline const QString Folder = QStringLiteral("Folder");
inline const QString Item = QStringLiteral("Item");
inline const QString Items = QStringLiteral("items");
inline const QString DescriptionFileName = QStringLiteral("Evernote.pmlibxml");
}  // namespace LibraryKeys

class EvernoteExportOperation : public Operation {
public:
    // Creates the notebook import for `app` and `notebooks` (notebooks
    // exported by Evernote as ENEX), unstarted; the caller adds it to a queue.
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
    EvernoteExportOperationDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(EvernoteExportOperationDelegate* delegate) { delegate_.store(delegate); }
    std::shared_ptr<EvernoteApplication> evernoteApp() const;
    void setEvernoteApp(std::shared_ptr<EvernoteApplication> app);
    std::shared_ptr<PelmoraApplication> pelmoraApp() const;
    PlistDictionary libraryPlist() const { return libraryPlist_; }
    QString filesPath() const;
    OutputStream* logStream() const { return logStream_.get(); }
    PlistDictionary textImportOptions() const { return textImportOptions_; }
    bool debugMode() const { return debugMode_.load(); }
    void setDebugMode(bool debug) { debugMode_.store(debug); }
    // What Pelmora took and refused; set once Pelmora has been asked to
    // import (before exportOperationDidEnd), empty before.
    PelmoraImportResult importResult() const;

    // The query for the bytes free on the file system of a path; the
    // default asks the system (statvfs). Tests replace it. Set before the run.
    using FreeSpaceQuery = std::function<std::optional<qint64>(const QString& path)>;
    void setFreeSpaceQuery(FreeSpaceQuery query);

    // Runs the import: finds Pelmora, prepares, starts the first notebook.
    void main() override;

    // The identifier of the Pelmora edition found (running editions first,
    // then installed ones); sets pelmoraApp. Errors 10003 and 10002.
    std::optional<QString> getPelmoraApplicationBundleIdentifier(Error* error = nullptr);
    // Fresh staging directory, description, log file and standard-error
    // redirection, and the log's header lines. Error 10004.
    bool prepareToExportWithAppIdentifier(const QString& identifier, Error* error = nullptr);
    // Starts one notebook: prepares it, then hands it to the subclass.
    void exportNoteBook(const std::shared_ptr<EvernoteNotebook>& notebook);
    // Makes the notebook's directory and group dictionary and announces its
    // note count. Error 10004.
    bool prepareToExportNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                 QString* notebookFilesPath, PlistDictionary* targetFolder,
                                 Error* error = nullptr);
    // The subclass's hook: does the notebook's work and ends it with exactly
    // one exportNotebookDidEnd. The frame's own version does nothing.
    virtual void performExportForNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                          const QString& notebookFilesPath,
                                          const PlistDictionary& targetFolder);
    // Ends a notebook: starts the next, or after the last hands the import to
    // Pelmora; with an error, reports it (as a cancellation when cancelled).
    void exportNotebookDidEnd(const std::shared_ptr<EvernoteNotebook>& notebook,
                              const Error& error);

    // Informing operations: each runs its delegate callback on the main thread
    // and returns after it has run. Worker threads only.
    void informDelegateDidStart();
    void informDelegateWillExportRecords(unsigned long count, const QString& notebookName);
    void informDelegateDidExportRecord();
    void informDelegateDidEncounterError(const Error& error);
    void informDelegateDidCancel();
    void informDelegateDidEnd();

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

    // The staging and log directories for a Pelmora edition.
    static QString stagingDirectoryForIdentifier(const QString& identifier);
    static QString logDirectoryForIdentifier(const QString& identifier);

protected:
    // Calls `callback` with the delegate on the main thread and waits.
    void onMainThread(const std::function<void(EvernoteExportOperationDelegate*)>& callback);
    // A new group dictionary named `name` for the description.
    PlistDictionary makeGroupDictionary(const QString& name) const;
    // Writes the description and asks Pelmora to import it, logs what Pelmora
    // refused, keeps the result, and ends the run: exportOperationDidEnd, or
    // error 10008 when the description cannot be written or Pelmora failed.
    void handDescriptionToPelmora();
    // Logs one result of the ENEX parser; appends a converted item to `items`.
    void recordParsedItem(const std::optional<PlistDictionary>& itemDict, const Error& error, PlistArray& items);
    // Files a finished notebook's items under `group`: its "items" list in
    // order, and a copy of each item with "folder" set under Entities/Item.
    void fileItemsUnderGroup(const PlistArray& items, PlistDictionary group);

private:
    std::optional<qint64> freeSpace(const QString& path) const;
    // Why nothing more can be written into `folder` (gone, closed to us,
    // read-only, full), as a POSIX error; a null Error when it looks usable.
    Error folderProblem(const QString& folder) const;

    mutable std::mutex mutex_;
    EvernoteNotebookList notebooks_;
    std::atomic<EvernoteExportOperationDelegate*> delegate_{nullptr};
    std::shared_ptr<EvernoteApplication> evernoteApp_;
    std::shared_ptr<PelmoraApplication> pelmoraApp_;
    PlistDictionary libraryPlist_;
    QString filesPath_;
    std::unique_ptr<OutputStream> logStream_;
    PlistDictionary textImportOptions_;
    std::atomic<bool> debugMode_{false};
    PelmoraImportResult importResult_;
    Error runStopError_;
    FreeSpaceQuery freeSpaceQuery_;
    QString keptStagingPath_;
};
