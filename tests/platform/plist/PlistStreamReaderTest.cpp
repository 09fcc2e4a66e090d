#include <gtest/gtest.h>

#include "platform/plist/PlistStreamReader.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A description-like list: two items under Entities/Item, a group beside them.
PlistDictionary description() {
    PlistDictionary items;
    for (int i = 0; i < 2; ++i) {
        PlistDictionary item;
        item.set(QStringLiteral("name"), QStringLiteral("Note & <%1>").arg(i));
        item.set(QStringLiteral("itemType"), 1);
        item.set(QStringLiteral("dateModified"),
                 QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
        item.set(QStringLiteral("ratio"), 0.5);
        item.set(QStringLiteral("hidden"), true);
        item.set(QStringLiteral("bytes"), QByteArray("\x00\x01\xff", 3));
        items.set(QStringLiteral("ID%1").arg(i), item);
    }
    PlistArray members;
    members.append(QStringLiteral("ID0"));
    members.append(QStringLiteral("ID1"));
    PlistDictionary group;
    group.set(QStringLiteral("items"), members);
    PlistDictionary folders;
    folders.set(QStringLiteral("G"), group);
    PlistDictionary entities;
    entities.set(QStringLiteral("Item"), items);
    entities.set(QStringLiteral("Folder"), folders);
    PlistDictionary root;
    root.set(QStringLiteral("ExporterVersion"), 353);
    root.set(QStringLiteral("Entities"), entities);
    return root;
}

const QStringList kItems{QStringLiteral("Entities"), QStringLiteral("Item")};

}  // namespace

TEST(PlistStreamReaderTest, HandsOutTheStreamedEntriesAndKeepsTheRest) {
    TestEnvironment env;
    for (const auto format : {PlistValue::Format::Xml, PlistValue::Format::Binary}) {
        const QString path = env.path(QStringLiteral("d.plist"));
        ASSERT_TRUE(PlistValue(description()).writeToFile(path, format));
        QList<std::pair<QString, PlistValue>> entries;
        Error error;
        const auto root = PlistStreamReader::readFromFile(
            path, kItems,
            [&](const QString& key, const PlistValue& value) {
                entries.append({key, value});
            },
            &error);
        ASSERT_TRUE(root.has_value()) << error.description().toStdString();
        const PlistDictionary expected = description();
        const PlistDictionary expectedItems = expected.value(QStringLiteral("Entities"))
                                                  .toDictionary()
                                                  .value(QStringLiteral("Item"))
                                                  .toDictionary();
        ASSERT_EQ(entries.size(), 2);
        for (const auto& [key, value] : entries)
            EXPECT_EQ(value, expectedItems.value(key)) << key.toStdString();
        const PlistDictionary entities =
            root->toDictionary().value(QStringLiteral("Entities")).toDictionary();
        EXPECT_TRUE(entities.value(QStringLiteral("Item")).toDictionary().isEmpty());
        EXPECT_EQ(entities.value(QStringLiteral("Folder")),
                  expected.value(QStringLiteral("Entities"))
                      .toDictionary()
                      .value(QStringLiteral("Folder")));
        EXPECT_EQ(root->toDictionary().value(QStringLiteral("ExporterVersion")).toInteger(), 353);
    }
}

TEST(PlistStreamReaderTest, BadInputIsAnErrorNeverACrash) {
    TestEnvironment env;
    const auto read = [&](const QByteArray& text) {
        const QString path = env.writeFile(QStringLiteral("bad.plist"), text);
        Error error;
        const auto root = PlistStreamReader::readFromFile(
            path, kItems, [](const QString&, const PlistValue&) {}, &error);
        EXPECT_FALSE(root.has_value()) << text.left(60).constData();
        return error;
    };
    EXPECT_EQ(read("<plist><dict><key>a</key><string>x</dict></plist>").code(), 2);
    EXPECT_EQ(read("<plist><dict><string>no key</string></dict></plist>").code(), 2);
    EXPECT_EQ(read("<plist><integer>twelve</integer></plist>").code(), 2);
    EXPECT_EQ(read("<plist><dict><key>a</key><string>x</string>").code(), 2);
    EXPECT_EQ(read("<plist>" + QByteArray("<array>").repeated(5000) +
                   QByteArray("</array>").repeated(5000) + "</plist>")
                  .code(),
              2);
    Error missing;
    EXPECT_FALSE(PlistStreamReader::readFromFile(
        env.path(QStringLiteral("none.plist")), kItems, [](const QString&, const PlistValue&) {},
        &missing));
    EXPECT_FALSE(missing.isNull());
}
