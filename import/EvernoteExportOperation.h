// The frame of every import run. One operation carries one import from start
// to end: it finds the Pelmora application (version 3.5 or later), prepares a
// staging directory and the import log, builds the library import
// description, walks the notebooks one after another (a subclass does each
// notebook's work and ends it with exportNotebookDidEnd), and after the last
// notebook writes "Evernote.pmlibxml" into the staging directory and asks
// Pelmora to import it. Progress goes to the delegate on the main thread.
//
// Threading: main() runs on a worker thread of the caller's queue; the
// informing operations must be called from worker threads only (they wait
// for the main thread). Notebooks never overlap, so the description and the
// log are touched by one thread at a time.
#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

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
};
// The error 10004 with its message and the underlying cause.
Error cannotCreateDirectoryError(const Error& underlying = Error());

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

    // The staging and log directories for a Pelmora edition.
    static QString stagingDirectoryForIdentifier(const QString& identifier);
    static QString logDirectoryForIdentifier(const QString& identifier);

protected:
    // Calls `callback` with the delegate on the main thread and waits.
    void onMainThread(const std::function<void(EvernoteExportOperationDelegate*)>& callback);
    // A new group dictionary named `name` for the description.
    PlistDictionary makeGroupDictionary(const QString& name) const;
    // Writes the description and asks Pelmora to import it (the end of a run).
    void handDescriptionToPelmora();
    // Logs one result of the ENEX parser; appends a converted item to `items`.
    void recordParsedItem(const std::optional<PlistDictionary>& itemDict, const Error& error, PlistArray& items);
    // Files a finished notebook's items under `group`: its "items" list in
    // order, and a copy of each item with "folder" set under Entities/Item.
    void fileItemsUnderGroup(const PlistArray& items, PlistDictionary group);

private:
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
};
