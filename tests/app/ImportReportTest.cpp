// The report of `ferrymark import --report FILE`, read back as a script would:
// one JSON object a line, checked against the library's own index.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>

#include "app/ImportCommand.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/RefusingLibrary.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Output {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

TestNote pdfNote(const QString& title, qsizetype bytes = 64) {
    TestNote note{title, QStringLiteral("%MEDIA0%")};
    note.attachments = {{QByteArray(bytes, 'p'), QStringLiteral("application/pdf"),
                         title + QStringLiteral(".pdf")}};
    return note;
}

// A note with its text, one image it shows and one attachment its text does
// not show (added at the end, with a warning).
TestNote noteWithStrayAttachment() {
    TestNote note{QStringLiteral("Text"), QStringLiteral("<div>words</div>%MEDIA0%")};
    note.updated = QStringLiteral("20140102T030405Z");
    note.attachments = {
        {QByteArray(100, 'i'), QStringLiteral("image/png"), QStringLiteral("a.png")},
        {QByteArray(30, 's'), QStringLiteral("application/zip"), QStringLiteral("stray.zip")}};
    return note;
}

TestNote webClip() {
    TestNote note{QStringLiteral("Clip"), QStringLiteral("<div>clipped <b>page</b></div>")};
    note.source = QStringLiteral("web.clip");
    note.sourceURL = QStringLiteral("https://example.com/page");
    return note;
}

// Its conversion fails: its attachment is larger than the test lets the process write.
TestNote failingNote() { return pdfNote(QStringLiteral("Broken"), 2 * 1024 * 1024); }

QList<QJsonObject> readReport(const QString& path) {
    QList<QJsonObject> lines;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.isEmpty() || text.endsWith('\n'));
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(document.isObject());
        lines << document.object();
    }
    return lines;
}

// The library index's items: identifier → path.
QHash<QString, QString> libraryIndex(const QString& library) {
    QHash<QString, QString> items;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("report-check"));
        db.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("SELECT identifier, path FROM items")));
        while (query.next()) items.insert(query.value(0).toString(), query.value(1).toString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("report-check"));
    return items;
}

QString text(const QJsonObject& line, const char* key) {
    return line.value(QLatin1String(key)).toString();
}

struct LibraryOverride {
    explicit LibraryOverride(const QString& path) { PelmoraStandIn::setLibraryPathOverride(path); }
    ~LibraryOverride() { PelmoraStandIn::setLibraryPathOverride(QString()); }
};

}  // namespace

// Every note has its line, in document order: what it became, and for an
// item the library took, an identifier and a path that its index holds.
TEST(ImportReportTest, EveryNoteHasALineThatTheLibraryBearsOut) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    LibraryOverride override(library);
    const QString file = env.writeFile(QStringLiteral("Mixed.enex"),
                                       buildENEX({noteWithStrayAttachment(), failingNote(),
                                                  pdfNote(QStringLiteral("Paper")), webClip()}));
    const QString reportPath = env.path(QStringLiteral("report.jsonl"));
    Output o;
    {
        FileSizeLimit limit(1024 * 1024);
        EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library,
                                    QStringLiteral("--report"), reportPath},
                                   o.outStream, o.errStream),
                  3)
            << o.err.toStdString();
    }
    EXPECT_TRUE(o.out.contains(QStringLiteral("is in ") + reportPath)) << o.out.toStdString();
    const QList<QJsonObject> lines = readReport(reportPath);
    ASSERT_EQ(lines.size(), 4);
    const QStringList titles{QStringLiteral("Text"), QStringLiteral("Broken"),
                             QStringLiteral("Paper"), QStringLiteral("Clip")};
    const QStringList outcomes{QStringLiteral("imported"), QStringLiteral("skipped"),
                               QStringLiteral("imported"), QStringLiteral("imported")};
    const QStringList kinds{QStringLiteral("note"), QString(), QStringLiteral("attachment"),
                            QStringLiteral("web archive")};
    const QHash<QString, QString> index = libraryIndex(library);
    int imported = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject& line = lines[i];
        SCOPED_TRACE(titles[i].toStdString());
        EXPECT_EQ(text(line, "file"), file);
        EXPECT_EQ(text(line, "notebook"), QStringLiteral("Mixed"));
        EXPECT_EQ(line.value(QStringLiteral("index")).toInt(), i + 1);
        EXPECT_EQ(text(line, "title"), titles[i]);
        EXPECT_EQ(text(line, "created"), QStringLiteral("2013-07-30T20:52:04Z"));
        EXPECT_EQ(text(line, "outcome"), outcomes[i]);
        EXPECT_EQ(text(line, "kind"), kinds[i]);
        if (outcomes[i] == QStringLiteral("imported")) {
            ++imported;
            const QString identifier = text(line, "identifier");
            ASSERT_TRUE(index.contains(identifier)) << identifier.toStdString();
            EXPECT_EQ(index.value(identifier), text(line, "path"));
            EXPECT_TRUE(QFileInfo::exists(text(line, "path")));
            EXPECT_TRUE(text(line, "path").startsWith(library + QStringLiteral("/Mixed/")));
            EXPECT_TRUE(line.value(QStringLiteral("error")).isNull());
        } else {
            EXPECT_TRUE(line.value(QStringLiteral("identifier")).isNull());
            EXPECT_TRUE(line.value(QStringLiteral("path")).isNull());
            const QJsonObject error = line.value(QStringLiteral("error")).toObject();
            EXPECT_FALSE(text(error, "domain").isEmpty());
            EXPECT_NE(error.value(QStringLiteral("code")).toInteger(), 0);
            EXPECT_FALSE(text(error, "message").isEmpty());
        }
    }
    EXPECT_EQ(imported, index.size());

    // The counts are the note's own attachments, decoded.
    const auto attachments = [&](int i, const char* key) {
        return lines[i].value(QStringLiteral("attachments")).toObject().value(QLatin1String(key));
    };
    EXPECT_EQ(attachments(0, "count").toInt(), 2);
    EXPECT_EQ(attachments(0, "bytes").toInteger(), 130);
    EXPECT_EQ(attachments(1, "count").toInt(), 1);
    EXPECT_EQ(attachments(2, "count").toInt(), 1);
    EXPECT_EQ(attachments(2, "bytes").toInteger(), 64);
    EXPECT_EQ(attachments(3, "count").toInt(), 0);
    EXPECT_EQ(text(lines[0], "updated"), QStringLiteral("2014-01-02T03:04:05Z"));
    EXPECT_TRUE(lines[2].value(QStringLiteral("updated")).isNull());
    // The stray attachment is named among the first note's warnings, and only there.
    const QJsonArray warnings = lines[0].value(QStringLiteral("warnings")).toArray();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].toString().contains(QStringLiteral("\"stray.zip\"")));
    for (int i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].value(QStringLiteral("warnings")).toArray().isEmpty());

    // Python's json module, as a script would read it, agrees line by line.
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) return;
    QProcess check;
    check.start(python,
                {QStringLiteral("-c"),
                 QStringLiteral("import json,sys\n"
                                "rows=[json.loads(l) for l in open(sys.argv[1],encoding='utf-8')]\n"
                                "assert all(isinstance(r,dict) for r in rows)\n"
                                "print(len(rows), sum(r['outcome']=='imported' for r in rows),"
                                " rows[0]['attachments']['bytes'])\n"),
                 reportPath});
    ASSERT_TRUE(check.waitForFinished(-1));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    EXPECT_EQ(check.readAllStandardOutput().trimmed(), QByteArray("4 3 130"));
}

// A report that cannot be written is an error before any note converts:
// nothing reaches the library, and the run exits 1.
TEST(ImportReportTest, AReportPathThatCannotBeWrittenStopsTheRunBeforeItStarts) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    LibraryOverride override(library);
    const QString file =
        env.writeFile(QStringLiteral("Notes.enex"), buildENEX({pdfNote(QStringLiteral("One"))}));
    QDir().mkpath(env.path(QStringLiteral("a folder")));
    for (const QString& report :
         {env.path(QStringLiteral("missing/report.jsonl")), env.path(QStringLiteral("a folder"))}) {
        SCOPED_TRACE(report.toStdString());
        Output o;
        EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library,
                                    QStringLiteral("--report"), report},
                                   o.outStream, o.errStream),
                  1);
        EXPECT_FALSE(QFile::exists(library + QStringLiteral("/Library.sqlite")));
        EXPECT_FALSE(o.out.contains(QStringLiteral("notes exported")));
    }
    EXPECT_FALSE(QFileInfo::exists(env.path(QStringLiteral("missing"))));
}

// With --recover, a note lost to damage has its "damaged" line in its place,
// between the notes read before and after it.
TEST(ImportReportTest, ANoteLostToDamageHasADamagedLineInItsPlace) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    LibraryOverride override(library);
    QByteArray enex = buildENEX({pdfNote(QStringLiteral("One")), pdfNote(QStringLiteral("Two")),
                                 pdfNote(QStringLiteral("Three"))});
    enex.replace("<title>Two</title>", "<title>Two</title><created>x</wrong>");
    const QString file = env.writeFile(QStringLiteral("Damaged.enex"), enex);
    const QString reportPath = env.path(QStringLiteral("report.jsonl"));
    Output o;
    EXPECT_EQ(
        runImportCommand({file, QStringLiteral("--library"), library, QStringLiteral("--recover"),
                          QStringLiteral("--report"), reportPath},
                         o.outStream, o.errStream),
        3)
        << o.err.toStdString();
    UserDefaults::standard().setVolatileValue(PlistValue(), QStringLiteral("RecoverDamagedNotes"));
    const QList<QJsonObject> lines = readReport(reportPath);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(text(lines[0], "outcome"), QStringLiteral("imported"));
    EXPECT_EQ(text(lines[1], "outcome"), QStringLiteral("damaged"));
    EXPECT_EQ(text(lines[2], "outcome"), QStringLiteral("imported"));
    EXPECT_EQ(text(lines[1], "title"), QStringLiteral("Two"));
    EXPECT_EQ(lines[1].value(QStringLiteral("index")).toInt(), 2);
    EXPECT_EQ(lines[2].value(QStringLiteral("index")).toInt(), 3);
    EXPECT_TRUE(lines[1].value(QStringLiteral("path")).isNull());
    const QJsonObject error = lines[1].value(QStringLiteral("error")).toObject();
    EXPECT_EQ(text(error, "domain"), QStringLiteral("EvernoteXMLParseOperationErrorDomain"));
    EXPECT_EQ(error.value(QStringLiteral("code")).toInt(), 1007);
    EXPECT_TRUE(text(error, "message").contains(QStringLiteral("Damaged Notes")))
        << text(error, "message").toStdString();
}

// A note the library refuses is "refused", with the library's reason, and no library path.
TEST(ImportReportTest, ARefusedItemHasARefusedLine) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    LibraryOverride override(library);
    ASSERT_TRUE(makeLibraryThatRefusesItem(library, QStringLiteral("Refused"),
                                           QStringLiteral("database or disk is full")));
    const QString file = env.writeFile(
        QStringLiteral("Notes.enex"),
        buildENEX({pdfNote(QStringLiteral("Taken")), pdfNote(QStringLiteral("Refused"))}));
    const QString reportPath = env.path(QStringLiteral("report.jsonl"));
    Output o;
    EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library,
                                QStringLiteral("--report"), reportPath},
                               o.outStream, o.errStream),
              3);
    const QList<QJsonObject> lines = readReport(reportPath);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(text(lines[0], "outcome"), QStringLiteral("imported"));
    EXPECT_EQ(text(lines[1], "outcome"), QStringLiteral("refused"));
    EXPECT_TRUE(lines[1].value(QStringLiteral("path")).isNull());
    EXPECT_FALSE(text(lines[1], "identifier").isEmpty());
    EXPECT_TRUE(text(lines[1].value(QStringLiteral("error")).toObject(), "message")
                    .contains(QStringLiteral("database or disk is full")));
}

// A note read only after its XML was repaired is imported, and its line says so.
TEST(ImportReportTest, ARepairedNoteIsImportedWithAWarning) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    LibraryOverride override(library);
    const QString file = env.writeFile(
        QStringLiteral("Repaired.enex"),
        buildENEX({{QStringLiteral("A"), QStringLiteral("<div>a</div>")},
                   {QStringLiteral("B"), QStringLiteral("<div>a]]<![CDATA[>]]>b</div>")},
                   {QStringLiteral("C"), QStringLiteral("<div>c</div>")}}));
    const QString reportPath = env.path(QStringLiteral("report.jsonl"));
    Output o;
    EXPECT_EQ(
        runImportCommand({file, QStringLiteral("--library"), library, QStringLiteral("--recover"),
                          QStringLiteral("--report"), reportPath},
                         o.outStream, o.errStream),
        3);
    UserDefaults::standard().setVolatileValue(PlistValue(), QStringLiteral("RecoverDamagedNotes"));
    const QList<QJsonObject> lines = readReport(reportPath);
    ASSERT_EQ(lines.size(), 3);
    for (const QJsonObject& line : lines)
        EXPECT_EQ(text(line, "outcome"), QStringLiteral("imported"))
            << text(line, "title").toStdString();
    const QJsonArray warnings = lines[1].value(QStringLiteral("warnings")).toArray();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].toString().contains(QStringLiteral("repaired")));
    EXPECT_TRUE(lines[0].value(QStringLiteral("warnings")).toArray().isEmpty());
    EXPECT_TRUE(lines[2].value(QStringLiteral("warnings")).toArray().isEmpty());
}

// A second import of the same file reports every note as a duplicate, in its
// place, with the item and file the first import gave it.
TEST(ImportReportTest, ANoteImportedBeforeIsADuplicateOfItsItem) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    LibraryOverride override(library);
    const QString file =
        env.writeFile(QStringLiteral("Twice.enex"),
                      buildENEX({noteWithStrayAttachment(), pdfNote(QStringLiteral("Paper"))}));
    QList<QJsonObject> reports[2];
    for (int run = 0; run < 2; ++run) {
        const QString reportPath = env.path(QStringLiteral("report%1.jsonl").arg(run));
        Output o;
        EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library,
                                    QStringLiteral("--report"), reportPath},
                                   o.outStream, o.errStream),
                  0)
            << o.err.toStdString() << o.out.toStdString();
        reports[run] = readReport(reportPath);
        ASSERT_EQ(reports[run].size(), 2);
    }
    const QHash<QString, QString> index = libraryIndex(library);
    EXPECT_EQ(index.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject& first = reports[0][i];
        const QJsonObject& again = reports[1][i];
        EXPECT_EQ(text(first, "outcome"), QStringLiteral("imported"));
        EXPECT_EQ(text(again, "outcome"), QStringLiteral("duplicate"));
        EXPECT_EQ(text(again, "title"), text(first, "title"));
        EXPECT_EQ(again.value(QStringLiteral("index")), first.value(QStringLiteral("index")));
        EXPECT_EQ(text(again, "identifier"), text(first, "identifier"));
        EXPECT_EQ(text(again, "path"), text(first, "path"));
        EXPECT_EQ(index.value(text(again, "identifier")), text(again, "path"));
        EXPECT_EQ(text(again, "created"), text(first, "created"));
        EXPECT_TRUE(again.value(QStringLiteral("error")).isNull());
    }
    EXPECT_EQ(reports[1][0].value(QStringLiteral("attachments")).toObject().value("count"), 2);
}
