#include "app/EvernoteExportOptionsController.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/LibraryFolderSetting.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"

EvernoteExportOptionsController::EvernoteExportOptionsController(QObject* parent)
    : QObject(parent), folderChooser_([](QWidget* parent) {
          return QFileDialog::getExistingDirectory(parent,
                                                   localizedString("Choose the Library Folder"));
      }) {}

EvernoteExportOptionsController::~EvernoteExportOptionsController() { delete window_; }

QDialog* EvernoteExportOptionsController::window() {
    loadWindow();
    return window_;
}

QCheckBox* EvernoteExportOptionsController::addSettingCheckBox(const QString& title,
                                                               const QString& key,
                                                               const QString& explanation) {
    auto* box = new QCheckBox(title);
    box->setObjectName(key);
    box->setToolTip(explanation);
    connect(box, &QCheckBox::toggled, this, [key](bool on) {
        Error error;
        if (!UserDefaults::standard().setObject(on, key, &error))
            systemLog(
                QStringLiteral("Cannot save the setting %1: %2").arg(key, error.description()));
    });
    settingBoxes_.append({box, key});
    return box;
}

void EvernoteExportOptionsController::loadWindow() {
    if (window_) return;
    window_ = new QDialog(parentWindow_);
    window_->setObjectName(QStringLiteral("EvernoteExportOptionsController"));
    window_->setWindowTitle(localizedString("Options"));
    auto* layout = new QVBoxLayout(window_);

    auto* notebooks = new QGroupBox(localizedString("Import"));
    auto* notebooksLayout = new QVBoxLayout(notebooks);
    notebooksLayout->addWidget(addSettingCheckBox(
        localizedString("Export notebooks note by note as HTML"), QStringLiteral("UseHTMLExport"),
        localizedString("Evernote exports each note as a web page instead of each notebook as one "
                        "ENEX file.")));
    notebooksLayout->addWidget(addSettingCheckBox(
        localizedString("Reload web clips from their web pages"), QStringLiteral("ReloadFromWeb"),
        localizedString("Web clips are loaded again from the web instead of from the note.")));
    notebooksLayout->addWidget(addSettingCheckBox(
        localizedString("Continue past damaged notes"), QStringLiteral("RecoverDamagedNotes"),
        localizedString("A note that cannot be read no longer stops its file: known damage is "
                        "repaired, and the other damaged notes are listed in the import log.")));
    notebooksLayout->addWidget(addSettingCheckBox(
        localizedString("Import notes the library already holds"),
        QStringLiteral("AllowDuplicates"),
        localizedString("A note imported before, unchanged, is imported once more instead of "
                        "being left out as a duplicate.")));
    notebooksLayout->addWidget(addSettingCheckBox(
        localizedString("Write a detailed import log"), QStringLiteral("ExportDebug"),
        localizedString("The import log gets one line for every parser event and every item.")));
    layout->addWidget(notebooks);

    auto* library = new QGroupBox(localizedString("Library"));
    auto* libraryLayout = new QVBoxLayout(library);
    libraryLabel_ = new QLabel;
    libraryLabel_->setObjectName(QStringLiteral("LibraryFolder"));
    libraryLabel_->setWordWrap(true);
    libraryLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    libraryLayout->addWidget(libraryLabel_);
    auto* libraryButtons = new QHBoxLayout;
    auto* choose = new QPushButton(localizedString("Choose…"));
    auto* reset = new QPushButton(localizedString("Use Pelmora’s Library"));
    connect(choose, &QPushButton::clicked, this,
            &EvernoteExportOptionsController::chooseLibraryFolder);
    connect(reset, &QPushButton::clicked, this,
            &EvernoteExportOptionsController::useDefaultLibrary);
    libraryButtons->addStretch();
    libraryButtons->addWidget(reset);
    libraryButtons->addWidget(choose);
    libraryLayout->addLayout(libraryButtons);
    layout->addWidget(library);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setText(localizedString("Done"));
    connect(buttons, &QDialogButtonBox::accepted, this,
            &EvernoteExportOptionsController::closeWindow);
    connect(window_, &QDialog::rejected, this, &EvernoteExportOptionsController::closeWindow);
    layout->addWidget(buttons);
}

void EvernoteExportOptionsController::showSettings() {
    for (const auto& [box, key] : settingBoxes_) {
        const QSignalBlocker quiet(box);  // showing a setting is not changing it
        box->setChecked(UserDefaults::standard().boolForKey(key));
    }
    const QString folder = LibraryFolderSetting::libraryFolder();
    libraryLabel_->setText(folder.isEmpty()
                               ? localizedString("Notes go into Pelmora’s own library.")
                               : localizedString("Notes go into %1.").arg(folder));
}

void EvernoteExportOptionsController::showSheetOnParentWindow(QWidget* parent,
                                                              CompletionHandler completionHandler) {
    if (parentWindow_ != parent) delete window_;  // a sheet belongs to its parent
    parentWindow_ = parent;
    loadWindow();
    showSettings();
    completionHandler_ = std::move(completionHandler);
    isOpen_ = true;
    window_->open();
}

void EvernoteExportOptionsController::closeWindow() {
    if (!isOpen_) return;
    isOpen_ = false;
    if (window_) window_->hide();
    CompletionHandler handler = std::move(completionHandler_);
    completionHandler_ = nullptr;
    if (handler) handler(1);
}

void EvernoteExportOptionsController::chooseLibraryFolder() {
    const QString folder = folderChooser_ ? folderChooser_(window_) : QString();
    if (folder.isEmpty()) return;
    Error error;
    if (!LibraryFolderSetting::setLibraryFolder(folder, &error))
        systemLog(QStringLiteral("Cannot save the library folder: %1").arg(error.description()));
    showSettings();
}

void EvernoteExportOptionsController::useDefaultLibrary() {
    LibraryFolderSetting::setLibraryFolder(QString());
    showSettings();
}
