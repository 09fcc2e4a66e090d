#include "app/EvernoteExportPanel.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>

#include "app/ImportSummary.h"
#include "app/LibraryFolderSetting.h"
#include "app/PassphrasePrompt.h"
#include "app/ProgressEstimate.h"
#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

// Wide enough for "Exporting notes from" and a long notebook name.
constexpr int kSheetWidth = 460;

}  // namespace

EvernoteExportPanel::EvernoteExportPanel(QObject* parent)
    : QObject(parent),
      operationQueue_(std::make_unique<OperationQueue>(QStringLiteral("export panel"))),
      urlOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

EvernoteExportPanel::~EvernoteExportPanel() {
    // A run still going calls back on the main thread and waits for it: keep
    // serving the callbacks until it has ended, and drop the sheet with them.
    if (operation_) {
        operation_->setDelegate(nullptr);
        completionHandler_ = nullptr;
        operation_->cancel();
        operationQueue_->cancelAllOperations();
        while (operationQueue_->operationCount() > 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    delete window_;
}

// ---- properties ---------------------------------------------------------------------

void EvernoteExportPanel::setTitleMessage(const QString& message) {
    if (message == titleMessage_) return;
    titleMessage_ = message;
    if (titleLabel_) titleLabel_->setText(message);
    emit titleMessageChanged(message);
}

void EvernoteExportPanel::setInformationMessage(const QString& message) {
    if (message == informationMessage_) return;
    informationMessage_ = message;
    if (informationLabel_) informationLabel_->setText(message);
    emit informationMessageChanged(message);
}

QProgressBar* EvernoteExportPanel::exportProgress() {
    loadWindow();
    return exportProgress_;
}

QDialog* EvernoteExportPanel::window() {
    loadWindow();
    return window_;
}

void EvernoteExportPanel::loadWindow() {
    if (window_) return;
    window_ = new QDialog(parentWindow_);
    window_->setObjectName(QStringLiteral("ExportPanel"));
    window_->setWindowTitle(localizedString("Exporting Notes"));
    window_->setMinimumWidth(kSheetWidth);
    titleLabel_ = new QLabel(titleMessage_);
    QFont bold = titleLabel_->font();
    bold.setBold(true);
    titleLabel_->setFont(bold);
    titleLabel_->setWordWrap(true);
    informationLabel_ = new QLabel(informationMessage_);
    exportProgress_ = new QProgressBar;
    exportProgress_->setTextVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &EvernoteExportPanel::cancel);
    auto* layout = new QVBoxLayout(window_);
    layout->addWidget(titleLabel_);
    layout->addWidget(exportProgress_);
    layout->addWidget(informationLabel_);
    layout->addWidget(buttons);
    // The Cancel button cancels; Escape and the window's close button ask
    // first. The sheet stays until the run ends.
    connect(window_, &QDialog::rejected, this, [this] {
        if (!running_) return;
        window_->open();
        askToCancel();
    });
    updateBar();
}

// ---- opening ------------------------------------------------------------------------

void EvernoteExportPanel::showSheetOnWindow(QWidget* window,
                                            std::shared_ptr<EvernoteApplication> app,
                                            const EvernoteNotebookList& notebooks,
                                            CompletionHandler completionHandler) {
    if (app) app->activate();
    beginSheet(window, std::move(completionHandler));
    startOperation(EvernoteExportOperation::exportOperationForApp(std::move(app), notebooks, this));
}

void EvernoteExportPanel::showSheetOnWindow(QWidget* window, const QUrl& fileURL,
                                            CompletionHandler completionHandler) {
    beginSheet(window, std::move(completionHandler));
    auto operation = std::make_shared<EvernoteXMLFileExportOperation>();
    operation->setExportFileURL(fileURL);
    operation->setDelegate(this);
    startOperation(operation);
}

void EvernoteExportPanel::beginSheet(QWidget* window, CompletionHandler completionHandler) {
    if (parentWindow_ != window && window_) {
        delete window_;  // made for another window: a sheet belongs to its parent
    }
    parentWindow_ = window;
    loadWindow();
    setIndeterminate();
    setTitleMessage(localizedString("Preparing..."));
    setInformationMessage(QString());
    completionHandler_ = std::move(completionHandler);
    running_ = true;
    runFailed_ = false;
    runTotal_ = 0;
    window_->setWindowModality(parentWindow_ ? Qt::WindowModal : Qt::ApplicationModal);
    window_->open();
}

void EvernoteExportPanel::startOperation(std::shared_ptr<EvernoteExportOperation> operation) {
    // The library chosen in the options goes for every import that starts from here.
    LibraryFolderSetting::applyToNextImport();
    operation_ = operation;
    operation->setAsksForPassphrases(true);
    operation->setNoteReport(std::make_shared<NoteReport>());
    operationQueue_->addOperation(std::move(operation));
}

void EvernoteExportPanel::cancel() {
    if (!running_) return;
    setIndeterminate();
    setTitleMessage(localizedString("Cancelling..."));
    setInformationMessage(QString());
    operationQueue_->cancelAllOperations();
    // Once the first notebook is parsing, the operation may have left the
    // queue's view of work to start: cancel it (and its parse) directly too.
    if (operation_) operation_->cancel();
}

bool EvernoteExportPanel::askToCancel() {
    if (!running_) return false;
    QMessageBox ask(QMessageBox::Question, QCoreApplication::applicationName(),
                    localizedString("An import is running. Do you want to cancel it?"),
                    QMessageBox::NoButton, window_);
    ask.setObjectName(QStringLiteral("CancelImportQuestion"));
    QPushButton* cancelImport =
        ask.addButton(localizedString("Cancel Import"), QMessageBox::DestructiveRole);
    ask.addButton(localizedString("Continue"), QMessageBox::RejectRole);
    ask.exec();
    if (ask.clickedButton() != cancelImport || !running_) return false;
    cancel();
    return true;
}

// ---- the bar ------------------------------------------------------------------------

void EvernoteExportPanel::setIndeterminate() {
    indeterminate_ = true;
    maximum_ = value_ = 0;
    updateBar();
}

void EvernoteExportPanel::restartBar(unsigned long maximum, const QString& title) {
    indeterminate_ = false;
    maximum_ = maximum;
    value_ = 0;
    barTimer_.start();
    updateBar();
    setTitleMessage(title);
}

void EvernoteExportPanel::updateBar() {
    if (exportProgress_) {
        if (indeterminate_) {
            exportProgress_->setRange(0, 0);  // Qt's busy indicator
        } else if (maximum_ == 0) {
            exportProgress_->setRange(0, 1);  // nothing to export: full, not busy
            exportProgress_->setValue(1);
        } else {
            // QProgressBar counts in int; scale a huge count down.
            const int scale = maximum_ > unsigned(INT_MAX) ? int(maximum_ / INT_MAX) + 1 : 1;
            exportProgress_->setRange(0, int(maximum_ / scale));
            exportProgress_->setValue(int(value_ / scale));
        }
    }
    emit progressChanged();
}

void EvernoteExportPanel::showProgressCount() {
    QString text =
        stringWithFormat(localizedString("%lu of %lu notes exported"), {value_, maximum_});
    const qint64 elapsed = barTimer_.isValid() ? barTimer_.elapsed() : 0;
    if (const QString left = ProgressEstimate::remainingTimeText(value_, maximum_, elapsed);
        !left.isEmpty())
        text = stringWithFormat(localizedString("%@: %@"), {text, left});
    setInformationMessage(text);
    if (informationLabel_)
        informationLabel_->setToolTip(ProgressEstimate::rateText(value_, elapsed));
}

// ---- callbacks ----------------------------------------------------------------------

void EvernoteExportPanel::exportOperationDidStart(EvernoteExportOperation*) {
    setTitleMessage(localizedString("Exporting Notes"));
}

void EvernoteExportPanel::exportOperationWillExportRecordsFromNotebook(
    EvernoteExportOperation*, unsigned long count, const QString& notebookName) {
    runTotal_ += count;
    restartBar(count,
               stringWithFormat(localizedString("Exporting notes from \"%@\""), {notebookName}));
    showProgressCount();
}

void EvernoteExportPanel::exportOperationWillExportRecordsFromFileAtURL(EvernoteExportOperation*,
                                                                        unsigned long count,
                                                                        const QUrl& fileURL) {
    runTotal_ += count;
    restartBar(count, stringWithFormat(localizedString("Exporting notes from \"%@\""),
                                       {QFileInfo(fileURL.toLocalFile()).fileName()}));
    setInformationMessage(stringWithFormat(localizedString("%lu notes exported"), {0UL}));
}

void EvernoteExportPanel::exportOperationDidExportRecord(EvernoteExportOperation*) {
    if (indeterminate_) return;  // a record that follows a cancellation moves nothing
    ++value_;
    updateBar();
    showProgressCount();
}

void EvernoteExportPanel::exportOperationDidEncounterError(EvernoteExportOperation* operation,
                                                           const Error& error) {
    const QString text = ImportSummary::errorText(error);
    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(),
                      ImportSummary::failedText(), QMessageBox::NoButton, window_);
    alert.setObjectName(QStringLiteral("ExportErrorAlert"));
    alert.setInformativeText(text);
    alert.setWindowModality(Qt::ApplicationModal);
    if (operation && operation->logStream())
        addOpenButton(&alert, localizedString("Show Log"), operation->logStream()->path());
    QPushButton* ok = alert.addButton(QMessageBox::Ok);
    alert.setDefaultButton(ok);
    alert.setEscapeButton(ok);
    emit errorAlertShown(text);
    runFailed_ = true;
    alert.exec();
    // Nothing is left to report an end: the sheet closes with the alert.
    endSheet(kReturnCodeCancelled);
}

void EvernoteExportPanel::exportOperationDidCancel(EvernoteExportOperation*) {
    endSheet(kReturnCodeCancelled);
}

void EvernoteExportPanel::exportOperationDidEnd(EvernoteExportOperation*) {
    endSheet(kReturnCodeEnded);
}

void EvernoteExportPanel::endSheet(int returnCode) {
    if (!running_) return;
    running_ = false;
    if (window_) window_->hide();
    if (!runFailed_) showOutcomeAlert(returnCode);
    CompletionHandler handler = std::move(completionHandler_);
    completionHandler_ = nullptr;
    emit sheetEnded(returnCode);
    if (handler) handler(returnCode);
}

std::shared_ptr<const PassphraseList> EvernoteExportPanel::passphrasesForEncryptedPassages(
    EvernoteExportOperation*, unsigned long count) {
    return PassphrasePrompt::ask(window_ ? window_.data() : parentWindow_.data(), count);
}

// ---- the outcome --------------------------------------------------------------------

QMessageBox* EvernoteExportPanel::outcomeAlert() const { return outcomeAlert_; }

void EvernoteExportPanel::showOutcomeAlert(int returnCode) {
    if (!showsOutcomeAlert_) return;
    // Not run here: the run finishes while the user reads, and the window waits.
    auto* alert = new QMessageBox(parentWindow_);
    alert->setObjectName(QStringLiteral("ImportOutcomeAlert"));
    alert->setWindowTitle(QCoreApplication::applicationName());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(parentWindow_ ? Qt::WindowModal : Qt::ApplicationModal);
    if (returnCode == kReturnCodeEnded && operation_) {
        fillOutcomeAlertOfEndedRun(alert, ImportSummary(*operation_, runTotal_));
    } else {
        alert->setIcon(QMessageBox::Information);
        alert->setText(ImportSummary::cancelledText());
        alert->setInformativeText(ImportSummary::nothingImportedText());
    }
    QPushButton* ok = alert->addButton(QMessageBox::Ok);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    outcomeAlert_ = alert;
    alert->open();
}

void EvernoteExportPanel::fillOutcomeAlertOfEndedRun(QMessageBox* alert,
                                                     const ImportSummary& summary) {
    alert->setIcon(summary.isComplete() ? QMessageBox::Information : QMessageBox::Warning);
    alert->setText(summary.importedText());
    QStringList details = summary.duplicateTexts() + summary.passageTexts() + summary.linkTexts() +
                          summary.problemTexts();
    if (const QStringList reasons = summary.reasonTexts(); !reasons.isEmpty())
        details << reasons.join(u'\n');
    alert->setInformativeText(details.join(QStringLiteral("\n\n")));
    if (!summary.isComplete() && !summary.logPath().isEmpty())
        addOpenButton(alert, localizedString("Show Log"), summary.logPath());
    if (!summary.libraryPath().isEmpty())
        addOpenButton(alert, localizedString("Show Library"), summary.libraryPath());
    if (const std::shared_ptr<NoteReport> report =
            operation_ ? operation_->noteReport() : nullptr) {
        QPushButton* button =
            alert->addButton(localizedString("Save Report…"), QMessageBox::ActionRole);
        // The report stays with the button: the next run replaces the operation.
        connect(button, &QPushButton::clicked, this,
                [this, report] { saveReport(*report, parentWindow_); });
    }
}

bool EvernoteExportPanel::saveReport(const NoteReport& report, QWidget* parent) {
    const QString path =
        reportPathChooser_ ? reportPathChooser_(parent)
                           : QFileDialog::getSaveFileName(parent, localizedString("Save Report"),
                                                          localizedString("Import Report.jsonl"),
                                                          localizedString("JSON Lines (*.jsonl)"));
    if (path.isEmpty()) return false;
    Error error;
    if (!NoteReport::checkWritablePath(path, &error) || !report.writeToFile(path, &error)) {
        QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(),
                          localizedString("The report could not be saved."), QMessageBox::Ok,
                          parent);
        alert.setObjectName(QStringLiteral("SaveReportErrorAlert"));
        alert.setInformativeText(ImportSummary::errorText(error));
        emit errorAlertShown(alert.informativeText());
        alert.exec();
        return false;
    }
    emit reportSaved(path);
    return true;
}

void EvernoteExportPanel::addOpenButton(QMessageBox* alert, const QString& title,
                                        const QString& path) {
    QPushButton* button = alert->addButton(title, QMessageBox::ActionRole);
    connect(button, &QPushButton::clicked, this, [this, path] {
        if (urlOpener_) urlOpener_(QUrl::fromLocalFile(path));
    });
}
