// The stand-in's library index as a query of fingerprints and note keys, its
// layout's version and upgrade, and an index that lists exactly the files of
// the library when an identifier comes twice.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include "platform/apps/PelmoraStandIn.h"
#include "platform/apps/PelmoraStandInLibraryQuery.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Runs `statements` on a fresh connection to `index`; the last SELECT's first
// column of every row comes back.
QStringList runOnIndex(const QString& index, const QStringList& statements) {
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(index);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& statement : statements) {
            EXPECT_TRUE(q.exec(statement)) << statement.toStdString();
            while (q.isSelect() && q.next())
                rows << q.value(0).toString() + u'|' + q.value(q.record().count() - 1).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
    return rows;
}

// A staging folder with one group holding one item per (identifier, file,
// fingerprint[, note key]), and its description; returns the description's
// path. The note key is "key-" and the fingerprint unless given.
QString writeStaging(const TestEnvironment& env, const QString& name,
                     const QList<QStringList>& items) {
    const QString staging = env.path(QStringLiteral("tmp/") + name);
    PlistDictionary group, folders, byIdentifier, entities, description;
    PlistArray members;
    for (const QStringList& fields : items) {
        const QString file =
            env.writeFile(QStringLiteral("tmp/") + name + QStringLiteral("/Book/") + fields[1],
                          "content of " + fields[1].toUtf8());
        PlistDictionary item;
        item.set(QStringLiteral("identifier"), fields[0]);
        item.set(QStringLiteral("name"), fields[1]);
        item.set(QStringLiteral("absoluteFilename"), file);
        item.set(QStringLiteral("evernoteFingerprint"), fields[2]);
        item.set(QStringLiteral("evernoteNoteKey"),
                 fields.size() > 3 ? fields[3] : QStringLiteral("key-") + fields[2]);
        byIdentifier.set(fields[0], item);
        members.append(fields[0]);
    }
    group.set(QStringLiteral("name"), QStringLiteral("Book"));
    group.set(QStringLiteral("identifier"), QStringLiteral("G-") + name);
    group.set(QStringLiteral("items"), members);
    folders.set(QStringLiteral("G-") + name, group);
    entities.set(QStringLiteral("Folder"), folders);
    entities.set(QStringLiteral("Item"), byIdentifier);
    description.set(QStringLiteral("Entities"), entities);
    description.set(QStringLiteral("RemoveFileOnCompletion"), staging);
    const QString path = staging + QStringLiteral("/Evernote.pmlibxml");
    EXPECT_TRUE(PlistValue(description).writeToFile(path, PlistValue::Format::Xml));
    return path;
}

const QString kOldItemsTable = QStringLiteral(
    "CREATE TABLE items (identifier TEXT PRIMARY KEY, group_identifier TEXT, name TEXT, path TEXT, "
    "item_type INTEGER, date_created TEXT, date_modified TEXT, tags TEXT, comments TEXT)");

PelmoraLibraryNote note(const QString& fingerprint, const QString& noteKey) {
    return {fingerprint, noteKey};
}

}  // namespace

// A library without an index holds nothing. After an import, a note is held
// by the item with its fingerprint, else by the earliest item with its note
// key; notes nothing carries are left out.
TEST(LibraryQueryTest, FindsTheItemWithTheFingerprintElseTheNoteKey) {
    TestEnvironment env;
    auto pelmora = PelmoraStandIn::builtIn();
    Error error;
    auto empty = pelmora->openLibraryQuery(&error);
    ASSERT_TRUE(empty) << error.description().toStdString();
    EXPECT_TRUE(empty->holdingsOf({note(QStringLiteral("f1"), QStringLiteral("k"))})->isEmpty());
    EXPECT_FALSE(QFile::exists(pelmora->libraryPath() + QStringLiteral("/Library.sqlite")));

    const auto result = pelmora->importDescription(writeStaging(
        env, QStringLiteral("a"),
        {{QStringLiteral("ONE"), QStringLiteral("one.pdf"), QStringLiteral("f1"),
          QStringLiteral("k")},
         {QStringLiteral("TWO"), QStringLiteral("two.pdf"), QStringLiteral("f2"),
          QStringLiteral("k")},
         {QStringLiteral("THREE"), QStringLiteral("three.pdf"), QStringLiteral("f3")}}));
    ASSERT_EQ(result.taken, 3);
    auto query = pelmora->openLibraryQuery(&error);
    ASSERT_TRUE(query) << error.description().toStdString();
    const auto held = query->holdingsOf({note(QStringLiteral("f2"), QStringLiteral("k")),
                                         note(QStringLiteral("f9"), QStringLiteral("k")),
                                         note(QStringLiteral("f3"), QStringLiteral("key-f3")),
                                         note(QStringLiteral("f4"), QStringLiteral("key-f4")),
                                         note(QStringLiteral("f1"), QString())},
                                        &error);
    ASSERT_TRUE(held) << error.description().toStdString();
    ASSERT_EQ(held->size(), 3);
    const QString library = pelmora->libraryPath();
    EXPECT_EQ(held->value(QStringLiteral("f2")),
              (PelmoraLibraryHolding{
                  {QStringLiteral("TWO"), library + QStringLiteral("/Book/two.pdf")}, true}));
    EXPECT_EQ(held->value(QStringLiteral("f9")),
              (PelmoraLibraryHolding{
                  {QStringLiteral("ONE"), library + QStringLiteral("/Book/one.pdf")}, false}));
    EXPECT_TRUE(held->value(QStringLiteral("f3")).sameFingerprint);

    // An item whose key has another note's head is not that note.
    query.reset();
    const QString index = library + QStringLiteral("/Library.sqlite");
    runOnIndex(index, {QStringLiteral("INSERT INTO items (identifier, path, fingerprint, note_key, "
                                      "note_key_head) VALUES ('ALIAS', '/x', 'f5', 'other', %1)")
                           .arg(PelmoraStandInLibraryQuery::noteKeyHead("key-f5"))});
    query = pelmora->openLibraryQuery(&error);
    ASSERT_TRUE(query) << error.description().toStdString();
    EXPECT_TRUE(
        query->holdingsOf({note(QStringLiteral("f5"), QStringLiteral("key-f5"))})->isEmpty());
}

// A look-up goes through the index of the note key's head, never through
// every item nor a sort, and neither the fingerprint nor the whole key has
// an index to keep up to date.
TEST(LibraryQueryTest, LookUpsUseTheNoteKeyHeadIndexAlone) {
    TestEnvironment env;
    auto pelmora = PelmoraStandIn::builtIn();
    ASSERT_EQ(pelmora
                  ->importDescription(writeStaging(
                      env, QStringLiteral("a"),
                      {{QStringLiteral("ONE"), QStringLiteral("one.pdf"), QStringLiteral("f1")}}))
                  .taken,
              1);
    const QString index = pelmora->libraryPath() + QStringLiteral("/Library.sqlite");
    const QString plan =
        runOnIndex(index, {QStringLiteral("EXPLAIN QUERY PLAN SELECT identifier, path, "
                                          "fingerprint IS 'f' FROM items WHERE note_key_head = "
                                          "1 AND note_key = 'x' ORDER BY rowid")})
            .join(u'\n');
    EXPECT_TRUE(plan.contains(QStringLiteral("INDEX items_note_key_head"))) << plan.toStdString();
    EXPECT_FALSE(plan.contains(QStringLiteral("TEMP B-TREE"))) << plan.toStdString();
    EXPECT_FALSE(plan.contains(QStringLiteral("SCAN items"))) << plan.toStdString();
    EXPECT_EQ(runOnIndex(index, {QStringLiteral("SELECT name FROM sqlite_master WHERE type = "
                                                "'index' AND tbl_name = 'items' ORDER BY name")}),
              (QStringList{QStringLiteral("items_note_key_head|items_note_key_head"),
                           QStringLiteral("sqlite_autoindex_items_1|sqlite_autoindex_items_1")}));
}

// Heads are stored: a change of the hash would make every earlier library
// answer that it holds nothing, and a rerun import every note again.
TEST(LibraryQueryTest, NoteKeyHeadsAreTheKeysFNV1aHash) {
    EXPECT_EQ(PelmoraStandInLibraryQuery::noteKeyHead(""), qint64(0xcbf29ce484222325ULL));
    EXPECT_EQ(PelmoraStandInLibraryQuery::noteKeyHead("a"), qint64(0xaf63dc4c8601ec8cULL));
    EXPECT_EQ(PelmoraStandInLibraryQuery::noteKeyHead("foobar"), qint64(0x85944171f73967e8ULL));
}

// An index made before fingerprints were kept answers that it holds none, and
// ones that indexed fingerprints or whole note keys keep their answers: the
// next import brings each to this layout, and their items stay.
TEST(LibraryQueryTest, OlderIndexesAreUpgradedByTheNextImport) {
    const QString version = QString::number(PelmoraStandInLibraryQuery::kLibraryIndexVersion);
    const QStringList layouts[] = {
        {kOldItemsTable, QStringLiteral("INSERT INTO items (identifier, name, path) "
                                        "VALUES ('OLD', 'old', '/nowhere/old.pdf')")},
        {kOldItemsTable, QStringLiteral("ALTER TABLE items ADD COLUMN fingerprint TEXT"),
         QStringLiteral("ALTER TABLE items ADD COLUMN note_key TEXT"),
         QStringLiteral("CREATE INDEX items_fingerprint ON items (fingerprint)"),
         QStringLiteral("CREATE INDEX items_note_key ON items (note_key)"),
         QStringLiteral("INSERT INTO items (identifier, name, path, fingerprint, note_key) "
                        "VALUES ('OLD', 'old', '/nowhere/old.pdf', 'f0', 'key-f0')"),
         QStringLiteral("PRAGMA user_version = 1")},
        {kOldItemsTable, QStringLiteral("ALTER TABLE items ADD COLUMN fingerprint TEXT"),
         QStringLiteral("ALTER TABLE items ADD COLUMN note_key TEXT"),
         QStringLiteral("CREATE INDEX items_note_key ON items (note_key)"),
         QStringLiteral("INSERT INTO items (identifier, name, path, fingerprint, note_key) "
                        "VALUES ('OLD', 'old', '/nowhere/old.pdf', 'f0', 'key-f0')"),
         QStringLiteral("PRAGMA user_version = 2")}};
    for (const QStringList& layout : layouts) {
        TestEnvironment env;
        auto pelmora = PelmoraStandIn::builtIn();
        QDir().mkpath(pelmora->libraryPath());
        const QString index = pelmora->libraryPath() + QStringLiteral("/Library.sqlite");
        runOnIndex(index, layout);
        const bool keptFingerprints = layout.size() > 2;
        Error error;
        auto before = pelmora->openLibraryQuery(&error);
        ASSERT_TRUE(before) << error.description().toStdString();
        EXPECT_EQ(
            before->holdingsOf({note(QStringLiteral("f0"), QStringLiteral("key-f0"))})->size(),
            keptFingerprints ? 1 : 0);
        before.reset();

        const auto imported = pelmora->importDescription(writeStaging(
            env, QStringLiteral("a"),
            {{QStringLiteral("ONE"), QStringLiteral("one.pdf"), QStringLiteral("f1")}}));
        ASSERT_EQ(imported.taken, 1) << imported.error.description().toStdString();
        EXPECT_EQ(runOnIndex(index, {QStringLiteral("PRAGMA user_version")}),
                  QStringList{version + u'|' + version});
        EXPECT_EQ(
            runOnIndex(index, {QStringLiteral("SELECT identifier FROM items ORDER BY rowid")}),
            (QStringList{QStringLiteral("OLD|OLD"), QStringLiteral("ONE|ONE")}));
        EXPECT_EQ(runOnIndex(index, {QStringLiteral("SELECT name FROM sqlite_master WHERE type "
                                                    "= 'index' AND sql IS NOT NULL")}),
                  QStringList{QStringLiteral("items_note_key_head|items_note_key_head")});
        auto after = pelmora->openLibraryQuery(&error);
        ASSERT_TRUE(after) << error.description().toStdString();
        EXPECT_EQ(after
                      ->holdingsOf({note(QStringLiteral("f1"), QStringLiteral("key-f1")),
                                    note(QStringLiteral("f0"), QStringLiteral("key-f0"))})
                      ->size(),
                  keptFingerprints ? 2 : 1);
    }
}

// A query in use never keeps the index from another import for long: the
// import commits while the query stays open, and the query's next look-up
// sees what it added.
TEST(LibraryQueryTest, AnOpenQueryLetsAnotherImportCommit) {
    TestEnvironment env;
    auto pelmora = PelmoraStandIn::builtIn();
    ASSERT_EQ(pelmora
                  ->importDescription(writeStaging(
                      env, QStringLiteral("a"),
                      {{QStringLiteral("ONE"), QStringLiteral("one.pdf"), QStringLiteral("f1")}}))
                  .taken,
              1);
    Error error;
    auto query = pelmora->openLibraryQuery(&error);
    ASSERT_TRUE(query) << error.description().toStdString();
    const QList<PelmoraLibraryNote> both = {note(QStringLiteral("f1"), QStringLiteral("key-f1")),
                                            note(QStringLiteral("f2"), QStringLiteral("key-f2"))};
    EXPECT_EQ(query->holdingsOf(both)->size(), 1);

    const auto second = pelmora->importDescription(
        writeStaging(env, QStringLiteral("b"),
                     {{QStringLiteral("TWO"), QStringLiteral("two.pdf"), QStringLiteral("f2")}}));
    ASSERT_FALSE(second.failed()) << second.error.description().toStdString();
    EXPECT_EQ(second.taken, 1);
    const auto held = query->holdingsOf(both, &error);
    ASSERT_TRUE(held) << error.description().toStdString();
    EXPECT_EQ(held->value(QStringLiteral("f2")).item.identifier, QStringLiteral("TWO"));
}

// An index of a newer layout, one that is no database, and one that another
// connection is writing are refused with their own codes; none is changed.
TEST(LibraryQueryTest, UnusableIndexesAreRefusedWithTheirCause) {
    TestEnvironment env;
    auto pelmora = PelmoraStandIn::builtIn();
    QDir().mkpath(pelmora->libraryPath());
    const QString index = pelmora->libraryPath() + QStringLiteral("/Library.sqlite");
    const int newer = PelmoraStandInLibraryQuery::kLibraryIndexVersion + 1;
    runOnIndex(index, {kOldItemsTable, QStringLiteral("PRAGMA user_version = %1").arg(newer)});
    Error error;
    EXPECT_FALSE(pelmora->openLibraryQuery(&error));
    EXPECT_EQ(error.domain(), QStringLiteral("PelmoraStandInErrorDomain"));
    EXPECT_EQ(error.code(), PelmoraStandInLibraryQuery::kIndexTooNew);
    EXPECT_TRUE(error.localizedDescription().contains(index)) << error.description().toStdString();
    // The import refuses it as well, and leaves its version alone.
    const auto refused = pelmora->importDescription(
        writeStaging(env, QStringLiteral("a"),
                     {{QStringLiteral("ONE"), QStringLiteral("one.pdf"), QStringLiteral("f1")}}));
    ASSERT_TRUE(refused.failed());
    EXPECT_EQ(refused.error.code(), 7);
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("tmp/a/Book/one.pdf"))));
    EXPECT_EQ(runOnIndex(index, {QStringLiteral("PRAGMA user_version")}),
              QStringList{QStringLiteral("%1|%1").arg(newer)});

    runOnIndex(index, {QStringLiteral("PRAGMA user_version = 1")});
    {
        QSqlDatabase writer =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        writer.setDatabaseName(index);
        ASSERT_TRUE(writer.open());
        QSqlQuery q(writer);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        Error busy;
        EXPECT_FALSE(pelmora->openLibraryQuery(&busy));
        EXPECT_EQ(busy.code(), PelmoraStandInLibraryQuery::kIndexBusy)
            << busy.description().toStdString();
        EXPECT_TRUE(q.exec(QStringLiteral("ROLLBACK")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));

    QFile::remove(index);
    env.writeFile(QStringLiteral("data/Pelmora 3/Library/Library.sqlite"), QByteArray(4096, 'x'));
    Error damaged;
    EXPECT_FALSE(pelmora->openLibraryQuery(&damaged));
    EXPECT_EQ(damaged.code(), PelmoraStandInLibraryQuery::kIndexUnreadable);
}

// An item whose identifier the index already gives to a file that is still in
// the library keeps both files, each listed: the newer under a fresh
// identifier. A row whose file is gone gives its identifier up.
TEST(LibraryQueryTest, AnIdentifierThatComesAgainKeepsBothFilesListed) {
    TestEnvironment env;
    auto pelmora = PelmoraStandIn::builtIn();
    const QString library = pelmora->libraryPath();
    ASSERT_EQ(pelmora
                  ->importDescription(writeStaging(
                      env, QStringLiteral("a"),
                      {{QStringLiteral("SAME"), QStringLiteral("note.pdf"), QStringLiteral("f1")}}))
                  .taken,
              1);
    ASSERT_EQ(pelmora
                  ->importDescription(writeStaging(
                      env, QStringLiteral("b"),
                      {{QStringLiteral("SAME"), QStringLiteral("note.pdf"), QStringLiteral("f2")}}))
                  .taken,
              1);
    const QString index = library + QStringLiteral("/Library.sqlite");
    const QStringList rows =
        runOnIndex(index, {QStringLiteral("SELECT path, identifier FROM items ORDER BY rowid")});
    ASSERT_EQ(rows.size(), 2) << rows.join(u' ').toStdString();
    EXPECT_TRUE(rows[0].endsWith(QStringLiteral("|SAME")));
    EXPECT_FALSE(rows[1].endsWith(QStringLiteral("|SAME")));
    for (const QString& row : rows) {
        const QString path = row.section(u'|', 0, 0);
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    }
    EXPECT_NE(rows[0].section(u'|', 0, 0), rows[1].section(u'|', 0, 0));

    // The first file is gone: its row lists nothing, and the identifier is free.
    ASSERT_TRUE(QFile::remove(rows[0].section(u'|', 0, 0)));
    ASSERT_EQ(
        pelmora
            ->importDescription(writeStaging(
                env, QStringLiteral("c"),
                {{QStringLiteral("SAME"), QStringLiteral("again.pdf"), QStringLiteral("f3")}}))
            .taken,
        1);
    const QStringList after = runOnIndex(
        index, {QStringLiteral("SELECT path, identifier FROM items WHERE identifier = 'SAME'")});
    ASSERT_EQ(after.size(), 1);
    EXPECT_TRUE(after[0].contains(QStringLiteral("/again.pdf|"))) << after[0].toStdString();
}
