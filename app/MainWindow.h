// The main window's layout: a line of explanation, the notebook table, and a
// bottom row with the spinner, the status line and the commands (Release
// Notes, Options…, Import File…, Start Import); above them the menu bar with
// Help › About Ferrymark. It only lays out; the
// application controller (AppDelegate) fills it and acts on it. Main thread
// only.
#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);

    QTableView* notebookTable() const { return notebookTable_; }
    // The spinner shown while Evernote's notebooks are read.
    QProgressBar* spinner() const { return spinner_; }
    QLabel* statusLine() const { return statusLine_; }
    QPushButton* startImportButton() const { return startImportButton_; }
    QPushButton* importFileButton() const { return importFileButton_; }
    QPushButton* optionsButton() const { return optionsButton_; }
    QPushButton* releaseNotesButton() const { return releaseNotesButton_; }
    // Help › About Ferrymark.
    QAction* aboutAction() const { return aboutAction_; }

    // Places the window in the middle of its screen.
    void center();

  private:
    QTableView* notebookTable_;
    QProgressBar* spinner_;
    QLabel* statusLine_;
    QPushButton* startImportButton_;
    QPushButton* importFileButton_;
    QPushButton* optionsButton_;
    QPushButton* releaseNotesButton_;
    QAction* aboutAction_;
};
