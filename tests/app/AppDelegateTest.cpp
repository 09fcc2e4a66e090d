#include <Quorvel/QVFAboutPanel.h>
#include <Quorvel/QVFCrashReportController.h>
#include <Quorvel/QVFCreditsView.h>
#include <Quorvel/QVFExceptionHandler.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTimer>

#include "app/AppDelegate.h"
#include "app/EvernoteExportPanel.h"
#include "app/MainWindow.h"
#include "platform/apps/Workspace.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/AttributedString.h"
#include "tests/app/AlertWatcher.h"
#include "tests/support/Applications.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kMissing = QStringLiteral("Unable to find the Evernote application.");
const QString kTooOld = QStringLiteral("Evernote 5.2.0 or later is required.");

// The window program over a test folder: Evernote (when installed) reads the
// folder "evernote", quitting is counted instead of done.
struct Launch {
    TestEnvironment env;
    AlertWatcher alerts;
    AppDelegate app;
    int quits = 0;

    Launch() {
        app.setQuitHandler([this] { ++quits; });
        app.setFolderChooser([](QWidget*) { return QString(); });  // never a real dialog
    }
    QString evernoteFolder() const { return env.path(QStringLiteral("evernote")); }
    void installEvernote(const QString& version, const QString& folder) {
        ::installEvernote(env, folder, version);
    }
    void addNotebook(const QString& name, int notes) {
        QList<TestNote> list;
        for (int i = 0; i < notes; ++i)
            list << TestNote{QStringLiteral("N%1").arg(i), QStringLiteral("<div>x</div>")};
        env.writeFile(QStringLiteral("evernote/%1.enex").arg(name), buildENEX(list));
    }
    bool waitForList() {
        return runEventLoopUntil([&] { return !app.showProgressIndicator(); }, 10000);
    }
    // The names as the table shows them.
    QStringList shownNames() const {
        QStringList names;
        const QAbstractItemModel* model = app.notebooksController();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, NotebookListModel::NameColumn).data().toString();
        return names;
    }
};

// An Evernote whose notebooks are given in code.
class FixedNotebook : public EvernoteNotebook {
  public:
    explicit FixedNotebook(QString name) : name_(std::move(name)) {}
    QString name() const override { return name_; }
    QList<EvernoteNote> notes() const override { return {EvernoteNote{}}; }

  private:
    QString name_;
};

class FixedEvernote : public EvernoteApplication {
  public:
    QList<std::shared_ptr<EvernoteNotebook>> list;
    QString version() const override { return QStringLiteral("10.1"); }
    QList<std::shared_ptr<EvernoteNotebook>> notebooks() const override { return list; }
    void activate() override {}
    void exportNotes(const QList<EvernoteNote>&, const QUrl&, bool, quint32) override {}
};

}  // namespace

TEST(AppDelegateTest, MissingEvernoteAlertsAndQuits) {
    Launch launch;
    launch.app.applicationDidFinishLaunching();
    ASSERT_EQ(launch.alerts.alerts.size(), 1);
    EXPECT_EQ(launch.alerts.alerts[0].text, kMissing);
    EXPECT_EQ(
        launch.alerts.alerts[0].informativeText,
        QStringLiteral("Please ensure the latest version of Evernote is installed and try again."));
    EXPECT_EQ(launch.alerts.alerts[0].buttons,
              (QStringList{QStringLiteral("Choose Export Folder…"), QStringLiteral("Quit")}));
    EXPECT_EQ(launch.quits, 1);
}

// Choosing a folder of ENEX files records it as Evernote's and the launch goes on.
TEST(AppDelegateTest, ChosenExportFolderStandsInForEvernote) {
    Launch launch;
    launch.addNotebook(QStringLiteral("Recipes"), 2);
    launch.alerts.answer(kMissing, QStringLiteral("Choose Export Folder…"));
    int asked = 0;
    launch.app.setFolderChooser(
        [&](QWidget*) { return ++asked == 1 ? QString() : launch.evernoteFolder(); });
    launch.app.applicationDidFinishLaunching();
    EXPECT_EQ(asked, 2);  // a chooser closed without a folder brings the alert back
    EXPECT_EQ(launch.alerts.texts(), (QStringList{kMissing, kMissing}));
    EXPECT_EQ(launch.quits, 0);
    EXPECT_EQ(launch.app.statusMessage(), QStringLiteral("Getting notebook names..."));
    const auto installed =
        Workspace::installedApplications(QStringLiteral("com.evernote.Evernote"));
    ASSERT_EQ(installed.size(), 1);
    EXPECT_EQ(installed.first().info.value(QStringLiteral("EvernoteNotebookFolder")).toString(),
              launch.evernoteFolder());
    ASSERT_TRUE(launch.waitForList());
    EXPECT_EQ(launch.shownNames(), QStringList{QStringLiteral("Recipes")});
    EXPECT_EQ(launch.app.objectInNotebooksAtIndex(0).numberOfNotes, 2u);
}

TEST(AppDelegateTest, EvernoteBefore5Point2IsRefused) {
    const struct {
        const char* version;
        bool accepted;
    } cases[] = {{"4.9", false}, {"5.1", false}, {"5.2", true}, {"6.0", true}, {"5.10", true}};
    for (const auto& c : cases) {
        Launch launch;
        launch.installEvernote(QString::fromLatin1(c.version), launch.evernoteFolder());
        launch.app.applicationDidFinishLaunching();
        if (c.accepted) {
            EXPECT_TRUE(launch.alerts.alerts.isEmpty()) << c.version;
            EXPECT_EQ(launch.quits, 0) << c.version;
            EXPECT_EQ(launch.app.statusMessage(), QStringLiteral("Getting notebook names..."))
                << c.version;
            EXPECT_TRUE(launch.app.showProgressIndicator());
        } else {
            EXPECT_EQ(launch.alerts.texts(), QStringList{kTooOld}) << c.version;
            EXPECT_EQ(launch.quits, 1) << c.version;
        }
    }
}

TEST(AppDelegateTest, NotebookWithoutANameIsNeverListed) {
    Launch launch;
    auto evernote = std::make_shared<FixedEvernote>();
    evernote->list = {std::make_shared<FixedNotebook>(QString()),
                      std::make_shared<FixedNotebook>(QStringLiteral("Work"))};
    launch.app.setEvernoteLookup([&] { return evernote; });
    launch.app.applicationDidFinishLaunching();
    launch.app.checkForNotebooks();
    EXPECT_EQ(launch.app.countOfNotebooks(), 1);
    EXPECT_EQ(launch.shownNames(), QStringList{QStringLiteral("Work")});
    EXPECT_FALSE(launch.app.showProgressIndicator());
    EXPECT_TRUE(launch.app.statusMessage().isEmpty());
}

TEST(AppDelegateTest, NotebooksAreSortedByNameWithoutRegardToCase) {
    Launch launch;
    for (const char* name : {"beta", "Alpha", "charlie", "Delta"})
        launch.addNotebook(QString::fromLatin1(name), 1);
    launch.installEvernote(QStringLiteral("10.0"), launch.evernoteFolder());
    launch.app.applicationDidFinishLaunching();
    ASSERT_TRUE(launch.waitForList());
    EXPECT_EQ(launch.shownNames(),
              (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"),
                           QStringLiteral("charlie"), QStringLiteral("Delta")}));
    // Only the check boxes react; no row can be selected.
    const QAbstractItemModel* model = launch.app.notebooksController();
    EXPECT_TRUE(model->flags(model->index(0, NotebookListModel::ImportColumn)) &
                Qt::ItemIsUserCheckable);
    for (int column = 0; column < NotebookListModel::ColumnCount; ++column)
        EXPECT_FALSE(model->flags(model->index(0, column)) &
                     (Qt::ItemIsSelectable | Qt::ItemIsEditable));
    EXPECT_FALSE(model->flags(model->index(0, NotebookListModel::NameColumn)) &
                 Qt::ItemIsUserCheckable);
}

TEST(AppDelegateTest, StartWithNothingMarkedShowsTheSheetAndStartsNothing) {
    Launch launch;
    launch.alerts.setAnswering(false);
    launch.addNotebook(QStringLiteral("Alpha"), 1);
    launch.addNotebook(QStringLiteral("beta"), 1);
    launch.installEvernote(QStringLiteral("10.0"), launch.evernoteFolder());
    launch.app.applicationDidFinishLaunching();
    // Start while the list loads: a beep, nothing else.
    QTest::mouseClick(launch.app.window()->startImportButton(), Qt::LeftButton);
    ASSERT_TRUE(launch.waitForList());
    QAbstractItemModel* model = launch.app.notebooksController();
    for (int row = 0; row < model->rowCount(); ++row)
        model->setData(model->index(row, NotebookListModel::ImportColumn), Qt::Unchecked,
                       Qt::CheckStateRole);
    QTest::mouseClick(launch.app.window()->startImportButton(), Qt::LeftButton);
    ASSERT_TRUE(runEventLoopUntil([&] { return !launch.alerts.alerts.isEmpty(); }, 5000));
    EXPECT_EQ(launch.alerts.alerts.size(), 1);
    EXPECT_EQ(launch.alerts.alerts[0].text, QStringLiteral("No notebooks selected!"));
    EXPECT_EQ(launch.alerts.alerts[0].informativeText,
              QStringLiteral("Select the notebooks to import and try again."));
    auto* sheet = launch.app.window()->findChild<QMessageBox*>(QStringLiteral("NoNotebooksAlert"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(launch.app.exportPanel()->isRunning());
    EXPECT_FALSE(QDir(launch.env.tempDir() + QStringLiteral("/Evernote")).exists());
}

TEST(AppDelegateTest, MarkedNotebooksAreImportedInListOrder) {
    Launch launch;
    launch.addNotebook(QStringLiteral("Alpha"), 2);
    launch.addNotebook(QStringLiteral("Beta"), 1);
    launch.addNotebook(QStringLiteral("Gamma"), 1);
    launch.installEvernote(QStringLiteral("10.0"), launch.evernoteFolder());
    launch.app.applicationDidFinishLaunching();
    ASSERT_TRUE(launch.waitForList());
    QAbstractItemModel* model = launch.app.notebooksController();
    model->setData(model->index(1, NotebookListModel::ImportColumn), Qt::Unchecked,
                   Qt::CheckStateRole);  // Beta
    QStringList titles;
    bool ended = false;
    QObject::connect(launch.app.exportPanel(), &EvernoteExportPanel::titleMessageChanged,
                     [&](const QString& title) { titles << title; });
    QObject::connect(launch.app.exportPanel(), &EvernoteExportPanel::sheetEnded,
                     [&] { ended = true; });
    QTest::mouseClick(launch.app.window()->startImportButton(), Qt::LeftButton);
    ASSERT_TRUE(runEventLoopUntil([&] { return ended; }, 60000));
    // Each record went in at the front: the reverse of Evernote's order.
    EXPECT_EQ(titles.filter(QStringLiteral("Exporting notes from")),
              (QStringList{QStringLiteral("Exporting notes from \"Gamma\""),
                           QStringLiteral("Exporting notes from \"Alpha\"")}));
    const QString library = launch.env.dataHome() + QStringLiteral("/Pelmora 3/Library");
    EXPECT_TRUE(QDir(library + QStringLiteral("/Alpha")).exists());
    EXPECT_FALSE(QDir(library + QStringLiteral("/Beta")).exists());
}

TEST(AppDelegateTest, ImportFileRunsTheChosenENEXFile) {
    Launch launch;
    auto evernote = std::make_shared<FixedEvernote>();
    launch.app.setEvernoteLookup([&] { return evernote; });
    launch.app.applicationDidFinishLaunching();
    const QString file = launch.env.writeFile(
        QStringLiteral("Saved.enex"),
        buildENEX({TestNote{QStringLiteral("Kept"), QStringLiteral("<div>x</div>")}}));
    bool ended = false;
    QObject::connect(launch.app.exportPanel(), &EvernoteExportPanel::sheetEnded,
                     [&] { ended = true; });
    QTest::mouseClick(launch.app.window()->importFileButton(), Qt::LeftButton);
    auto* dialog = launch.app.window()->findChild<QFileDialog*>(QStringLiteral("ENEXFileDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->nameFilters().join(u' ').contains(QStringLiteral("*.enex")));
    dialog->selectFile(file);
    static_cast<QDialog*>(dialog)->accept();  // as the Open button does
    ASSERT_TRUE(runEventLoopUntil([&] { return ended; }, 60000));
    EXPECT_TRUE(QDir(launch.env.dataHome() + QStringLiteral("/Pelmora 3/Library/Saved")).exists());
}

// With no ENEX files yet the list keeps loading, and the status line names
// the folder it watches; a folder that cannot be read gives one alert.
TEST(AppDelegateTest, WaitingForENEXFilesNamesTheFolder) {
    Launch launch;
    QDir().mkpath(launch.evernoteFolder());
    launch.installEvernote(QStringLiteral("10.0"), launch.evernoteFolder());
    launch.app.applicationDidFinishLaunching();
    launch.app.checkForNotebooks();
    EXPECT_TRUE(launch.app.showProgressIndicator());
    EXPECT_TRUE(launch.app.statusMessage().contains(launch.evernoteFolder()))
        << launch.app.statusMessage().toStdString();
    EXPECT_TRUE(launch.alerts.alerts.isEmpty());
    launch.addNotebook(QStringLiteral("Late"), 1);  // the poll finds it
    ASSERT_TRUE(launch.waitForList());
    EXPECT_EQ(launch.shownNames(), QStringList{QStringLiteral("Late")});
}

TEST(AppDelegateTest, UnreadableFolderGivesOneAlert) {
    Launch launch;
    const QString gone = launch.env.path(QStringLiteral("nowhere"));
    launch.installEvernote(QStringLiteral("10.0"), gone);
    launch.app.applicationDidFinishLaunching();
    launch.app.checkForNotebooks();
    launch.app.checkForNotebooks();
    ASSERT_EQ(launch.alerts.alerts.size(), 1);
    EXPECT_TRUE(launch.alerts.alerts[0].text.contains(gone));
    EXPECT_TRUE(launch.alerts.alerts[0].buttons.contains(QStringLiteral("Choose Export Folder…")));
    EXPECT_TRUE(launch.app.statusMessage().contains(gone));
}

// A crash of an earlier run (here a log where the exception handler writes
// them, newer than the last check) is offered by the next launch.
TEST(AppDelegateTest, LaunchOffersAPendingCrashReport) {
    Launch launch;
    auto evernote = std::make_shared<FixedEvernote>();
    launch.app.setEvernoteLookup([&] { return evernote; });
    const double anHourAgo =
        double(QDateTime::currentSecsSinceEpoch() - 3600 - 978307200);  // since 2001
    ASSERT_TRUE(
        UserDefaults::standard().setObject(PlistValue(double(float(anHourAgo))),
                                           QStringLiteral("QVFCrashReporterLastCrashReportDate")));
    launch.env.writeFile(
        QStringLiteral("state/Quorvel/CrashReporter/Ferrymark_2026-01-01-120000_host.crash"),
        "Reason:   signal 11 (SIGSEGV)");
    ASSERT_EQ(QVFExceptionHandler::crashLogDirectory(),
              launch.env.stateHome() + QStringLiteral("/Quorvel/CrashReporter"));
    QString offered;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* report = qobject_cast<QVFCrashReportController*>(QApplication::activeModalWidget());
        if (!report) return;
        offered = report->crashReportLog();
        report->cancel();
    });
    answer.start(10);
    launch.app.applicationDidFinishLaunching();
    EXPECT_TRUE(offered.contains(QStringLiteral("Reason:   signal 11 (SIGSEGV)")))
        << offered.toStdString();
    EXPECT_TRUE(launch.app.window()->isVisible());
    EXPECT_EQ(launch.quits, 0);
}

TEST(AppDelegateTest, HelpAboutOpensTheAboutPanelWithTheCredits) {
    Launch launch;
    launch.app.window()->aboutAction()->trigger();
    QVFAboutPanel& about = QVFAboutPanel::sharedAboutPanel();
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Ferrymark"));
    // The credits are the program's own resource, and name what it is built on.
    const auto credits = QVFCreditsView::creditsTextInDirectory(QStringLiteral(":"));
    ASSERT_TRUE(credits.has_value());
    for (const char* library : {"Qt 6", "libxml2", "libplist", "OpenSSL", "fontconfig"})
        EXPECT_TRUE(credits->string().contains(QLatin1String(library))) << library;
    about.close();
}

// "Open with Ferrymark": the files the program was opened with are imported,
// one sheet after another, before the launch looks for Evernote.
TEST(AppDelegateTest, OpenedFilesAreImportedBeforeTheLaunchGoesOn) {
    Launch launch;
    auto evernote = std::make_shared<FixedEvernote>();
    int lookups = 0;
    launch.app.setEvernoteLookup([&] {
        ++lookups;
        return evernote;
    });
    const QString trip = launch.env.writeFile(
        QStringLiteral("Trip.enex"),
        buildENEX({TestNote{QStringLiteral("Tickets"), QStringLiteral("<div>x</div>")}}));
    const QString work = launch.env.writeFile(
        QStringLiteral("Work.enex"),
        buildENEX({TestNote{QStringLiteral("Agenda"), QStringLiteral("<div>y</div>")}}));
    launch.app.setFilesToOpen({trip, work});
    int sheets = 0;
    QObject::connect(launch.app.exportPanel(), &EvernoteExportPanel::sheetEnded, [&] { ++sheets; });
    launch.app.applicationDidFinishLaunching();
    EXPECT_EQ(lookups, 0);
    ASSERT_TRUE(runEventLoopUntil([&] { return lookups > 0; }, 120000));
    EXPECT_EQ(sheets, 2);
    const QString library = launch.env.dataHome() + QStringLiteral("/Pelmora 3/Library");
    EXPECT_TRUE(QDir(library + QStringLiteral("/Trip")).exists());
    EXPECT_TRUE(QDir(library + QStringLiteral("/Work")).exists());
    EXPECT_EQ(launch.app.statusMessage(), QStringLiteral("Getting notebook names..."));
}

// A file that cannot be read is reported and the files after it still import.
TEST(AppDelegateTest, AnOpenedFileThatFailsLeavesTheOthersToImport) {
    Launch launch;
    auto evernote = std::make_shared<FixedEvernote>();
    int lookups = 0;
    launch.app.setEvernoteLookup([&] {
        ++lookups;
        return evernote;
    });
    const QString kept = launch.env.writeFile(
        QStringLiteral("Kept.enex"),
        buildENEX({TestNote{QStringLiteral("Kept"), QStringLiteral("<div>x</div>")}}));
    launch.app.setFilesToOpen({launch.env.path(QStringLiteral("Missing.enex")), kept});
    launch.app.applicationDidFinishLaunching();
    ASSERT_TRUE(runEventLoopUntil([&] { return lookups > 0; }, 120000));
    ASSERT_FALSE(launch.alerts.alerts.isEmpty());
    EXPECT_EQ(launch.alerts.alerts.front().text,
              QStringLiteral("An error occurred while exporting."));
    EXPECT_TRUE(QDir(launch.env.dataHome() + QStringLiteral("/Pelmora 3/Library/Kept")).exists());
}
