#include "app/MainWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include "platform/foundation/Localization.h"

namespace {
constexpr int kSpinnerWidth = 60;
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Ferrymark"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("ferrymark")));
    resize(560, 420);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* explanation =
        new QLabel(localizedString("Mark the Evernote notebooks to import into Pelmora."));
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    notebookTable_ = new QTableView;
    notebookTable_->setObjectName(QStringLiteral("notebooks"));
    notebookTable_->setSelectionMode(QAbstractItemView::NoSelection);
    notebookTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    notebookTable_->setShowGrid(false);
    notebookTable_->setAlternatingRowColors(true);
    notebookTable_->verticalHeader()->hide();
    notebookTable_->horizontalHeader()->setHighlightSections(false);
    notebookTable_->setSortingEnabled(false);  // the controller's order, by name
    layout->addWidget(notebookTable_, 1);

    auto* bottom = new QHBoxLayout;
    spinner_ = new QProgressBar;
    spinner_->setObjectName(QStringLiteral("spinner"));
    spinner_->setRange(0, 0);
    spinner_->setTextVisible(false);
    spinner_->setFixedWidth(kSpinnerWidth);
    statusLine_ = new QLabel;
    statusLine_->setObjectName(QStringLiteral("status"));
    statusLine_->setWordWrap(true);
    bottom->addWidget(spinner_);
    bottom->addWidget(statusLine_, 1);
    layout->addLayout(bottom);

    auto* buttons = new QHBoxLayout;
    releaseNotesButton_ = new QPushButton(localizedString("Release Notes"));
    optionsButton_ = new QPushButton(localizedString("Options…"));
    importFileButton_ = new QPushButton(localizedString("Import File…"));
    startImportButton_ = new QPushButton(localizedString("Start Import"));
    startImportButton_->setDefault(true);
    buttons->addWidget(releaseNotesButton_);
    buttons->addWidget(optionsButton_);
    buttons->addStretch();
    buttons->addWidget(importFileButton_);
    buttons->addWidget(startImportButton_);
    layout->addLayout(buttons);
    setCentralWidget(central);

    QMenu* help = menuBar()->addMenu(localizedString("&Help"));
    aboutAction_ = help->addAction(localizedString("&About Ferrymark"));
    aboutAction_->setObjectName(QStringLiteral("about"));
    aboutAction_->setMenuRole(QAction::AboutRole);
}

void MainWindow::center() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
