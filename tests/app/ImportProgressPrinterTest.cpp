#include <gtest/gtest.h>

#include <QTextStream>
#include <QUrl>

#include "app/ImportProgressPrinter.h"
#include "platform/foundation/Localization.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct PrinterRun {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
    qint64 now = 0;
    ImportProgressPrinter printer;

    explicit PrinterRun(bool isTerminal)
        : printer(outStream, errStream, isTerminal, {}, [this] { return now; }) {}

    // Announces a file of `total` notes, then finishes them at `notesPerSecond`.
    void importNotes(unsigned long total, unsigned long notesPerSecond) {
        printer.exportOperationWillExportRecordsFromFileAtURL(
            nullptr, total, QUrl::fromLocalFile(QStringLiteral("/x/Big.enex")));
        for (unsigned long i = 0; i < total; ++i) {
            now += 1000 / notesPerSecond;
            printer.exportOperationDidExportRecord(nullptr);
        }
        printer.exportOperationDidEnd(nullptr);
    }
};

}  // namespace

TEST(ImportProgressPrinterTest, PlainLinesShowTheRateAndTheTimeLeft) {
    setLocalizationLanguage(QStringLiteral("en"));
    PrinterRun run(false);
    run.importNotes(5000, 100);
    // 50 seconds at 100 notes a second: at a tenth, 45 seconds are left.
    EXPECT_TRUE(run.out.contains(
        QStringLiteral("500 of 5000 notes exported, 100 notes/sec, 45 seconds remaining")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(
        QStringLiteral("2500 of 5000 notes exported, 100 notes/sec, 25 seconds remaining")));
    // Done: the rate, no time left.
    EXPECT_TRUE(run.out.contains(QStringLiteral("5000 of 5000 notes exported, 100 notes/sec\n")));
    EXPECT_EQ(run.out.count(u'\n'), 11);  // the announcement and one line per tenth
    EXPECT_EQ(run.printer.outcome(), ImportProgressPrinter::Outcome::Ended);
}

TEST(ImportProgressPrinterTest, TerminalBarShowsTheRateOnceASecondHasPassed) {
    PrinterRun run(true);
    run.importNotes(5000, 4);  // a slow import: 4 notes a second
    const QString early = QStringLiteral("] 3 of 5000 notes exported\x1b[K");
    EXPECT_TRUE(run.out.contains(early)) << "no rate before a second has passed";
    EXPECT_TRUE(run.out.contains(
        QStringLiteral("] 8 of 5000 notes exported, 4.0 notes/sec, 20 minutes remaining")))
        << run.out.right(300).toStdString();
    EXPECT_TRUE(run.out.contains(
        QStringLiteral("] 4996 of 5000 notes exported, 4.0 notes/sec, 1 second remaining")));
}
