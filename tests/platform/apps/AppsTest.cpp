#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>

#include "platform/apps/EvernoteStandIn.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/apps/Workspace.h"
#include "platform/foundation/FileResourceValues.h"
#include "tests/support/Applications.h"
#include "tests/support/LibraryReader.h"
#include "tests/support/TestEnvironment.h"

namespace {

const char* const kNotebook = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE en-export SYSTEM "http://xml.evernote.com/pub/evernote-export3.dtd">
<en-export export-date="20210816T233721Z" application="Evernote" version="10.17.6">
<note><title>First</title><content><![CDATA[<en-note>one</en-note>]]></content>
<created>20130730T205204Z</created><tag>a</tag><tag>b</tag>
<note-attributes><source-url>https://example.com/</source-url></note-attributes></note>
<note><title>Second</title><content><![CDATA[<en-note>two]]]]><![CDATA[></en-note>]]></content><tag>c</tag></note>
<note><title>Third</title><content><![CDATA[<en-note>three</en-note>]]></content></note>
</en-export>
)";

// Writes the description of one group "G" named `groupName` holding `items`
// (in order) into `staging`, with staging to be removed on completion; returns
// its path.
QString writeDescription(const QString& staging, const QString& groupName,
                         const QList<PlistDictionary>& items) {
    PlistDictionary group, folders, itemsByIdentifier, entities, description;
    PlistArray members;
    for (const PlistDictionary& item : items) {
        const QString id = item.value(QStringLiteral("identifier")).toString();
        itemsByIdentifier.set(id, item);
        members.append(id);
    }
    group.set(QStringLiteral("name"), groupName);
    group.set(QStringLiteral("identifier"), QStringLiteral("G"));
    group.set(QStringLiteral("items"), members);
    folders.set(QStringLiteral("G"), group);
    entities.set(QStringLiteral("Folder"), folders);
    entities.set(QStringLiteral("Item"), itemsByIdentifier);
    description.set(QStringLiteral("Entities"), entities);
    description.set(QStringLiteral("RemoveFileOnCompletion"), staging);
    const QString path = staging + QStringLiteral("/Evernote.pmlibxml");
    EXPECT_TRUE(PlistValue(description).writeToFile(path, PlistValue::Format::Xml));
    return path;
}

}  // namespace

TEST(WorkspaceTest, FindsInstalledAndRunningApplications) {
    TestEnvironment env;
    const QString a =
        installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                           QStringLiteral("3.5"));
    installApplication(env, QStringLiteral("Pelmora Sandboxed"),
                       QStringLiteral("com.quorvel.Pelmora3.mac"), QStringLiteral("3.6"));
    EXPECT_EQ(Workspace::installedApplications(QStringLiteral("com.quorvel.Pelmora3")).size(), 1);
    EXPECT_TRUE(Workspace::runningApplications(QStringLiteral("com.quorvel.Pelmora3")).isEmpty());
    ASSERT_TRUE(markApplicationRunning(a));
    const auto running = Workspace::runningApplications(QStringLiteral("com.quorvel.Pelmora3"));
    ASSERT_EQ(running.size(), 1);
    EXPECT_EQ(running.first().version(), QStringLiteral("3.5"));
    EXPECT_EQ(running.first().processIdentifier(), qint64(::getpid()));
    // A lock file that no process holds is not running, whatever pid it names.
    env.writeFile(QStringLiteral("Applications/Pelmora Sandboxed.app/Contents/lock"), "999999999");
    EXPECT_TRUE(
        Workspace::runningApplications(QStringLiteral("com.quorvel.Pelmora3.mac")).isEmpty());
}

TEST(PelmoraStandInTest, BuiltInEditionOnlyWhenNoneIsInstalled) {
    TestEnvironment env;
    auto builtIn =
        PelmoraApplication::applicationWithBundleIdentifier(QStringLiteral("com.quorvel.Pelmora3"));
    ASSERT_NE(builtIn, nullptr);
    EXPECT_EQ(builtIn->version(), QStringLiteral("3.6.0"));
    EXPECT_EQ(PelmoraApplication::applicationWithBundleIdentifier(
                  QStringLiteral("com.quorvel.Pelmora3.mac")),
              nullptr);
    installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3.mac"),
                       QStringLiteral("3.4.9"));
    EXPECT_EQ(
        PelmoraApplication::applicationWithBundleIdentifier(QStringLiteral("com.quorvel.Pelmora3")),
        nullptr);
}

TEST(PelmoraStandInTest, ImportsDescriptionIntoLibraryAndRefusesMissingFiles) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    env.writeFile(QStringLiteral("tmp/Evernote/Book/a.pdf"), "%PDF");
    env.writeFile(QStringLiteral("tmp/Evernote/Book/Note.pmnote/TXT.rtf"), "{\\rtf1 x}");
    auto item = [&](const QString& id, const QString& file) {
        PlistDictionary d;
        d.set(QStringLiteral("identifier"), id);
        d.set(QStringLiteral("name"), id);
        d.set(QStringLiteral("absoluteFilename"), staging + QStringLiteral("/Book/") + file);
        d.set(QStringLiteral("tagsString"), QStringLiteral("x,y"));
        return d;
    };
    const QString path =
        writeDescription(staging, QStringLiteral("Book"),
                         {item(QStringLiteral("I1"), QStringLiteral("a.pdf")),
                          item(QStringLiteral("I2"), QStringLiteral("Note.pmnote")),
                          item(QStringLiteral("I3"), QStringLiteral("missing.png"))});

    auto pelmora = PelmoraStandIn::builtIn();
    const PelmoraImportResult result = pelmora->importDescription(path);
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 2);
    ASSERT_EQ(result.refused.size(), 1);
    EXPECT_EQ(result.refused.first().identifier, QStringLiteral("I3"));
    const QString library = pelmora->libraryPath();
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Book/a.pdf")));
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Book/Note.pmnote/TXT.rtf")));
    // A refused item keeps the staging folder: nothing the library did not take is deleted.
    EXPECT_TRUE(QDir(staging).exists());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    db.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
    ASSERT_TRUE(db.open());
    QSqlQuery q(QStringLiteral("SELECT COUNT(*) FROM items WHERE group_identifier = 'G'"), db);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 2);
}

TEST(PelmoraStandInTest, AGroupWithoutItemsImportsAsAnEmptyFolder) {
    // A group dictionary without "items": the import once walked freed memory here.
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    QDir().mkpath(staging);
    const QString path = writeDescription(staging, QStringLiteral("Empty"), {});
    auto description = PlistValue::readFromFile(path);
    ASSERT_TRUE(description);
    description->toDictionary()
        .value(QStringLiteral("Entities"))
        .toDictionary()
        .value(QStringLiteral("Folder"))
        .toDictionary()
        .value(QStringLiteral("G"))
        .toDictionary()
        .remove(QStringLiteral("items"));
    ASSERT_TRUE(description->writeToFile(path, PlistValue::Format::Xml));

    auto pelmora = PelmoraStandIn::builtIn();
    const PelmoraImportResult result = pelmora->importDescription(path);
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 0);
    EXPECT_TRUE(result.refused.isEmpty());
    EXPECT_TRUE(QDir(pelmora->libraryPath() + QStringLiteral("/Empty")).exists());
}

// Group and item names at the file system's limit, and the numbers that keep
// equal names apart, must still make names the library folder can hold.
TEST(PelmoraStandInTest, ImportsItemsWithNamesAtTheLimit) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    const QString fileName = QString(125, QChar(0x00E9)) + QStringLiteral(".pdf");  // 254 bytes
    QList<PlistDictionary> items;
    for (const QString& id : {QStringLiteral("I1"), QStringLiteral("I2")}) {
        env.writeFile(QStringLiteral("tmp/Evernote/%1/").arg(id) + fileName, id.toUtf8());
        PlistDictionary d;
        d.set(QStringLiteral("identifier"), id);
        d.set(QStringLiteral("name"), id);
        d.set(QStringLiteral("absoluteFilename"), staging + u'/' + id + u'/' + fileName);
        items << d;
    }
    const QString path = writeDescription(staging, QString(300, u'g'), items);

    auto pelmora = PelmoraStandIn::builtIn();
    const PelmoraImportResult result = pelmora->importDescription(path);
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 2);
    EXPECT_TRUE(result.refused.isEmpty());
    const QString folder = pelmora->libraryPath() + u'/' + QString(255, u'g');
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 2) << names.join(u'|').toStdString();
    EXPECT_TRUE(names.contains(fileName));
    for (const QString& name : names) {
        EXPECT_LE(name.toUtf8().size(), 255);
        EXPECT_TRUE(name.endsWith(QStringLiteral(".pdf")));
    }
    EXPECT_TRUE(names.contains(QString(124, QChar(0x00E9)) + QStringLiteral(" 1.pdf")));
}

// Names already taken in the library, by a dangling link too, are passed over;
// a file gone from the staging folder is refused as missing.
TEST(PelmoraStandInTest, TakenNamesAndDanglingLinksArePassedOver) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    QList<PlistDictionary> items;
    for (const QString& id : {QStringLiteral("I1"), QStringLiteral("I2"), QStringLiteral("I3")}) {
        if (id != QStringLiteral("I3"))
            env.writeFile(QStringLiteral("tmp/Evernote/%1/a.pdf").arg(id), id.toUtf8());
        PlistDictionary d;
        d.set(QStringLiteral("identifier"), id);
        d.set(QStringLiteral("name"), id);
        d.set(QStringLiteral("absoluteFilename"), staging + u'/' + id + QStringLiteral("/a.pdf"));
        items << d;
    }
    const QString path = writeDescription(staging, QStringLiteral("Book"), items);

    auto pelmora = PelmoraStandIn::builtIn();
    const QString library = pelmora->libraryPath();
    ASSERT_TRUE(QDir().mkpath(library));
    ASSERT_EQ(::symlink("/nonexistent/book",
                        QFile::encodeName(library + QStringLiteral("/Book")).constData()),
              0);
    const PelmoraImportResult result = pelmora->importDescription(path);
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 2);
    ASSERT_EQ(result.refused.size(), 1);
    EXPECT_TRUE(result.refused.first().reason.contains(QStringLiteral("missing")))
        << result.refused.first().reason.toStdString();
    EXPECT_TRUE(QFileInfo(library + QStringLiteral("/Book")).isSymLink());
    EXPECT_EQ(QDir(library + QStringLiteral("/Book 1")).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("a 1.pdf"), QStringLiteral("a.pdf")}));
}

TEST(EvernoteStandInTest, ListsNotebooksAndExportsChosenNotesWithoutTags) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("evernote/Work.2014.enex"), kNotebook);
    installEvernote(env, env.path(QStringLiteral("evernote")));
    auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
    ASSERT_NE(evernote, nullptr);
    const auto notebooks = evernote->notebooks();
    ASSERT_EQ(notebooks.size(), 1);
    EXPECT_EQ(notebooks.first()->name(), QStringLiteral("Work.2014"));
    const auto notes = notebooks.first()->notes();
    ASSERT_EQ(notes.size(), 3);
    EXPECT_EQ(notes[0].title, QStringLiteral("First"));
    EXPECT_EQ(notes[0].tags, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(notes[0].sourceURL, QStringLiteral("https://example.com/"));
    EXPECT_TRUE(notes[0].creationDate.isValid());

    const QString out = env.path(QStringLiteral("out.enex"));
    evernote->exportNotes({notes[1], notes[2]}, QUrl::fromLocalFile(out), false,
                          kEvernoteExportFormatENEX);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_FALSE(text.contains("First"));
    EXPECT_TRUE(text.contains("<title>Second</title>"));
    EXPECT_TRUE(text.contains("<title>Third</title>"));
    EXPECT_FALSE(text.contains("<tag>"));
    EXPECT_TRUE(text.contains("two]]"));  // the split CDATA keeps its text
    // The export is itself a notebook the stand-in can list.
    env.writeFile(QStringLiteral("evernote/Exported.enex"), text);
    for (const auto& nb : evernote->notebooks())
        if (nb->name() == QLatin1String("Exported")) {
            EXPECT_EQ(nb->notes().size(), 2);
        }
}

namespace {

// A staging folder holding `files` (item identifier → file name) in one group
// "Book", and its description; returns the description's path.
QString writeStaging(const TestEnvironment& env, const QList<std::pair<QString, QString>>& files) {
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    QList<PlistDictionary> items;
    for (const auto& [id, file] : files) {
        env.writeFile(QStringLiteral("tmp/Evernote/Book/") + file, "content of " + file.toUtf8());
        PlistDictionary item;
        item.set(QStringLiteral("identifier"), id);
        item.set(QStringLiteral("name"), id);
        item.set(QStringLiteral("absoluteFilename"), staging + QStringLiteral("/Book/") + file);
        items << item;
    }
    return writeDescription(staging, QStringLiteral("Book"), items);
}

// Runs `statements` on the library's index before the import.
void prepareIndex(const QString& library, const QStringList& statements) {
    QDir().mkpath(library);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prepare"));
        db.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& statement : statements) {
            ASSERT_TRUE(q.exec(statement)) << statement.toStdString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prepare"));
}

const QString kItemsTable = QStringLiteral(
    "CREATE TABLE items (identifier TEXT PRIMARY KEY, group_identifier TEXT, name TEXT, path TEXT, "
    "item_type INTEGER, date_created TEXT, date_modified TEXT, tags TEXT, comments TEXT)");

}  // namespace

// An index entry that cannot be written refuses the item: its file goes back
// to staging, the reason names the database's answer, and staging is kept.
TEST(PelmoraStandInTest, FailedIndexStatementRefusesTheItemAndKeepsItsFile) {
    TestEnvironment env;
    const QString path = writeStaging(env, {{QStringLiteral("Good"), QStringLiteral("good.pdf")},
                                            {QStringLiteral("Bad"), QStringLiteral("bad.pdf")}});
    auto pelmora = PelmoraStandIn::builtIn();
    prepareIndex(
        pelmora->libraryPath(),
        {kItemsTable,
         QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON items WHEN NEW.name = 'Bad' "
                        "BEGIN SELECT RAISE(ABORT, 'disk image is malformed'); END")});
    const PelmoraImportResult result = pelmora->importDescription(path);
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 1);
    ASSERT_EQ(result.refused.size(), 1);
    EXPECT_EQ(result.refused.first().name, QStringLiteral("Bad"));
    EXPECT_TRUE(result.refused.first().reason.contains(QStringLiteral("disk image is malformed")))
        << result.refused.first().reason.toStdString();
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("tmp/Evernote/Book/bad.pdf"))));
    EXPECT_FALSE(QFile::exists(pelmora->libraryPath() + QStringLiteral("/Book/bad.pdf")));
    EXPECT_TRUE(QFile::exists(pelmora->libraryPath() + QStringLiteral("/Book/good.pdf")));
    EXPECT_TRUE(QFile::exists(path));
}

// When the whole index is unusable the import fails and takes nothing; every
// file stays in staging. importFiles reports it, and refuses other methods.
TEST(PelmoraStandInTest, UnusableIndexFailsTheImportAndMovesNothing) {
    TestEnvironment env;
    const QString path = writeStaging(env, {{QStringLiteral("One"), QStringLiteral("one.pdf")}});
    auto pelmora = PelmoraStandIn::builtIn();
    // A group table of another shape: no group can be recorded, so no item is taken.
    prepareIndex(pelmora->libraryPath(),
                 {QStringLiteral("CREATE TABLE groups (identifier TEXT PRIMARY KEY)")});
    const PelmoraImportResult result = pelmora->importFiles(
        {path}, kPelmoraImportMethodLibraryDescription, QString(), 0, QString(), 0, QString());
    EXPECT_EQ(result.taken, 0);
    ASSERT_EQ(result.refused.size(), 1);
    EXPECT_TRUE(result.refused.first().reason.contains(QStringLiteral("library index")));
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("tmp/Evernote/Book/one.pdf"))));

    QDir(pelmora->libraryPath()).removeRecursively();
    QDir().mkpath(pelmora->libraryPath() +
                  QStringLiteral("/Library.sqlite"));  // a folder: cannot be opened
    const PelmoraImportResult failed = pelmora->importDescription(path);
    ASSERT_TRUE(failed.failed());
    EXPECT_EQ(failed.error.code(), 3);
    EXPECT_EQ(failed.taken, 0);
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("tmp/Evernote/Book/one.pdf"))));

    EXPECT_TRUE(pelmora->importFiles({path}, 0, QString(), 0, QString(), 0, QString()).failed());
}

// An index that cannot be saved at the end (another reader holds the library
// database) fails the import, and every item already moved goes back to the
// staging folder: nothing is left in a library that does not know it.
TEST(PelmoraStandInTest, IndexThatCannotBeSavedPutsEveryItemBack) {
    TestEnvironment env;
    const QString path = writeStaging(env, {{QStringLiteral("One"), QStringLiteral("one.pdf")},
                                            {QStringLiteral("Two"), QStringLiteral("two.pdf")}});
    auto pelmora = PelmoraStandIn::builtIn();
    const QString library = pelmora->libraryPath();
    prepareIndex(
        library,
        {kItemsTable, QStringLiteral("CREATE TABLE groups (identifier TEXT PRIMARY KEY, name TEXT, "
                                     "path TEXT, comments TEXT, group_type INTEGER)")});
    PelmoraImportResult result;
    {
        QSqlDatabase reader =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        reader.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
        reader.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        ASSERT_TRUE(reader.open());
        ASSERT_TRUE(reader.transaction());
        QSqlQuery read(QStringLiteral("SELECT COUNT(*) FROM items"),
                       reader);  // holds a shared lock
        ASSERT_TRUE(read.next());
        result = pelmora->importDescription(path);
        read.finish();
        reader.rollback();
        reader.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    ASSERT_TRUE(result.failed());
    EXPECT_EQ(result.error.code(), 5) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 0);
    for (const char* file : {"one.pdf", "two.pdf"}) {
        EXPECT_TRUE(
            QFile::exists(env.path(QStringLiteral("tmp/Evernote/Book/") + QLatin1String(file))))
            << file;
        EXPECT_FALSE(QFile::exists(library + QStringLiteral("/Book/") + QLatin1String(file)))
            << file;
    }
}

// A whole notebook is exported as its file, byte for byte, so that a file
// that breaks off reaches the importer's parser as it is.
TEST(EvernoteStandInTest, ExportsAWholeNotebookAsItsFile) {
    TestEnvironment env;
    QByteArray broken = QByteArray(kNotebook);
    broken.chop(broken.size() - broken.lastIndexOf("<note>") - 20);
    env.writeFile(QStringLiteral("evernote/Whole.enex"), kNotebook);
    env.writeFile(QStringLiteral("evernote/Broken.enex"), broken);
    // Not one note can be read: the notebook still lists one, so it is not empty.
    QByteArray unreadable = QByteArray(kNotebook);
    unreadable.replace(unreadable.indexOf("</title>"), 8, "</titlex>");
    env.writeFile(QStringLiteral("evernote/Unreadable.enex"), unreadable);
    installEvernote(env, env.path(QStringLiteral("evernote")));
    auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
    ASSERT_NE(evernote, nullptr);
    const auto notebooks = evernote->notebooks();
    ASSERT_EQ(notebooks.size(), 3);
    EXPECT_EQ(notebooks[2]->name(), QStringLiteral("Whole"));
    EXPECT_EQ(notebooks[1]->notes().size(), 1);
    for (const auto& notebook : notebooks) {
        const QString out = env.path(notebook->name() + QStringLiteral(".out"));
        evernote->exportNotes(notebook->notes(), QUrl::fromLocalFile(out), true,
                              kEvernoteExportFormatENEX);
        QFile exported(out), original(env.path(QStringLiteral("evernote/") + notebook->name() +
                                               QStringLiteral(".enex")));
        ASSERT_TRUE(exported.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        EXPECT_EQ(exported.readAll(), original.readAll()) << notebook->name().toStdString();
    }
}

// A description may give an item no dates (the note-by-note HTML import sets
// them on the file instead): the index then takes the file's; dates the
// description does give win over the file's.
TEST(PelmoraStandInTest, ItemWithoutDatesTakesThemFromItsFile) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    const QDateTime created(QDate(2011, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
    const QDateTime modified(QDate(2012, 3, 4), QTime(5, 6, 7), QTimeZone::utc());
    const QDateTime described(QDate(2001, 1, 1), QTime(0, 0, 0), QTimeZone::utc());
    FileResourceValues values;
    values.creationDate = created;
    values.contentModificationDate = modified;
    QList<PlistDictionary> items;
    for (const QString& id : {QStringLiteral("Bare"), QStringLiteral("Dated")}) {
        const QString file =
            env.writeFile(QStringLiteral("tmp/Evernote/Book/%1.pdf").arg(id), "%PDF");
        ASSERT_TRUE(setResourceValues(file, values));
        PlistDictionary item;
        item.set(QStringLiteral("identifier"), id);
        item.set(QStringLiteral("name"), id);
        item.set(QStringLiteral("absoluteFilename"), file);
        if (id == QLatin1String("Dated")) {
            item.set(QStringLiteral("dateCreated"), described);
            item.set(QStringLiteral("dateModified"), described);
        }
        items << item;
    }
    auto pelmora = PelmoraStandIn::builtIn();
    const PelmoraImportResult result =
        pelmora->importDescription(writeDescription(staging, QStringLiteral("Book"), items));
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    ASSERT_EQ(result.taken, 2);

    QString error;
    const auto library = readLibrary(pelmora->libraryPath(), &error);
    ASSERT_TRUE(library) << error.toStdString();
    ASSERT_EQ(library->size(), 2);
    for (const LibraryItem& item : *library) {
        const bool bare = item.indexName == QLatin1String("Bare");
        EXPECT_EQ(item.indexCreated, bare ? created : described) << item.indexName.toStdString();
        EXPECT_EQ(item.indexModified, bare ? modified : described) << item.indexName.toStdString();
        EXPECT_EQ(item.fileModified, bare ? modified : described) << item.indexName.toStdString();
        EXPECT_EQ(item.fileCreated, created) << item.indexName.toStdString();  // as it was
    }
}

// The note's attributes are kept in the index, one row per field, each item
// with its own: an item imported again while the first file is still in the
// library is a second item (both files stay listed), with only the attributes
// it has now.
TEST(PelmoraStandInTest, IndexKeepsTheItemsAttributesAsDescribed) {
    TestEnvironment env;
    auto pelmora = PelmoraStandIn::builtIn();
    auto importWith = [&](const QList<std::pair<QString, QString>>& fields) {
        const QString staging = env.path(QStringLiteral("tmp/Evernote"));
        const QString file = env.writeFile(QStringLiteral("tmp/Evernote/Book/N.pdf"), "%PDF");
        PlistDictionary attributes, item;
        for (const auto& [name, value] : fields) attributes.set(name, value);
        item.set(QStringLiteral("identifier"), QStringLiteral("N"));
        item.set(QStringLiteral("name"), QStringLiteral("N"));
        item.set(QStringLiteral("absoluteFilename"), file);
        item.set(QStringLiteral("evernoteAttributes"), attributes);
        const PelmoraImportResult result =
            pelmora->importDescription(writeDescription(staging, QStringLiteral("Book"), {item}));
        EXPECT_EQ(result.taken, 1) << result.error.description().toStdString();
    };
    importWith({{QStringLiteral("author"), QStringLiteral("ann")},
                {QStringLiteral("resource.1.file-name"), QStringLiteral("n.pdf")}});
    importWith({{QStringLiteral("latitude"), QStringLiteral("52.5")}});

    QString error;
    const auto library = readLibrary(pelmora->libraryPath(), &error);
    ASSERT_TRUE(library) << error.toStdString();
    ASSERT_EQ(library->size(), 2);
    EXPECT_EQ(library->first().indexAttributes,
              (QMap<QString, QString>{
                  {QStringLiteral("author"), QStringLiteral("ann")},
                  {QStringLiteral("resource.1.file-name"), QStringLiteral("n.pdf")}}));
    EXPECT_EQ(library->last().indexAttributes,
              (QMap<QString, QString>{{QStringLiteral("latitude"), QStringLiteral("52.5")}}));
}

// The application lists every attribute of a note and of its attachments, as
// the ENEX parser names them, for the imports that do not read the ENEX.
TEST(EvernoteStandInTest, ListsEveryAttributeOfANote) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("evernote/Trips.enex"),
                  "<en-export><note><title>Berlin</title><content><![CDATA[<en-note/>]]></content>"
                  "<note-attributes><author> ann </author><reminder-time>20250101T000000Z"
                  "</reminder-time><application-data key=\"color\">blue</application-data>"
                  "</note-attributes><resource><data encoding=\"base64\">cGRm</data>"
                  "<resource-attributes><file-name>f.pdf</file-name></resource-attributes>"
                  "</resource></note></en-export>");
    installEvernote(env, env.path(QStringLiteral("evernote")));
    auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
    ASSERT_NE(evernote, nullptr);
    const auto notebooks = evernote->notebooks();
    ASSERT_EQ(notebooks.size(), 1);
    const QList<EvernoteNote> notes = notebooks.first()->notes();
    ASSERT_EQ(notes.size(), 1);
    QStringList fields;
    for (const EvernoteAttribute& field : notes.first().attributes)
        fields << field.name + u'=' + field.value;
    const QStringList expected{QStringLiteral("author=ann"),
                               QStringLiteral("reminder-time=2025-01-01T00:00:00Z"),
                               QStringLiteral("application-data.color=blue"),
                               QStringLiteral("resource.1.file-name=f.pdf")};
    EXPECT_EQ(fields.join(u' ').toStdString(), expected.join(u' ').toStdString());
}

// An item whose attributes cannot be recorded is refused whole: neither its
// row nor any of its attributes stays in the index, and its file goes back.
TEST(PelmoraStandInTest, ItemWhoseAttributesCannotBeRecordedIsRefusedWhole) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    QList<PlistDictionary> items;
    for (const QString& id : {QStringLiteral("Good"), QStringLiteral("Bad")}) {
        PlistDictionary attributes, item;
        attributes.set(QStringLiteral("author"), QStringLiteral("ann"));
        attributes.set(QStringLiteral("place-name"), id.toLower());
        item.set(QStringLiteral("identifier"), id);
        item.set(QStringLiteral("name"), id);
        item.set(QStringLiteral("absoluteFilename"),
                 env.writeFile(QStringLiteral("tmp/Evernote/Book/%1.pdf").arg(id), "%PDF"));
        item.set(QStringLiteral("evernoteAttributes"), attributes);
        items << item;
    }
    auto pelmora = PelmoraStandIn::builtIn();
    prepareIndex(pelmora->libraryPath(),
                 {kItemsTable,
                  QStringLiteral("CREATE TABLE item_attributes (item_identifier TEXT, name TEXT, "
                                 "value TEXT, PRIMARY KEY (item_identifier, name))"),
                  QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON item_attributes WHEN "
                                 "NEW.value = 'bad' BEGIN SELECT RAISE(ABORT, 'no room'); END")});
    const PelmoraImportResult result =
        pelmora->importDescription(writeDescription(staging, QStringLiteral("Book"), items));
    ASSERT_FALSE(result.failed()) << result.error.description().toStdString();
    EXPECT_EQ(result.taken, 1);
    ASSERT_EQ(result.refused.size(), 1);
    EXPECT_TRUE(result.refused.first().reason.contains(QStringLiteral("no room")));
    EXPECT_TRUE(QFile::exists(staging + QStringLiteral("/Book/Bad.pdf")));

    QString error;
    const auto library = readLibrary(pelmora->libraryPath(), &error);
    ASSERT_TRUE(library) << error.toStdString();
    ASSERT_EQ(library->size(), 1);
    EXPECT_EQ(library->first().indexName, QStringLiteral("Good"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
    db.setDatabaseName(pelmora->libraryPath() + QStringLiteral("/Library.sqlite"));
    ASSERT_TRUE(db.open());
    QSqlQuery q(
        QStringLiteral("SELECT COUNT(*) FROM item_attributes WHERE item_identifier = 'Bad'"), db);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 0);
}
