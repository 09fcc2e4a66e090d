#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <sys/xattr.h>

#include "platform/apps/EvernoteStandIn.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/apps/Workspace.h"
#include "tests/support/Applications.h"
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

}  // namespace

TEST(WorkspaceTest, FindsInstalledAndRunningApplications) {
    TestEnvironment env;
    const QString a = installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                                         QStringLiteral("3.5"));
    installApplication(env, QStringLiteral("Pelmora Sandboxed"), QStringLiteral("com.quorvel.Pelmora3.mac"),
                       QStringLiteral("3.6"));
    EXPECT_EQ(Workspace::installedApplications(QStringLiteral("com.quorvel.Pelmora3")).size(), 1);
    EXPECT_TRUE(Workspace::runningApplications(QStringLiteral("com.quorvel.Pelmora3")).isEmpty());
    markApplicationRunning(a);
    const auto running = Workspace::runningApplications(QStringLiteral("com.quorvel.Pelmora3"));
    ASSERT_EQ(running.size(), 1);
    EXPECT_EQ(running.first().version(), QStringLiteral("3.5"));
    // A pid file naming a dead process is not running.
    env.writeFile(QStringLiteral("Applications/Pelmora Sandboxed.app/Contents/pid"), "999999999");
    EXPECT_TRUE(Workspace::runningApplications(QStringLiteral("com.quorvel.Pelmora3.mac")).isEmpty());
}

TEST(PelmoraStandInTest, BuiltInEditionOnlyWhenNoneIsInstalled) {
    TestEnvironment env;
    auto builtIn = PelmoraApplication::applicationWithBundleIdentifier(QStringLiteral("com.quorvel.Pelmora3"));
    ASSERT_NE(builtIn, nullptr);
    EXPECT_EQ(builtIn->version(), QStringLiteral("3.6.0"));
    EXPECT_EQ(PelmoraApplication::applicationWithBundleIdentifier(QStringLiteral("com.quorvel.Pelmora3.mac")), nullptr);
    installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3.mac"), QStringLiteral("3.4.9"));
    EXPECT_EQ(PelmoraApplication::applicationWithBundleIdentifier(QStringLiteral("com.quorvel.Pelmora3")), nullptr);
}

TEST(PelmoraStandInTest, ImportsDescriptionIntoLibraryAndRefusesMissingFiles) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    env.writeFile(QStringLiteral("tmp/Evernote/Book/a.pdf"), "%PDF");
    env.writeFile(QStringLiteral("tmp/Evernote/Book/Note.pmnote/TXT.rtf"), "{\\rtf1 x}");
    PlistDictionary group;
    group.set(QStringLiteral("name"), QStringLiteral("Book"));
    group.set(QStringLiteral("identifier"), QStringLiteral("G"));
    group.set(QStringLiteral("items"), PlistArray{QStringLiteral("I1"), QStringLiteral("I2"), QStringLiteral("I3")});
    auto item = [&](const QString& id, const QString& file) {
        PlistDictionary d;
        d.set(QStringLiteral("identifier"), id);
        d.set(QStringLiteral("name"), id);
        d.set(QStringLiteral("absoluteFilename"), staging + QStringLiteral("/Book/") + file);
        d.set(QStringLiteral("tagsString"), QStringLiteral("x,y"));
        return d;
    };
    PlistDictionary folders, items, entities, description;
    folders.set(QStringLiteral("G"), group);
    items.set(QStringLiteral("I1"), item(QStringLiteral("I1"), QStringLiteral("a.pdf")));
    items.set(QStringLiteral("I2"), item(QStringLiteral("I2"), QStringLiteral("Note.pmnote")));
    items.set(QStringLiteral("I3"), item(QStringLiteral("I3"), QStringLiteral("missing.png")));
    entities.set(QStringLiteral("Folder"), folders);
    entities.set(QStringLiteral("Item"), items);
    description.set(QStringLiteral("Entities"), entities);
    description.set(QStringLiteral("RemoveFileOnCompletion"), staging);
    const QString path = staging + QStringLiteral("/Evernote.pmlibxml");
    ASSERT_TRUE(PlistValue(description).writeToFile(path, PlistValue::Format::Xml));

    auto pelmora = PelmoraStandIn::builtIn();
    Error error;
    const auto count = pelmora->importDescription(path, &error);
    ASSERT_TRUE(count.has_value()) << error.description().toStdString();
    EXPECT_EQ(*count, 2);
    const QString library = pelmora->libraryPath();
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Book/a.pdf")));
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Book/Note.pmnote/TXT.rtf")));
    EXPECT_FALSE(QDir(staging).exists());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    db.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
    ASSERT_TRUE(db.open());
    QSqlQuery q(QStringLiteral("SELECT COUNT(*) FROM items WHERE group_identifier = 'G'"), db);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 2);
}

// Group and item names at the file system's limit, and the numbers that keep
// equal names apart, must still make names the library folder can hold.
TEST(PelmoraStandInTest, ImportsItemsWithNamesAtTheLimit) {
    TestEnvironment env;
    const QString staging = env.path(QStringLiteral("tmp/Evernote"));
    const QString fileName = QString(125, QChar(0x00E9)) + QStringLiteral(".pdf");  // 254 bytes
    PlistDictionary items;
    PlistArray identifiers;
    for (const QString& id : {QStringLiteral("I1"), QStringLiteral("I2")}) {
        env.writeFile(QStringLiteral("tmp/Evernote/%1/").arg(id) + fileName, id.toUtf8());
        PlistDictionary d;
        d.set(QStringLiteral("identifier"), id);
        d.set(QStringLiteral("name"), id);
        d.set(QStringLiteral("absoluteFilename"), staging + u'/' + id + u'/' + fileName);
        items.set(id, d);
        identifiers.append(id);
    }
    PlistDictionary group;
    group.set(QStringLiteral("name"), QString(300, u'g'));
    group.set(QStringLiteral("identifier"), QStringLiteral("G"));
    group.set(QStringLiteral("items"), identifiers);
    PlistDictionary folders, entities, description;
    folders.set(QStringLiteral("G"), group);
    entities.set(QStringLiteral("Folder"), folders);
    entities.set(QStringLiteral("Item"), items);
    description.set(QStringLiteral("Entities"), entities);
    const QString path = staging + QStringLiteral("/Evernote.pmlibxml");
    ASSERT_TRUE(PlistValue(description).writeToFile(path, PlistValue::Format::Xml));

    auto pelmora = PelmoraStandIn::builtIn();
    Error error;
    const auto count = pelmora->importDescription(path, &error);
    ASSERT_TRUE(count.has_value()) << error.description().toStdString();
    EXPECT_EQ(*count, 2);
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

TEST(EvernoteStandInTest, ListsNotebooksAndExportsChosenNotesWithoutTags) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("evernote/Work.2014.enex"), kNotebook);
    installApplication(env, QStringLiteral("Evernote"), QStringLiteral("com.evernote.Evernote"), QStringLiteral("7.14"),
                       QStringLiteral("<key>EvernoteNotebookFolder</key><string>%1</string>").arg(env.path(QStringLiteral("evernote"))));
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
    evernote->exportNotes({notes[1], notes[2]}, QUrl::fromLocalFile(out), false, kEvernoteExportFormatENEX);
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
        if (nb->name() == QLatin1String("Exported")) EXPECT_EQ(nb->notes().size(), 2);
}
