#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QProgressBar>

#include "app/EvernoteExportPanel.h"
#include "tests/app/AlertWatcher.h"
#include "tests/support/Applications.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestEnvironment.h"

namespace {

QList<TestNote> textNotes(int count) {
    QList<TestNote> notes;
    for (int i = 0; i < count; ++i)
        notes << TestNote{QStringLiteral("Note %1").arg(i),
                          QStringLiteral("<div>text %1</div>").arg(i)};
    return notes;
}

// A panel over a window, with what it showed recorded; Evernote is a folder
// of notebooks, and the library is the built-in Pelmora's in the test folder.
struct PanelRun {
    TestEnvironment env;
    QMainWindow window;
    EvernoteExportPanel panel;
    AlertWatcher alerts;
    QStringList titles, informations;
    QList<int> returnCodes;
    QList<QUrl> opened;

    PanelRun() {
        panel.setURLOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
        QObject::connect(&panel, &EvernoteExportPanel::titleMessageChanged,
                         [this](const QString& t) { titles << t; });
        QObject::connect(&panel, &EvernoteExportPanel::informationMessageChanged,
                         [this](const QString& i) { informations << i; });
        QObject::connect(&panel, &EvernoteExportPanel::sheetEnded,
                         [this](int code) { returnCodes << code; });
        window.show();
    }
    QString library() const { return env.dataHome() + QStringLiteral("/Pelmora 3/Library"); }
    void installEvernote(const QList<QPair<QString, QList<TestNote>>>& notebooks) {
        for (const auto& [name, notes] : notebooks)
            env.writeFile(QStringLiteral("evernote/%1.enex").arg(name), buildENEX(notes));
        ::installEvernote(env, env.path(QStringLiteral("evernote")));
    }
    void importNotebooks() {
        auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
        ASSERT_NE(evernote, nullptr);
        panel.showSheetOnWindow(&window, evernote, evernote->notebooks());
    }
    QString log() const {
        return env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log");
    }
    bool waitForEnd() {
        return runEventLoopUntil([&] { return !returnCodes.isEmpty(); }, 120000);
    }
    // The run has ended and the alert that tells its outcome has been seen.
    bool waitForOutcome() {
        return waitForEnd() && runEventLoopUntil([&] { return !alerts.alerts.isEmpty(); });
    }
};

// A PDF note; with `bytes` beyond the test's file-size limit its conversion fails.
TestNote pdfNote(const QString& title, qsizetype bytes = 64) {
    TestNote note{title, QStringLiteral("%MEDIA0%")};
    note.attachments = {{QByteArray(bytes, 'x'), QStringLiteral("application/pdf"),
                         title + QStringLiteral(".pdf")}};
    return note;
}

}  // namespace

TEST(EvernoteExportPanelTest, FileImportCountsFromZeroThenEachNote) {
    PanelRun run;
    const QString file = run.env.writeFile(QStringLiteral("Notes.enex"), buildENEX(textNotes(120)));
    run.panel.showSheetOnWindow(&run.window, QUrl::fromLocalFile(file));
    EXPECT_TRUE(run.panel.window()->isVisible());
    EXPECT_EQ(run.panel.window()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(run.panel.titleMessage(), QStringLiteral("Preparing..."));
    EXPECT_TRUE(run.panel.isIndeterminate());
    ASSERT_TRUE(run.waitForOutcome());

    EXPECT_EQ(run.returnCodes, QList<int>{EvernoteExportPanel::kReturnCodeEnded});
    EXPECT_FALSE(run.panel.window()->isVisible());
    EXPECT_TRUE(run.titles.contains(QStringLiteral("Exporting notes from \"Notes.enex\"")));
    ASSERT_GE(run.informations.size(), 3);
    EXPECT_EQ(run.informations[0], QStringLiteral("0 notes exported"));
    EXPECT_EQ(run.informations[1], QStringLiteral("1 of 120 notes exported"));
    EXPECT_TRUE(run.informations.last().startsWith(QStringLiteral("120 of 120 notes exported")));
    EXPECT_EQ(run.panel.progressMaximum(), 120u);
    EXPECT_EQ(run.panel.exportProgress()->value(), 120);
    // A run without a fault ends with its one-line summary.
    ASSERT_EQ(run.alerts.alerts.size(), 1);
    EXPECT_EQ(run.alerts.alerts[0].text,
              QStringLiteral("Imported 120 of 120 notes into %1.").arg(run.library()));
    EXPECT_EQ(run.alerts.alerts[0].informativeText, QString());
    EXPECT_TRUE(run.alerts.alerts[0].buttons.contains(QStringLiteral("Show Library")));
    EXPECT_FALSE(run.alerts.alerts[0].buttons.contains(QStringLiteral("Show Log")));
    EXPECT_TRUE(QDir(run.library() + QStringLiteral("/Notes")).exists());
}

TEST(EvernoteExportPanelTest, EachNotebookRestartsTheBar) {
    PanelRun run;
    run.installEvernote({{QStringLiteral("A"), textNotes(10)},
                         {QStringLiteral("B"), {}},
                         {QStringLiteral("C"), textNotes(5)}});
    QList<unsigned long> maxima;
    QObject::connect(&run.panel, &EvernoteExportPanel::progressChanged, [&] {
        if (!run.panel.isIndeterminate() && run.panel.progressValue() == 0)
            maxima << run.panel.progressMaximum();
    });
    run.importNotebooks();
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(maxima, (QList<unsigned long>{10, 0, 5}));
    EXPECT_TRUE(run.informations.contains(QStringLiteral("0 of 0 notes exported")));
    EXPECT_TRUE(run.titles.contains(QStringLiteral("Exporting notes from \"B\"")));
    EXPECT_EQ(run.returnCodes, QList<int>{EvernoteExportPanel::kReturnCodeEnded});
}

// The cancel comes while the first notebook is parsing on the operation's
// parser queue: the run still ends as a cancellation, without an alert, and
// nothing reaches the library.
TEST(EvernoteExportPanelTest, CancelDuringTheParseEndsAsACancellation) {
    PanelRun run;
    run.installEvernote(
        {{QStringLiteral("Big"), textNotes(1500)}, {QStringLiteral("Next"), textNotes(3)}});
    // Each record waits for the panel, so the parse cannot run past the
    // cancel however late the main thread comes to it.
    QObject::connect(&run.panel, &EvernoteExportPanel::titleMessageChanged, [&] {
        if (EvernoteExportOperation* operation = run.panel.currentOperation())
            operation->setRecordsWaitForDelegate(true);
    });
    bool cancelled = false;
    QObject::connect(&run.panel, &EvernoteExportPanel::progressChanged, [&] {
        if (!cancelled && run.panel.progressValue() == 3) {
            cancelled = true;
            run.panel.cancel();
        }
    });
    run.importNotebooks();
    ASSERT_TRUE(run.waitForOutcome());
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(run.returnCodes, QList<int>{EvernoteExportPanel::kReturnCodeCancelled});
    EXPECT_EQ(run.panel.titleMessage(), QStringLiteral("Cancelling..."));
    // No error alert: the one alert says that the run was cancelled and took nothing.
    ASSERT_EQ(run.alerts.alerts.size(), 1);
    EXPECT_EQ(run.alerts.alerts[0].text, QStringLiteral("The import was cancelled."));
    EXPECT_EQ(run.alerts.alerts[0].informativeText, QStringLiteral("Nothing was imported."));
    EXPECT_FALSE(run.titles.contains(QStringLiteral("Exporting notes from \"Next\"")));
    EXPECT_FALSE(QDir(run.library()).exists());
    EXPECT_FALSE(QFile::exists(run.env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
}

TEST(EvernoteExportPanelTest, ErrorAlertShowsTheDescriptionOrSaysItIsUnknown) {
    PanelRun run;
    run.panel.exportOperationDidEncounterError(nullptr, Error(QStringLiteral("Test"), 7));
    run.panel.exportOperationDidEncounterError(
        nullptr, Error(QStringLiteral("Test"), 8, QStringLiteral("The disk is full.")));
    ASSERT_EQ(run.alerts.alerts.size(), 2);
    EXPECT_EQ(run.alerts.alerts[0].text, QStringLiteral("An error occurred while exporting."));
    EXPECT_EQ(run.alerts.alerts[0].informativeText, QStringLiteral("An unknown error occurred."));
    EXPECT_EQ(run.alerts.alerts[1].informativeText, QStringLiteral("The disk is full."));
}

// A malformed notebook among good ones stops the run with the parser's error;
// the alert names the notebook, and the sheet closes once it is dismissed.
TEST(EvernoteExportPanelTest, MalformedNotebookIsNamedInTheAlertAndTheSheetCloses) {
    PanelRun run;
    QByteArray broken = buildENEX(textNotes(3));
    broken.chop(30);
    run.installEvernote(
        {{QStringLiteral("Alpha"), textNotes(2)}, {QStringLiteral("Good"), textNotes(2)}});
    run.env.writeFile(QStringLiteral("evernote/Broken.enex"), broken);  // between the two
    run.importNotebooks();
    ASSERT_TRUE(run.waitForEnd());
    ASSERT_EQ(run.alerts.alerts.size(), 1);
    EXPECT_EQ(run.alerts.alerts[0].text, QStringLiteral("An error occurred while exporting."));
    EXPECT_TRUE(run.alerts.alerts[0].informativeText.contains(QStringLiteral("“Broken”")))
        << run.alerts.alerts[0].informativeText.toStdString();
    EXPECT_EQ(run.returnCodes, QList<int>{EvernoteExportPanel::kReturnCodeCancelled});
    EXPECT_FALSE(run.panel.window()->isVisible());
    EXPECT_FALSE(run.panel.isRunning());
    EXPECT_TRUE(run.titles.contains(QStringLiteral("Exporting notes from \"Alpha\"")));
    EXPECT_FALSE(run.titles.contains(QStringLiteral("Exporting notes from \"Good\"")));
}

// Notes whose conversion fails (their attachments are larger than this process
// may write) are left out: the alert after the sheet counts them, names the
// first three with their reasons, and its Show Log button opens the import log.
TEST(EvernoteExportPanelTest, SkippedNotesAreNamedInTheOutcomeAlert) {
    PanelRun run;
    constexpr qsizetype kTooLarge = 2 * 1024 * 1024;
    const QString file = run.env.writeFile(
        QStringLiteral("Notes.enex"),
        buildENEX({pdfNote(QStringLiteral("Fine")), pdfNote(QStringLiteral("First"), kTooLarge),
                   pdfNote(QStringLiteral("Second"), kTooLarge),
                   pdfNote(QStringLiteral("Third"), kTooLarge),
                   pdfNote(QStringLiteral("Fourth"), kTooLarge)}));
    FileSizeLimit limit(1024 * 1024);
    run.alerts.answer(QStringLiteral("Imported"), QStringLiteral("Show Log"));
    run.panel.showSheetOnWindow(&run.window, QUrl::fromLocalFile(file));
    ASSERT_TRUE(run.waitForOutcome());
    ASSERT_TRUE(runEventLoopUntil([&] { return !run.opened.isEmpty(); }));

    ASSERT_EQ(run.alerts.alerts.size(), 1);
    const AlertWatcher::Alert& alert = run.alerts.alerts[0];
    EXPECT_EQ(alert.text, QStringLiteral("Imported 1 of 5 notes into %1.").arg(run.library()));
    EXPECT_TRUE(alert.informativeText.contains(
        QStringLiteral("4 notes were skipped; the reasons are in the import log %1.")
            .arg(run.log())))
        << alert.informativeText.toStdString();
    for (const char* title : {"First", "Second", "Third"})
        EXPECT_TRUE(alert.informativeText.contains(
            QStringLiteral("“%1” was skipped: ").arg(QLatin1String(title))))
            << title;
    EXPECT_FALSE(alert.informativeText.contains(QStringLiteral("“Fourth”")));
    EXPECT_TRUE(alert.informativeText.endsWith(QStringLiteral("and 1 more.")));
    EXPECT_TRUE(alert.buttons.contains(QStringLiteral("Show Library")));
    EXPECT_EQ(run.opened, QList<QUrl>{QUrl::fromLocalFile(run.log())});
}

// Leaving the window during an import cancels it without an alert to read.
TEST(EvernoteExportPanelTest, NoOutcomeAlertWhenTheWindowAsksForNone) {
    PanelRun run;
    run.alerts.setAnswering(false);  // an alert shown would stay open
    run.panel.setShowsOutcomeAlert(false);
    const QString file = run.env.writeFile(QStringLiteral("Notes.enex"), buildENEX(textNotes(2)));
    run.panel.showSheetOnWindow(&run.window, QUrl::fromLocalFile(file));
    ASSERT_TRUE(run.waitForEnd());
    EXPECT_EQ(run.panel.outcomeAlert(), nullptr);
}

// "Save Report…" in the outcome alert writes the run's report of every note,
// skipped ones included, where the user chooses; a place that cannot take it
// is an error alert, not a silent nothing.
TEST(EvernoteExportPanelTest, SaveReportWritesALinePerNoteWhereTheUserChooses) {
    PanelRun run;
    const QString file =
        run.env.writeFile(QStringLiteral("Notes.enex"),
                          buildENEX({pdfNote(QStringLiteral("Fine")),
                                     pdfNote(QStringLiteral("Broken"), 2 * 1024 * 1024)}));
    const QString reportPath = run.env.path(QStringLiteral("chosen/report.jsonl"));
    QDir().mkpath(run.env.path(QStringLiteral("chosen")));
    QStringList saved;
    QObject::connect(&run.panel, &EvernoteExportPanel::reportSaved,
                     [&](const QString& path) { saved << path; });
    QList<QWidget*> parents;
    run.panel.setReportPathChooser([&](QWidget* parent) {
        parents << parent;
        return reportPath;
    });
    run.alerts.answer(QStringLiteral("Imported"), QStringLiteral("Save Report…"));
    {
        FileSizeLimit limit(1024 * 1024);
        run.panel.showSheetOnWindow(&run.window, QUrl::fromLocalFile(file));
        ASSERT_TRUE(run.waitForOutcome());
    }
    ASSERT_TRUE(runEventLoopUntil([&] { return !saved.isEmpty(); }));
    EXPECT_EQ(saved, QStringList{reportPath});
    EXPECT_EQ(parents, QList<QWidget*>{&run.window});
    QFile report(reportPath);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = report.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("\"outcome\":\"imported\"")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("\"outcome\":\"skipped\"")) << lines[1].toStdString();

    // The report stays with the run: saving it again where no folder is fails with an alert.
    ASSERT_NE(run.panel.currentOperation(), nullptr);
    const auto kept = run.panel.currentOperation()->noteReport();
    ASSERT_NE(kept, nullptr);
    run.panel.setReportPathChooser(
        [&](QWidget*) { return run.env.path(QStringLiteral("gone/report.jsonl")); });
    const qsizetype before = run.alerts.alerts.size();
    EXPECT_FALSE(run.panel.saveReport(*kept, &run.window));
    ASSERT_EQ(run.alerts.alerts.size(), before + 1);
    EXPECT_EQ(run.alerts.alerts.last().text, QStringLiteral("The report could not be saved."));
    EXPECT_TRUE(run.alerts.alerts.last().informativeText.contains(QStringLiteral("gone")));
}
