#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "enex/EvernoteXMLResource.h"
#include "import/NoteReport.h"
#include "tests/support/TestEnvironment.h"

namespace {

NoteReport::Entry entry(int source, unsigned long index, const QString& title) {
    NoteReport::Entry e;
    e.source = source;
    e.index = index;
    e.title = title;
    e.identifier = title.toUpper();
    e.itemType = EvernoteItemTypeNote;
    return e;
}

QList<QJsonObject> linesOf(const QByteArray& text) {
    QList<QJsonObject> lines;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        lines << document.object();
    }
    return lines;
}

}  // namespace

// A note lost to damage is met before the notes ahead of it have converted:
// the report still lists every file's notes in document order.
TEST(NoteReportTest, LinesFollowTheFilesAndThePlacesInThemWhateverOrderTheyCameIn) {
    NoteReport report;
    const int first = report.addSource(QStringLiteral("/a.enex"), QStringLiteral("a"));
    const int second = report.addSource(QStringLiteral("/b.enex"), QStringLiteral("b"));
    report.addEntry(entry(first, 2, QStringLiteral("a3")));
    report.addEntry(entry(second, 0, QStringLiteral("b1")));
    report.addEntry(entry(first, 0, QStringLiteral("a1")));
    report.addEntry(entry(first, 1, QStringLiteral("a2")));
    const QList<QJsonObject> lines = linesOf(report.jsonLines());
    ASSERT_EQ(lines.size(), 4);
    QStringList titles;
    for (const QJsonObject& line : lines) titles << line.value(QStringLiteral("title")).toString();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3"),
                                   QStringLiteral("b1")}));
    EXPECT_EQ(lines[0].value(QStringLiteral("index")).toInt(), 1);  // counted from 1
    EXPECT_EQ(lines[3].value(QStringLiteral("file")).toString(), QStringLiteral("/b.enex"));
    EXPECT_EQ(lines[3].value(QStringLiteral("notebook")).toString(), QStringLiteral("b"));
}

// The library's answer: a taken item gets the path it was filed at, a refused
// one turns "refused" with the reason; a note already left out keeps its outcome.
TEST(NoteReportTest, ImportResultGivesPathsAndRefusals) {
    NoteReport report;
    const int source = report.addSource(QStringLiteral("/n.enex"), QStringLiteral("n"));
    report.addEntry(entry(source, 0, QStringLiteral("taken")));
    report.addEntry(entry(source, 1, QStringLiteral("refused")));
    NoteReport::Entry skipped = entry(source, 2, QStringLiteral("skipped"));
    skipped.outcome = NoteReport::Outcome::Skipped;
    skipped.identifier.clear();
    skipped.itemType = 0;
    skipped.error = Error(QStringLiteral("D"), 7, QStringLiteral("why"));
    report.addEntry(skipped);
    PelmoraImportResult result;
    result.taken = 1;
    result.libraryPaths.insert(QStringLiteral("TAKEN"), QStringLiteral("/lib/n/taken.pmnote"));
    result.refused.append({QStringLiteral("REFUSED"), QStringLiteral("refused"),
                           QStringLiteral("/tmp/Evernote/n/refused.pmnote"),
                           QStringLiteral("disk full")});
    report.applyImportResult(result);
    const QList<QJsonObject> lines = linesOf(report.jsonLines());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("imported"));
    EXPECT_EQ(lines[0].value(QStringLiteral("path")).toString(),
              QStringLiteral("/lib/n/taken.pmnote"));
    EXPECT_TRUE(lines[0].value(QStringLiteral("error")).isNull());
    EXPECT_EQ(lines[1].value(QStringLiteral("outcome")).toString(), QStringLiteral("refused"));
    EXPECT_TRUE(lines[1].value(QStringLiteral("path")).isNull());
    const QJsonObject refusal = lines[1].value(QStringLiteral("error")).toObject();
    EXPECT_EQ(refusal.value(QStringLiteral("domain")).toString(), kNoteReportErrorDomain);
    EXPECT_EQ(refusal.value(QStringLiteral("code")).toInt(), NoteReportItemRefused);
    EXPECT_TRUE(
        refusal.value(QStringLiteral("message")).toString().contains(QStringLiteral("disk full")));
    EXPECT_TRUE(refusal.value(QStringLiteral("message"))
                    .toString()
                    .contains(QStringLiteral("/tmp/Evernote/n/refused.pmnote")));
    EXPECT_EQ(lines[2].value(QStringLiteral("outcome")).toString(), QStringLiteral("skipped"));
    EXPECT_TRUE(lines[2].value(QStringLiteral("kind")).isNull());
    EXPECT_TRUE(lines[2].value(QStringLiteral("identifier")).isNull());
    const QJsonObject error = lines[2].value(QStringLiteral("error")).toObject();
    EXPECT_EQ(error.value(QStringLiteral("domain")).toString(), QStringLiteral("D"));
    EXPECT_EQ(error.value(QStringLiteral("code")).toInt(), 7);
    EXPECT_EQ(error.value(QStringLiteral("message")).toString(), QStringLiteral("why"));
}

// Dates come out in UTC whatever zone the note's date was read in; a note
// without dates has null ones, and every field is on every line.
TEST(NoteReportTest, DatesAreUTCAndMissingValuesAreNull) {
    NoteReport report;
    NoteReport::Entry e =
        entry(report.addSource(QStringLiteral("/f"), QStringLiteral("f")), 0, QStringLiteral("t"));
    e.created = QDateTime(QDate(2024, 1, 31), QTime(14, 0), QTimeZone(3600));
    e.attachments = 2;
    e.attachmentBytes = 5000000000LL;  // beyond 32 bits
    e.warnings = {QStringLiteral("w")};
    report.addEntry(e);
    const QJsonObject line = linesOf(report.jsonLines()).value(0);
    EXPECT_EQ(line.value(QStringLiteral("created")).toString(),
              QStringLiteral("2024-01-31T13:00:00Z"));
    EXPECT_TRUE(line.value(QStringLiteral("updated")).isNull());
    EXPECT_TRUE(line.value(QStringLiteral("path")).isNull());
    EXPECT_EQ(line.value(QStringLiteral("kind")).toString(), QStringLiteral("note"));
    const QJsonObject attachments = line.value(QStringLiteral("attachments")).toObject();
    EXPECT_EQ(attachments.value(QStringLiteral("count")).toInteger(), 2);
    EXPECT_EQ(attachments.value(QStringLiteral("bytes")).toInteger(), 5000000000LL);
    EXPECT_EQ(line.value(QStringLiteral("warnings")).toArray().size(), 1);
    for (const char* key : {"file", "notebook", "index", "title", "created", "updated", "outcome",
                            "kind", "identifier", "path", "attachments", "warnings", "error"})
        EXPECT_TRUE(line.contains(QLatin1String(key))) << key;
}

// The report is written whole over an older one; a path it cannot take is
// named before anything is written, and a failed write leaves the old file.
TEST(NoteReportTest, WritesWholeAndRefusesPathsItCannotTake) {
    TestEnvironment env;
    NoteReport report;
    report.addEntry(
        entry(report.addSource(QStringLiteral("/f"), QStringLiteral("f")), 0, QStringLiteral("t")));
    const QString path = env.writeFile(QStringLiteral("out/report.jsonl"), "old\nlines\n");
    ASSERT_TRUE(NoteReport::checkWritablePath(path));
    ASSERT_TRUE(report.writeToFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), report.jsonLines());
    EXPECT_EQ(QDir(env.path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("report.jsonl")});  // no temporary file left

    Error error;
    EXPECT_FALSE(
        NoteReport::checkWritablePath(env.path(QStringLiteral("missing/r.jsonl")), &error));
    EXPECT_EQ(error.domain(), kNoteReportErrorDomain);
    EXPECT_EQ(error.code(), NoteReportPathNotWritable);
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("missing")));
    EXPECT_FALSE(NoteReport::checkWritablePath(env.path(QStringLiteral("out")), &error));
    EXPECT_FALSE(NoteReport::checkWritablePath(QString(), &error));

    Error writeError;
    EXPECT_FALSE(report.writeToFile(env.path(QStringLiteral("missing/r.jsonl")), &writeError));
    EXPECT_EQ(writeError.code(), NoteReportWriteFailed);
    EXPECT_NE(writeError.underlyingError(), nullptr);
}
