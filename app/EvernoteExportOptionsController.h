// The options sheet behind the window's Options button. It sets the user
// defaults that the import reads: "UseHTMLExport" (export notebooks note by
// note as HTML), "ExportDebug" (a detailed log), "ReloadFromWeb" (refresh web
// clips from their live pages), "RecoverDamagedNotes" (read on past damaged
// notes instead of stopping the file), "AllowDuplicates" (import
// again notes the library already holds), and the library folder to import into
// (LibraryFolderSetting). Each change is written at once; Done closes the
// sheet. Main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QCheckBox;
class QDialog;
class QLabel;
class QWidget;

class EvernoteExportOptionsController : public QObject {
    Q_OBJECT
  public:
    using CompletionHandler = std::function<void(int returnCode)>;
    // Asks the user for a library folder; empty when the user gave none.
    using FolderChooser = std::function<QString(QWidget* parent)>;

    explicit EvernoteExportOptionsController(QObject* parent = nullptr);
    ~EvernoteExportOptionsController() override;

    QWidget* parentWindow() const { return parentWindow_; }
    // The sheet (made when needed).
    QDialog* window();
    // Replaces the folder dialog (tests).
    void setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

    // Shows the sheet over `parent`, its controls showing the current settings.
    void showSheetOnParentWindow(QWidget* parent, CompletionHandler completionHandler = {});
    bool isOpen() const { return isOpen_; }
    // Ends the sheet with return code 1.
    void closeWindow();
    // Asks for a library folder and records it; nothing changes when the user gives none.
    void chooseLibraryFolder();
    // Goes back to Pelmora's own library.
    void useDefaultLibrary();

  private:
    void loadWindow();
    QCheckBox* addSettingCheckBox(const QString& title, const QString& key,
                                  const QString& explanation);
    void showSettings();

    QPointer<QWidget> parentWindow_;
    QPointer<QDialog> window_;
    QPointer<QLabel> libraryLabel_;
    QList<QPair<QCheckBox*, QString>> settingBoxes_;
    CompletionHandler completionHandler_;
    FolderChooser folderChooser_;
    bool isOpen_ = false;
};
