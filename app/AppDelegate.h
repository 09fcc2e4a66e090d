// The application controller and the controller of the main window. At
// launch it finds Evernote (on Linux the stand-in, a folder of ENEX files;
// without one the user may choose that folder), refuses an Evernote older
// than 5.2, and fills the table with Evernote's notebooks, each with a check
// box and its number of notes, polling until Evernote reports notebooks.
// At launch it also offers the crash report of an earlier run, of the window or
// the command line, when there is one (QVFCrashReportController).
// From the window the user imports the marked notebooks or an ENEX file
// (through the progress sheet, EvernoteExportPanel), opens the options sheet,
// the release notes or the About window (Help › About). Closing the window
// while an import runs asks whether to cancel it.
//
// Threading: main thread only, timers included; the calls to Evernote block
// the main thread until it answers.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/NotebookListModel.h"
#include "platform/apps/EvernoteApplication.h"

class EvernoteExportOptionsController;
class EvernoteExportPanel;
class MainWindow;
class QProgressBar;
class QSortFilterProxyModel;

class AppDelegate : public QObject {
    Q_OBJECT
  public:
    // Delays of the notebook list: the first read after launch, then each retry.
    static constexpr int kFirstNotebookCheckMs = 1000;
    static constexpr int kNotebookRecheckMs = 500;

    // Finds the Evernote application; the default asks the workspace.
    using EvernoteLookup = std::function<std::shared_ptr<EvernoteApplication>()>;
    // Asks the user for a folder; empty when the user gave none.
    using FolderChooser = std::function<QString(QWidget* parent)>;

    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    MainWindow* window() const { return window_.get(); }
    QProgressBar* progressIndicator() const;
    // Arranges `notebooks` for the table: by name, without regard to case.
    QSortFilterProxyModel* notebooksController() const { return notebooksController_; }
    NotebookListModel* notebooks() const { return notebooks_; }
    qsizetype countOfNotebooks() const { return notebooks_->countOfNotebooks(); }
    NotebookRecord objectInNotebooksAtIndex(qsizetype index) const {
        return notebooks_->objectInNotebooksAtIndex(index);
    }
    void insertObject(const NotebookRecord& record, qsizetype index) {
        notebooks_->insertObject(record, index);
    }
    void removeObjectFromNotebooksAtIndex(qsizetype index) {
        notebooks_->removeObjectFromNotebooksAtIndex(index);
    }
    void replaceObjectInNotebooksAtIndex(qsizetype index, const NotebookRecord& record) {
        notebooks_->replaceObjectInNotebooksAtIndex(index, record);
    }
    std::shared_ptr<EvernoteApplication> evernoteApp() const { return evernoteApp_; }
    // Set while the notebook list loads; the window shows the spinner.
    bool showProgressIndicator() const { return showProgressIndicator_; }
    void setShowProgressIndicator(bool show);
    // The window's status line; empty shows nothing.
    QString statusMessage() const { return statusMessage_; }
    void setStatusMessage(const QString& message);
    // The sheets, made on first use.
    EvernoteExportPanel* exportPanel();
    EvernoteExportOptionsController* optionsController();

    // The launch: shows the window, offers a pending crash report (a modal
    // window), finds Evernote and checks its version
    // (alerts and quits when it is missing or too old; a missing one may be
    // replaced by a chosen folder of ENEX files), then reads the notebooks.
    void applicationDidFinishLaunching();
    // ENEX files that the launch imports, one sheet after another, before it
    // finds Evernote: those the program was opened with ("Open with").
    void setFilesToOpen(const QStringList& files) { filesToOpen_ = files; }
    // Reads Evernote's notebooks into the list; with none yet, says which
    // folder it watches (an alert when it cannot be read) and tries again.
    void checkForNotebooks();
    // Imports the marked notebooks: a beep while the list loads, the sheet
    // "No notebooks selected!" when none is marked.
    void startImport();
    // Lets the user pick an ENEX file, then imports it.
    void importENEXFile();
    void showOptions();
    // Opens the framework's About window with the application's credits.
    void showAbout();
    // Opens the release-notes page in the user's browser.
    void showReleaseNotes();
    static QUrl releaseNotesURL();

    // Whether Evernote `version` is 5.2 or later: the integer values of its
    // first two dot-separated parts; a missing part counts as 0.
    static bool isSupportedEvernoteVersion(const QString& version);

    // Replacements for tests: how Evernote is found, how the application
    // quits, how a folder of ENEX files is chosen, how a web page is opened.
    void setEvernoteLookup(EvernoteLookup lookup) { evernoteLookup_ = std::move(lookup); }
    void setQuitHandler(std::function<void()> quit) { quitHandler_ = std::move(quit); }
    void setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }
    void setURLOpener(std::function<bool(const QUrl&)> opener) { urlOpener_ = std::move(opener); }

  signals:
    void statusMessageChanged(const QString& message);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void connectWindow();
    // Imports the next of the files to open; after the last, finds the notebooks.
    void importOpenedFiles();
    // The rest of the launch: finds Evernote and reads its notebooks.
    void findNotebooks();
    // Finds Evernote, offering to choose a folder of ENEX files while there is
    // none; false when the user chose to quit.
    bool findEvernote();
    // Asks for a folder of ENEX files and records it as Evernote's; false
    // when the user gave none or it could not be recorded (after an alert).
    bool chooseExportFolder();
    // The folder that the Evernote stand-in reads, when Evernote is one.
    QString watchedFolder() const;
    // Why the watched folder cannot give notebooks, for the user; empty when it can.
    QString watchedFolderProblem() const;
    void showFolderProblemOnce();
    void showQuitAlert(const QString& message);
    void quit();
    // Closing the window while an import runs: asks, and cancels on yes.
    bool confirmCloseDuringImport();

    std::unique_ptr<MainWindow> window_;
    NotebookListModel* notebooks_;
    QSortFilterProxyModel* notebooksController_;
    std::shared_ptr<EvernoteApplication> evernoteApp_;
    bool showProgressIndicator_ = false;
    QString statusMessage_;
    QPointer<EvernoteExportPanel> exportPanel_;
    QPointer<EvernoteExportOptionsController> optionsController_;
    EvernoteLookup evernoteLookup_;
    std::function<void()> quitHandler_;
    FolderChooser folderChooser_;
    std::function<bool(const QUrl&)> urlOpener_;
    QString alertedFolderProblem_;
    QStringList filesToOpen_;
    bool notebooksRead_ = false;
    bool closeWhenImportEnds_ = false;
};
