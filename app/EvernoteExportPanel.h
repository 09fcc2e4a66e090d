// The progress sheet of an import: it creates the import operation, runs it
// on its own operation queue, is its delegate, and turns the callbacks into
// a title line, an information line and a progress bar over the main window.
// The bar is indeterminate while the run prepares or cancels, and determinate
// per notebook or file (restarted for each). Once enough is known, the
// information line adds the time left ("120 of 4000 notes exported: 2
// minutes remaining") and its tool tip the rate.
//
// Every error callback shows one application-modal alert ("An error occurred
// while exporting.", with the error's own description or "An unknown error
// occurred.", and a button that opens the import log); the sheet closes once
// the alert is dismissed. The sheet also closes when the run ends (return code
// 1) or is cancelled (return code 0); a run that failed gives 0 as well.
//
// A run whose export holds encrypted passages first asks for their
// passphrase (PassphrasePrompt), once; Skip keeps them hidden.
//
// Every run ends with its outcome: once the sheet has closed, an alert modal
// to the window (ImportOutcomeAlert) says what the run came to, in the words
// of the command line (ImportSummary): how many notes went into which
// library, how many were skipped or refused and the first reasons, with
// buttons that open the import log and the library folder, and "Save Report…",
// which writes the run's report of every note (NoteReport, JSON Lines) where
// the user chooses; a run without a fault says so in one line; a cancelled
// run says that nothing was imported (and has no report to save). Every run
// of the window keeps its report, one compact entry per note, until the next
// run starts.
//
// The panel is made once and kept for later imports; each opening starts a
// new operation on the same queue. Destroying the panel cancels a running
// import and waits for it, serving its callbacks meanwhile.
//
// Threading: main thread only; the operations run on worker threads and call
// back on the main thread (see EvernoteExportOperationDelegate).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>

#include "import/EvernoteExportOperation.h"

class ImportSummary;
class QDialog;
class QMessageBox;
class QLabel;
class QProgressBar;
class QWidget;

class EvernoteExportPanel : public QObject, public EvernoteExportOperationDelegate {
    Q_OBJECT
  public:
    // Return codes of the sheet.
    static constexpr int kReturnCodeCancelled = 0;
    static constexpr int kReturnCodeEnded = 1;
    // Called with the return code when the sheet ends.
    using CompletionHandler = std::function<void(int returnCode)>;

    // Creates the operation queue; the window is made on first use.
    explicit EvernoteExportPanel(QObject* parent = nullptr);
    ~EvernoteExportPanel() override;

    QString titleMessage() const { return titleMessage_; }
    void setTitleMessage(const QString& message);
    // Empty shows nothing.
    QString informationMessage() const { return informationMessage_; }
    void setInformationMessage(const QString& message);
    // The progress bar (the window is made when needed).
    QProgressBar* exportProgress();
    QWidget* parentWindow() const { return parentWindow_; }
    OperationQueue& operationQueue() { return *operationQueue_; }
    // The import the sheet runs now, or null.
    EvernoteExportOperation* currentOperation() const { return operation_.get(); }
    // The sheet itself (made when needed).
    QDialog* window();

    // The bar's state as the callbacks set it. A determinate bar of maximum 0
    // (an empty notebook) is drawn full.
    bool isIndeterminate() const { return indeterminate_; }
    unsigned long progressMaximum() const { return maximum_; }
    unsigned long progressValue() const { return value_; }
    // Whether a sheet is open (an import is preparing, running or cancelling).
    bool isRunning() const { return running_; }
    // Whether a run's end shows its outcome alert (on by default). The window
    // turns it off when it closes as soon as the import ends.
    bool showsOutcomeAlert() const { return showsOutcomeAlert_; }
    void setShowsOutcomeAlert(bool shows) { showsOutcomeAlert_ = shows; }
    // The outcome alert of the last run while it is open, else null.
    QMessageBox* outcomeAlert() const;
    // Opens a folder or file in the user's desktop; the default asks
    // QDesktopServices. Tests replace it.
    void setURLOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }
    // Asks where to save the report ("Save Report…"): a path, or empty when
    // the user cancels; the default asks with a QFileDialog. Tests replace it.
    using ReportPathChooser = std::function<QString(QWidget* parent)>;
    void setReportPathChooser(ReportPathChooser chooser) {
        reportPathChooser_ = std::move(chooser);
    }
    // Writes `report` to a path the user chooses; an error alert when it
    // cannot be written. Whether it was written.
    bool saveReport(const NoteReport& report, QWidget* parent);

    // Opens the sheet over `window` and imports `notebooks` through Evernote
    // (Evernote is brought to the front first). REQUIRES: no sheet is open.
    void showSheetOnWindow(QWidget* window, std::shared_ptr<EvernoteApplication> app,
                           const EvernoteNotebookList& notebooks,
                           CompletionHandler completionHandler = {});
    // Opens the sheet over `window` and imports the ENEX file `fileURL`.
    // REQUIRES: no sheet is open.
    void showSheetOnWindow(QWidget* window, const QUrl& fileURL,
                           CompletionHandler completionHandler = {});
    // The sheet's cancel action: the bar goes indeterminate, the title says
    // "Cancelling...", and every operation is cancelled, the parse that runs
    // on a parser queue included. The sheet stays open until the run ends.
    void cancel();
    // Closing the sheet, or the window under it, while an import runs: asks
    // whether to cancel it, and cancels on yes. Whether it did.
    bool askToCancel();

    void exportOperationDidStart(EvernoteExportOperation* operation) override;
    void exportOperationWillExportRecordsFromNotebook(EvernoteExportOperation* operation,
                                                      unsigned long count,
                                                      const QString& notebookName) override;
    void exportOperationWillExportRecordsFromFileAtURL(EvernoteExportOperation* operation,
                                                       unsigned long count,
                                                       const QUrl& fileURL) override;
    void exportOperationDidExportRecord(EvernoteExportOperation* operation) override;
    void exportOperationDidEncounterError(EvernoteExportOperation* operation,
                                          const Error& error) override;
    void exportOperationDidCancel(EvernoteExportOperation* operation) override;
    void exportOperationDidEnd(EvernoteExportOperation* operation) override;
    // Asks once per run, before its notes convert (PassphrasePrompt).
    std::shared_ptr<const PassphraseList> passphrasesForEncryptedPassages(
        EvernoteExportOperation* operation, unsigned long count) override;

  signals:
    void titleMessageChanged(const QString& message);
    void informationMessageChanged(const QString& message);
    // The bar was made indeterminate or determinate, or moved.
    void progressChanged();
    // An error alert is about to be shown (tests and the window use it to
    // know an alert is up); `text` is the alert's text.
    void errorAlertShown(const QString& text);
    // The sheet ended with `returnCode`.
    void sheetEnded(int returnCode);
    // "Save Report…" wrote the run's report at `path`.
    void reportSaved(const QString& path);

  private:
    void loadWindow();
    // Steps shared by both openings: remember the window, show "Preparing...",
    // begin the sheet.
    void beginSheet(QWidget* window, CompletionHandler completionHandler);
    void startOperation(std::shared_ptr<EvernoteExportOperation> operation);
    void setIndeterminate();
    void restartBar(unsigned long maximum, const QString& title);
    void showProgressCount();
    void updateBar();
    void endSheet(int returnCode);
    // Opens the outcome alert of the run that ended now with `returnCode`.
    void showOutcomeAlert(int returnCode);
    void fillOutcomeAlertOfEndedRun(QMessageBox* alert, const ImportSummary& summary);
    // Adds a button to `alert` that opens `path` (a file or folder) when clicked.
    void addOpenButton(QMessageBox* alert, const QString& title, const QString& path);

    QString titleMessage_;
    QString informationMessage_;
    QPointer<QWidget> parentWindow_;
    std::unique_ptr<OperationQueue> operationQueue_;
    QPointer<QDialog> window_;
    QPointer<QLabel> titleLabel_;
    QPointer<QLabel> informationLabel_;
    QPointer<QProgressBar> exportProgress_;
    std::shared_ptr<EvernoteExportOperation> operation_;
    CompletionHandler completionHandler_;
    QElapsedTimer barTimer_;
    bool indeterminate_ = true;
    unsigned long maximum_ = 0;
    unsigned long value_ = 0;
    bool running_ = false;
    bool showsOutcomeAlert_ = true;
    // The notes announced over the whole run (the bar counts per notebook).
    unsigned long runTotal_ = 0;
    // Set by the error callback: the error alert was the run's outcome.
    bool runFailed_ = false;
    QPointer<QMessageBox> outcomeAlert_;
    std::function<bool(const QUrl&)> urlOpener_;
    ReportPathChooser reportPathChooser_;
};
