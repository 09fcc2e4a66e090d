// Importing into a library that already holds notes: a note the library held
// before the run began (the same fingerprint) is left out as a duplicate and
// named with the item that holds it; a note changed since is a new item whose
// log line names the older one; notes of one run never count as duplicates of
// each other; allowing duplicates imports everything. The library's index
// lists exactly its files whatever the runs did.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/LibraryReader.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct ImportRun {
    std::shared_ptr<EvernoteXMLFileExportOperation> operation;
    QStringList calls;
    int exported = 0;
    Error error;
    QStringList filesBeforePelmora;  // the staging folder's files when the description was done
};

// Several runs into one library of one hermetic environment.
struct LibraryRuns {
    TestEnvironment env;
    QString library = env.path(QStringLiteral("library"));

    LibraryRuns() { PelmoraStandIn::setLibraryPathOverride(library); }
    ~LibraryRuns() { PelmoraStandIn::setLibraryPathOverride(QString()); }

    ImportRun run(const QString& fileName, const QByteArray& enex, bool allowDuplicates = false) {
        ImportRun run;
        run.operation = std::make_shared<EvernoteXMLFileExportOperation>();
        run.operation->setAllowsDuplicates(allowDuplicates);
        const QString file = env.writeFile(fileName, enex);
        run.operation->setExportFileURL(QUrl::fromLocalFile(file));
        EvernoteXMLFileExportOperation* operation = run.operation.get();
        run.operation->setDescriptionObserver([&run, operation](const QString&) {
            QDirIterator it(operation->filesPath(), QDir::Files | QDir::Hidden,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) run.filesBeforePelmora << QFileInfo(it.next()).fileName();
        });
        RecordingDelegate delegate;
        run.operation->setDelegate(&delegate);
        OperationQueue queue;
        queue.addOperation(run.operation);
        EXPECT_TRUE(runEventLoopUntil([&] { return delegate.ended.load(); }, 120000));
        queue.waitUntilAllOperationsAreFinished();
        run.operation->setDelegate(nullptr);
        run.calls = delegate.calls;
        run.exported = delegate.exported;
        run.error = delegate.error;
        return run;
    }

    QList<LibraryItem> items() const {
        QString error;
        const auto items = readLibrary(library, &error);
        EXPECT_TRUE(items) << error.toStdString();
        return items.value_or(QList<LibraryItem>());
    }

    // Every file and package in the library's group folders, by path.
    QSet<QString> filesInLibrary() const {
        QSet<QString> files;
        for (const QFileInfo& group :
             QDir(library).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QFileInfo& entry :
                 QDir(group.filePath())
                     .entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
                files << entry.absoluteFilePath();
        return files;
    }
    QSet<QString> filesListed() const {
        QSet<QString> files;
        for (const LibraryItem& item : items()) files << QFileInfo(item.path).absoluteFilePath();
        return files;
    }

    QString log() const {
        QFile f(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

TestNote attachmentNote(const QString& title, const QByteArray& bytes) {
    TestNote note{title, QStringLiteral("<div>%MEDIA0%</div>")};
    note.attachments = {{bytes, QStringLiteral("application/pdf"), title + QStringLiteral(".pdf")}};
    return note;
}

QList<TestNote> threeNotes() {
    TestNote text{QStringLiteral("Plain"),
                  QStringLiteral("<div>Some <b>words</b></div><div>more</div>")};
    TestNote other{QStringLiteral("Other"), QStringLiteral("<div>other</div>")};
    other.created = QStringLiteral("20200101T101010Z");
    return {text, other, attachmentNote(QStringLiteral("Scan"), "%PDF scanned bytes")};
}

// The identifiers the library's index gives its items, by name.
QHash<QString, QString> identifiersByName(const QString& library) {
    QHash<QString, QString> ids;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ids"));
        db.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
        EXPECT_TRUE(db.open());
        QSqlQuery q(QStringLiteral("SELECT name, identifier FROM items"), db);
        while (q.next()) ids.insert(q.value(0).toString(), q.value(1).toString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ids"));
    return ids;
}

}  // namespace

// The second import of one file adds nothing: every note is a duplicate named
// with the item that holds it, its attachment files are gone before the
// library is asked, the run ends as a success, and the index still lists one
// item per note and every file of the library.
TEST(DuplicateImportTest, SecondImportOfTheSameFileAddsNothing) {
    LibraryRuns runs;
    const QByteArray enex = buildENEX(threeNotes());
    const ImportRun first = runs.run(QStringLiteral("Book.enex"), enex);
    ASSERT_EQ(first.calls.last(), QStringLiteral("end")) << first.error.description().toStdString();
    ASSERT_EQ(first.operation->importResult().taken, 3);
    EXPECT_TRUE(first.operation->duplicateNotes().isEmpty());
    const QHash<QString, QString> ids = identifiersByName(runs.library);

    const ImportRun second = runs.run(QStringLiteral("Book.enex"), enex);
    ASSERT_EQ(second.calls.last(), QStringLiteral("end"))
        << second.error.description().toStdString();
    EXPECT_EQ(second.operation->importResult().taken, 0);
    EXPECT_TRUE(second.operation->importResult().refused.isEmpty());
    EXPECT_EQ(second.exported, 3);  // duplicates still advance the progress
    EXPECT_TRUE(second.operation->skippedNotes().isEmpty());
    const auto duplicates = second.operation->duplicateNotes();
    ASSERT_EQ(duplicates.size(), 3);
    EXPECT_EQ(duplicates[0].title, QStringLiteral("Plain"));
    EXPECT_EQ(duplicates[2].title, QStringLiteral("Scan"));
    for (const auto& duplicate : duplicates) {
        EXPECT_EQ(duplicate.identifier, ids.value(duplicate.title))
            << duplicate.title.toStdString();
        EXPECT_TRUE(QFile::exists(duplicate.path)) << duplicate.path.toStdString();
    }
    // The attachment was decoded while the note was read, and removed with it.
    EXPECT_FALSE(second.filesBeforePelmora.contains(QStringLiteral("Scan.pdf")))
        << second.filesBeforePelmora.join(u' ').toStdString();
    EXPECT_TRUE(runs.log().contains(QStringLiteral("Duplicate, not imported: \"Scan\"")));

    EXPECT_EQ(runs.items().size(), 3);
    EXPECT_EQ(runs.filesInLibrary(), runs.filesListed());
}

// Indentation and other white space between tags, in the ENML and in the
// ENEX around it, do not make a note new.
TEST(DuplicateImportTest, IndentedCopyOfANoteIsADuplicate) {
    LibraryRuns runs;
    ASSERT_EQ(runs.run(QStringLiteral("Book.enex"), buildENEX(threeNotes())).calls.last(),
              QStringLiteral("end"));
    QList<TestNote> indented = threeNotes();
    indented[0].enml = QStringLiteral("\n  <div>Some <b>words</b></div>\n\t<div>more</div>\n");
    indented[0].title = QStringLiteral("  Plain\n");
    QByteArray enex = buildENEX(indented);
    enex.replace("<note>", "\n    <note>\n      ");
    enex.replace("</title>", "</title>\n      ");
    const ImportRun second = runs.run(QStringLiteral("Book.enex"), enex);
    ASSERT_EQ(second.calls.last(), QStringLiteral("end"));
    EXPECT_EQ(second.operation->importResult().taken, 0);
    EXPECT_EQ(second.operation->duplicateNotes().size(), 3);
    EXPECT_EQ(runs.items().size(), 3);
}

// A note whose title and creation date match an item but whose content does
// not is the same note changed: a new item, and the log names the older one.
// A changed attachment counts as changed content.
TEST(DuplicateImportTest, ChangedNoteIsANewItemAndTheLogNamesTheOlder) {
    LibraryRuns runs;
    ASSERT_EQ(runs.run(QStringLiteral("Book.enex"), buildENEX(threeNotes())).calls.last(),
              QStringLiteral("end"));
    const QHash<QString, QString> ids = identifiersByName(runs.library);
    QList<TestNote> changed = threeNotes();
    changed[0].enml = QStringLiteral("<div>Some <b>other words</b></div><div>more</div>");
    changed[2] = attachmentNote(QStringLiteral("Scan"), "%PDF scanned again");
    const ImportRun second = runs.run(QStringLiteral("Book.enex"), buildENEX(changed));
    ASSERT_EQ(second.calls.last(), QStringLiteral("end"));
    EXPECT_EQ(second.operation->importResult().taken, 2);
    ASSERT_EQ(second.operation->duplicateNotes().size(), 1);
    EXPECT_EQ(second.operation->duplicateNotes().first().title, QStringLiteral("Other"));
    const QString log = runs.log();
    for (const QString& title : {QStringLiteral("Plain"), QStringLiteral("Scan")})
        EXPECT_TRUE(log.contains(QStringLiteral("Imported as a new item: \"%1\" has changed since "
                                                "it was imported as item %2")
                                     .arg(title, ids.value(title))))
            << title.toStdString() << "\n"
            << log.toStdString();
    EXPECT_EQ(runs.items().size(), 5);
    EXPECT_EQ(runs.filesInLibrary(), runs.filesListed());
}

// Two identical notes of one export are two items; imported again, both are
// duplicates (of the first item that holds them).
TEST(DuplicateImportTest, IdenticalNotesOfOneFileAreTwoItems) {
    LibraryRuns runs;
    const TestNote note{QStringLiteral("Twice"), QStringLiteral("<div>same</div>")};
    const QByteArray enex = buildENEX({note, note});
    const ImportRun first = runs.run(QStringLiteral("Book.enex"), enex);
    ASSERT_EQ(first.calls.last(), QStringLiteral("end"));
    EXPECT_EQ(first.operation->importResult().taken, 2);
    EXPECT_TRUE(first.operation->duplicateNotes().isEmpty());
    EXPECT_EQ(runs.items().size(), 2);

    const ImportRun second = runs.run(QStringLiteral("Book.enex"), enex);
    EXPECT_EQ(second.operation->importResult().taken, 0);
    const auto duplicates = second.operation->duplicateNotes();
    ASSERT_EQ(duplicates.size(), 2);
    EXPECT_EQ(duplicates[0].identifier, duplicates[1].identifier);
    EXPECT_EQ(runs.items().size(), 2);
}

// Allowing duplicates imports every note again, as new items beside the old.
TEST(DuplicateImportTest, AllowingDuplicatesImportsEverything) {
    LibraryRuns runs;
    const QByteArray enex = buildENEX(threeNotes());
    ASSERT_EQ(runs.run(QStringLiteral("Book.enex"), enex).calls.last(), QStringLiteral("end"));
    const ImportRun again = runs.run(QStringLiteral("Book.enex"), enex, true);
    ASSERT_EQ(again.calls.last(), QStringLiteral("end"));
    EXPECT_EQ(again.operation->importResult().taken, 3);
    EXPECT_TRUE(again.operation->duplicateNotes().isEmpty());
    EXPECT_EQ(runs.items().size(), 6);
    EXPECT_EQ(runs.filesInLibrary(), runs.filesListed());
}

// A library index that cannot be used ends the run with its error before any
// note converts: nothing is imported, and no note is counted.
TEST(DuplicateImportTest, UnusableIndexEndsTheRunBeforeAnyNote) {
    LibraryRuns runs;
    QDir().mkpath(runs.library);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
        db.setDatabaseName(runs.library + QStringLiteral("/Library.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE items (identifier TEXT PRIMARY KEY)")));
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA user_version = 99")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    const ImportRun newer = runs.run(QStringLiteral("Book.enex"), buildENEX(threeNotes()));
    ASSERT_EQ(newer.calls.last(), QStringLiteral("error 10008"));
    ASSERT_NE(newer.error.underlyingError(), nullptr);
    EXPECT_EQ(newer.error.underlyingError()->domain(), QStringLiteral("PelmoraStandInErrorDomain"));
    EXPECT_EQ(newer.error.underlyingError()->code(), 7);
    EXPECT_TRUE(newer.error.localizedDescription().contains(QStringLiteral("newer version")))
        << newer.error.localizedDescription().toStdString();
    EXPECT_EQ(newer.exported, 0);

    QFile::remove(runs.library + QStringLiteral("/Library.sqlite"));
    runs.env.writeFile(QStringLiteral("library/Library.sqlite"),
                       QByteArray("this is no database, only text that stands in its place"));
    const ImportRun damaged = runs.run(QStringLiteral("Book.enex"), buildENEX(threeNotes()));
    ASSERT_EQ(damaged.calls.last(), QStringLiteral("error 10008"));
    ASSERT_NE(damaged.error.underlyingError(), nullptr);
    EXPECT_EQ(damaged.error.underlyingError()->code(), 3);
    EXPECT_EQ(damaged.exported, 0);
    EXPECT_TRUE(runs.filesInLibrary().isEmpty());
}
