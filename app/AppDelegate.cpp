#include "app/AppDelegate.h"

#include <Quorvel/QVFAboutPanel.h>
#include <Quorvel/QVFCrashReportController.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>

#include "app/EvernoteExportOptionsController.h"
#include "app/EvernoteExportPanel.h"
#include "app/MainWindow.h"
#include "platform/apps/EvernoteStandIn.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

// The maker's web site, which carries the release notes.
constexpr const char* kWebSiteHost = "www.quorvel.com";
constexpr const char* kReleaseNotesPath = "/pelmora/downloads/ferrymark.html";

// The integer value of a version part: its leading digits ("2b" is 2).
int leadingInteger(const QString& part) {
    qsizetype digits = 0;
    while (digits < part.size() && part[digits].isDigit()) ++digits;
    return part.left(digits).toInt();
}

}  // namespace

AppDelegate::AppDelegate(QObject* parent)
    : QObject(parent),
      window_(std::make_unique<MainWindow>()),
      notebooks_(new NotebookListModel(this)),
      notebooksController_(new QSortFilterProxyModel(this)),
      evernoteLookup_([] { return EvernoteApplication::applicationWithBundleIdentifier(); }),
      quitHandler_([] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); }),
      folderChooser_([](QWidget* parent) {
          return QFileDialog::getExistingDirectory(
              parent, localizedString("Choose the Folder of ENEX Files"));
      }),
      urlOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    notebooksController_->setSourceModel(notebooks_);
    connectWindow();
    setShowProgressIndicator(false);
}

AppDelegate::~AppDelegate() {
    // The sheets are parented to the window: let them go (and an import end) first.
    delete exportPanel_;
    delete optionsController_;
}

void AppDelegate::connectWindow() {
    QTableView* table = window_->notebookTable();
    table->setModel(notebooksController_);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(NotebookListModel::ImportColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(NotebookListModel::NameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(NotebookListModel::NotesColumn, QHeaderView::ResizeToContents);
    connect(window_->startImportButton(), &QPushButton::clicked, this, &AppDelegate::startImport);
    connect(window_->importFileButton(), &QPushButton::clicked, this, &AppDelegate::importENEXFile);
    connect(window_->optionsButton(), &QPushButton::clicked, this, &AppDelegate::showOptions);
    connect(window_->releaseNotesButton(), &QPushButton::clicked, this,
            &AppDelegate::showReleaseNotes);
    connect(window_->aboutAction(), &QAction::triggered, this, &AppDelegate::showAbout);
    window_->installEventFilter(this);
}

QProgressBar* AppDelegate::progressIndicator() const { return window_->spinner(); }

void AppDelegate::setShowProgressIndicator(bool show) {
    showProgressIndicator_ = show;
    // Keep the row's height while hidden, so the table does not jump.
    QSizePolicy policy = progressIndicator()->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    progressIndicator()->setSizePolicy(policy);
    progressIndicator()->setVisible(show);
}

void AppDelegate::setStatusMessage(const QString& message) {
    if (message == statusMessage_) return;
    statusMessage_ = message;
    window_->statusLine()->setText(message);
    emit statusMessageChanged(message);
}

EvernoteExportPanel* AppDelegate::exportPanel() {
    if (!exportPanel_) {
        exportPanel_ = new EvernoteExportPanel(this);
        connect(exportPanel_, &EvernoteExportPanel::sheetEnded, this, [this] {
            if (closeWhenImportEnds_) QTimer::singleShot(0, window_.get(), &QWidget::close);
        });
    }
    return exportPanel_;
}

EvernoteExportOptionsController* AppDelegate::optionsController() {
    if (!optionsController_) optionsController_ = new EvernoteExportOptionsController(this);
    return optionsController_;
}

// ---- launch -------------------------------------------------------------------------

void AppDelegate::applicationDidFinishLaunching() {
    window_->show();
    window_->center();
    window_->raise();
    window_->activateWindow();
    // A crash of an earlier run (this window or the command line) is offered first.
    QVFCrashReportController::checkForCrash();
    notebooksController_->setSortCaseSensitivity(Qt::CaseInsensitive);
    notebooksController_->sort(NotebookListModel::NameColumn, Qt::AscendingOrder);
    // Files the program was opened with come first; the launch goes on after them.
    importOpenedFiles();
}

void AppDelegate::importOpenedFiles() {
    if (filesToOpen_.isEmpty()) {
        findNotebooks();
        return;
    }
    const QString file = filesToOpen_.takeFirst();
    // Each file has its sheet: one that fails or is cancelled leaves the others to run.
    exportPanel()->showSheetOnWindow(window_.get(), QUrl::fromLocalFile(file), [this](int) {
        // One sheet at a time: the next waits until the outcome alert is read.
        if (QMessageBox* alert = exportPanel()->outcomeAlert())
            connect(alert, &QDialog::finished, this, &AppDelegate::importOpenedFiles,
                    Qt::QueuedConnection);
        else
            QTimer::singleShot(0, this, &AppDelegate::importOpenedFiles);
    });
}

void AppDelegate::findNotebooks() {
    setShowProgressIndicator(true);
    setStatusMessage(localizedString("Initializing Evernote..."));
    if (!findEvernote()) {
        quit();
        return;
    }
    if (!isSupportedEvernoteVersion(evernoteApp_->version())) {
        showQuitAlert(localizedString("Evernote 5.2.0 or later is required."));
        quit();
        return;
    }
    setStatusMessage(localizedString("Getting notebook names..."));
    QTimer::singleShot(kFirstNotebookCheckMs, this, &AppDelegate::checkForNotebooks);
}

bool AppDelegate::isSupportedEvernoteVersion(const QString& version) {
    const QStringList parts = version.split(u'.');
    const int major = leadingInteger(parts.value(0));
    const int minor = leadingInteger(parts.value(1));
    return major > 5 || (major == 5 && minor >= 2);
}

bool AppDelegate::findEvernote() {
    while (!(evernoteApp_ = evernoteLookup_())) {
        QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(),
                          localizedString("Unable to find the Evernote application."),
                          QMessageBox::NoButton, window_.get());
        alert.setObjectName(QStringLiteral("LaunchAlert"));
        alert.setInformativeText(localizedString(
            "Please ensure the latest version of Evernote is installed and try again."));
        QPushButton* choose =
            alert.addButton(localizedString("Choose Export Folder…"), QMessageBox::AcceptRole);
        alert.addButton(localizedString("Quit"), QMessageBox::RejectRole);
        alert.setDefaultButton(choose);
        alert.exec();
        if (alert.clickedButton() != choose) return false;
        chooseExportFolder();  // on failure the alert comes again
    }
    return true;
}

bool AppDelegate::chooseExportFolder() {
    const QString folder = folderChooser_ ? folderChooser_(window_.get()) : QString();
    if (folder.isEmpty()) return false;
    Error error;
    if (!EvernoteStandIn::recordNotebookFolder(folder, &error)) {
        QMessageBox::warning(
            window_.get(), QCoreApplication::applicationName(),
            stringWithFormat(localizedString("The folder could not be recorded: %@"),
                             {error.localizedDescription()}));
        return false;
    }
    return true;
}

void AppDelegate::showQuitAlert(const QString& message) {
    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(), message,
                      QMessageBox::NoButton, window_.get());
    alert.setObjectName(QStringLiteral("LaunchAlert"));
    alert.setInformativeText(localizedString(
        "Please ensure the latest version of Evernote is installed and try again."));
    alert.addButton(localizedString("Quit"), QMessageBox::AcceptRole);
    alert.exec();
}

void AppDelegate::quit() {
    if (quitHandler_) quitHandler_();
}

// ---- the notebook list ----------------------------------------------------------------

void AppDelegate::checkForNotebooks() {
    if (!evernoteApp_ || notebooksRead_) return;  // the list is read once per launch
    const QList<std::shared_ptr<EvernoteNotebook>> found = evernoteApp_->notebooks();
    if (found.isEmpty()) {
        if (const QString folder = watchedFolder(); !folder.isEmpty())
            setStatusMessage(
                stringWithFormat(localizedString("Waiting for ENEX files in “%@”..."), {folder}));
        showFolderProblemOnce();
        QTimer::singleShot(kNotebookRecheckMs, this, &AppDelegate::checkForNotebooks);
        return;
    }
    for (const auto& notebook : found) {
        const QString name = notebook->name();
        if (name.isEmpty()) continue;
        insertObject({name, true, notebook, static_cast<unsigned long>(notebook->notes().size())},
                     0);
    }
    notebooksRead_ = true;
    setShowProgressIndicator(false);
    setStatusMessage(QString());
}

QString AppDelegate::watchedFolder() const {
    const auto* standIn = dynamic_cast<const EvernoteStandIn*>(evernoteApp_.get());
    return standIn ? standIn->notebookFolder() : QString();
}

QString AppDelegate::watchedFolderProblem() const {
    if (!dynamic_cast<const EvernoteStandIn*>(evernoteApp_.get())) return QString();
    const QString folder = watchedFolder();
    if (folder.isEmpty()) return localizedString("Evernote has no folder of ENEX files.");
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return stringWithFormat(localizedString("The folder “%@” cannot be read."), {folder});
    return QString();
}

void AppDelegate::showFolderProblemOnce() {
    const QString problem = watchedFolderProblem();
    if (problem.isEmpty() || problem == alertedFolderProblem_) return;
    alertedFolderProblem_ = problem;
    if (watchedFolder().isEmpty()) setStatusMessage(problem);
    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(), problem,
                      QMessageBox::NoButton, window_.get());
    alert.setObjectName(QStringLiteral("FolderAlert"));
    alert.setInformativeText(
        localizedString("Choose the folder that holds the ENEX files, one for each notebook."));
    QPushButton* choose =
        alert.addButton(localizedString("Choose Export Folder…"), QMessageBox::AcceptRole);
    alert.setEscapeButton(alert.addButton(QMessageBox::Ok));  // OK: keep waiting for this folder
    alert.exec();
    if (alert.clickedButton() != choose || !chooseExportFolder()) return;
    // The stand-in reads its folder from its Info.plist: find it again.
    if (auto app = evernoteLookup_()) evernoteApp_ = std::move(app);
}

// ---- commands -----------------------------------------------------------------------

void AppDelegate::startImport() {
    if (showProgressIndicator_) {
        QApplication::beep();
        return;
    }
    EvernoteNotebookList marked;
    for (const NotebookRecord& record : notebooks_->notebooks())
        if (record.import) marked << record.notebook;
    if (marked.isEmpty()) {
        auto* alert = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                      localizedString("No notebooks selected!"), QMessageBox::Ok,
                                      window_.get());
        alert->setObjectName(QStringLiteral("NoNotebooksAlert"));
        alert->setInformativeText(localizedString("Select the notebooks to import and try again."));
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
        return;
    }
    exportPanel()->showSheetOnWindow(window_.get(), evernoteApp_, marked);
}

void AppDelegate::importENEXFile() {
    auto* dialog = new QFileDialog(window_.get(), localizedString("Import an ENEX File"), QString(),
                                   localizedString("Evernote exports (*.enex)"));
    dialog->setObjectName(QStringLiteral("ENEXFileDialog"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        if (file.isEmpty()) return;
        // After the open dialog has gone: a sheet at a time.
        QTimer::singleShot(0, this, [this, file] {
            exportPanel()->showSheetOnWindow(window_.get(), QUrl::fromLocalFile(file));
        });
    });
    dialog->open();
}

void AppDelegate::showOptions() { optionsController()->showSheetOnParentWindow(window_.get()); }

QUrl AppDelegate::releaseNotesURL() {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QString::fromLatin1(kWebSiteHost));
    url.setPath(QString::fromLatin1(kReleaseNotesPath));
    return url;
}

void AppDelegate::showAbout() { QVFAboutPanel::sharedAboutPanel().showWindow(); }

void AppDelegate::showReleaseNotes() {
    if (urlOpener_) urlOpener_(releaseNotesURL());
}

// ---- closing ------------------------------------------------------------------------

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get() && event->type() == QEvent::Close && !confirmCloseDuringImport()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool AppDelegate::confirmCloseDuringImport() {
    if (!exportPanel_ || !exportPanel_->isRunning()) return true;
    if (exportPanel_->askToCancel()) {
        closeWhenImportEnds_ = true;
        exportPanel_->setShowsOutcomeAlert(false);  // the user chose to leave: no alert to read
    }
    return false;
}
