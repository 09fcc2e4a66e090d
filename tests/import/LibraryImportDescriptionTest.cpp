#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>

#include "enex/EvernoteXMLItem.h"
#include "import/LibraryImportDescription.h"

namespace {

PlistDictionary group(const QString& name, const QString& identifier) {
    PlistDictionary group;
    group.set(ItemKeys::EntityName, LibraryKeys::Folder);
    group.set(ItemKeys::Name, name);
    group.set(ItemKeys::Identifier, identifier);
    group.set(QStringLiteral("groupType"), 70);
    return group;
}

// An item with every kind of value an item dictionary holds, and text that
// must be escaped or kept exactly (markup, a CDATA end, a trailing line
// break, characters outside ASCII).
PlistDictionary item(int n) {
    PlistDictionary item;
    item.set(ItemKeys::EntityName, QStringLiteral("Item"));
    item.set(ItemKeys::Identifier, QStringLiteral("ITEM-%1").arg(n));
    item.set(ItemKeys::Name, QStringLiteral("<b>Note</b> & ]]> “%1”\n").arg(n));
    item.set(ItemKeys::DateCreated, QDateTime(QDate(2013, 7, 30), QTime(20, 52, 4), Qt::UTC));
    item.set(ItemKeys::ExtensionHidden, n % 2 == 0);
    item.set(QStringLiteral("rating"), n);
    item.set(QStringLiteral("latitude"), 47.25 + n);
    item.set(QStringLiteral("tags"), PlistArray{QStringLiteral("a"), QStringLiteral("b c")});
    PlistDictionary nested;
    nested.set(QStringLiteral("data"), QByteArray("\x00\x01"
                                                  "binary",
                                                  8));
    item.set(QStringLiteral("attributes"), nested);
    return item;
}

// What the description held when it was built in memory: each item a copy
// with "folder" set, each group its identifiers in order.
PlistDictionary inMemoryDescription(
    const QString& staging,
    const QList<std::pair<PlistDictionary, QList<PlistDictionary>>>& groups) {
    PlistDictionary folders, items;
    for (const auto& [g, groupItems] : groups) {
        PlistDictionary copy = g.deepCopy();
        PlistArray identifiers;
        for (const PlistDictionary& i : groupItems) {
            PlistDictionary filed = i.deepCopy();
            filed.set(ItemKeys::Folder, g.value(ItemKeys::Identifier));
            items.set(i.value(ItemKeys::Identifier).toString(), filed);
            identifiers.append(i.value(ItemKeys::Identifier));
        }
        copy.set(LibraryKeys::Items, identifiers);
        folders.set(g.value(ItemKeys::Identifier).toString(), copy);
    }
    PlistDictionary entities;
    entities.set(LibraryKeys::Item, items);
    entities.set(LibraryKeys::Folder, folders);
    PlistDictionary description;
    description.set(QStringLiteral("ExporterVersion"), 353);
    description.set(QStringLiteral("RemoveFileOnCompletion"), staging);
    description.set(LibraryKeys::Entities, entities);
    return description;
}

}  // namespace

// Items written one by one, in two groups (one left empty), read back with
// our reader as exactly the description that was once built in memory; the
// items handed in are not changed.
TEST(LibraryImportDescriptionTest, StreamedDescriptionReadsBackAsTheWholeOne) {
    QTemporaryDir staging;
    LibraryImportDescription description;
    ASSERT_TRUE(description.begin(staging.path()));
    const PlistDictionary work = group(QStringLiteral("Work & <Play>"), QStringLiteral("G-1"));
    const PlistDictionary empty = group(QStringLiteral("Empty"), QStringLiteral("G-2"));
    description.addGroup(work);
    description.addGroup(empty);
    QList<PlistDictionary> items;
    for (int n = 0; n < 50; ++n) {
        items << item(n);
        ASSERT_TRUE(description.addItem(items.last(), work));
        EXPECT_FALSE(items.last().contains(ItemKeys::Folder));
    }
    EXPECT_EQ(description.itemCount(), 50);
    EXPECT_FALSE(QFile::exists(
        staging.filePath(LibraryKeys::DescriptionFileName)));  // not before it is finished
    const auto path = description.finish();
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, staging.filePath(LibraryKeys::DescriptionFileName));
    EXPECT_EQ(QDir(staging.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{LibraryKeys::DescriptionFileName});

    Error error;
    const auto read = PlistValue::readFromFile(*path, &error);
    ASSERT_TRUE(read.has_value()) << error.description().toStdString();
    const PlistDictionary expected =
        inMemoryDescription(staging.path(), {{work, items}, {empty, {}}});
    const PlistDictionary got = read->toDictionary();
    EXPECT_EQ(got.keys(), expected.keys());
    for (const QString& key : expected.keys()) {
        if (key != LibraryKeys::Entities) {
            EXPECT_EQ(got.value(key), expected.value(key)) << key.toStdString();
            continue;
        }
        for (const QString& entity : {LibraryKeys::Item, LibraryKeys::Folder}) {
            const PlistDictionary gotEntity =
                got.value(key).toDictionary().value(entity).toDictionary();
            const PlistDictionary expectedEntity =
                expected.value(key).toDictionary().value(entity).toDictionary();
            EXPECT_EQ(gotEntity.keys(), expectedEntity.keys()) << entity.toStdString();
            for (const QString& id : expectedEntity.keys())
                EXPECT_EQ(gotEntity.value(id), expectedEntity.value(id)) << id.toStdString();
        }
    }
    // Once written, the groups in memory let go of their lists: a large import
    // does not hold them while the library takes the items.
    EXPECT_FALSE(work.contains(LibraryKeys::Items));

    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) return;
    QProcess p;
    p.start(
        python,
        {QStringLiteral("-c"),
         QStringLiteral(
             "import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb')); e=d['Entities']; "
             "i=e['Item']['ITEM-7']; g=e['Folder']['G-1']; "
             "assert i['name']=='<b>Note</b> & ]]> \\u201c7\\u201d\\n', repr(i['name']); "
             "assert i['folder']=='G-1' and i['attributes']['data']==b'\\x00\\x01binary', repr(i); "
             "assert g['items']==['ITEM-%d'%n for n in range(50)] and "
             "e['Folder']['G-2']['items']==[], repr(e['Folder']); "
             "print(d['ExporterVersion'], len(e['Item']))"),
         *path});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), QStringLiteral("353 50"));
}

// A description that is not finished leaves nothing behind: discarded by
// hand or by its end.
TEST(LibraryImportDescriptionTest, UnfinishedDescriptionLeavesNoFile) {
    QTemporaryDir staging;
    {
        LibraryImportDescription description;
        ASSERT_TRUE(description.begin(staging.path()));
        description.addGroup(group(QStringLiteral("A"), QStringLiteral("G")));
        ASSERT_TRUE(description.addItem(item(1), group(QStringLiteral("A"), QStringLiteral("G"))));
        EXPECT_FALSE(QDir(staging.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        description.discard();
        EXPECT_TRUE(QDir(staging.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        ASSERT_TRUE(description.begin(staging.path()));
    }
    EXPECT_TRUE(QDir(staging.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    LibraryImportDescription unwritable;
    Error error;
    EXPECT_FALSE(unwritable.begin(staging.filePath(QStringLiteral("missing")), &error));
    EXPECT_FALSE(error.isNull());
}
