#include <gtest/gtest.h>

#include <QtEndian>

#include "platform/archive/BinaryPlistWriter.h"
#include "platform/plist/PlistValue.h"
#include "tests/platform/archive/PythonPlist.h"

namespace {

using Node = BinaryPlistNode;

QByteArray fromHex(const char* hex) { return QByteArray::fromHex(QByteArray(hex)); }

}  // namespace

TEST(BinaryPlistWriter, WritesTheKnownSingleEntryDictionaryByteForByte) {
    Node dict = Node::makeDictionary();
    dict.insert("URL", Node::makeString("https://example.com/"));
    const QByteArray expected =
        "bplist00" + fromHex("d10102535552 4c5f1014") + QByteArray("https://example.com/") +
        fromHex("080b0f") + QByteArray(6, '\0') + fromHex("0101") + fromHex("0000000000000003") +
        fromHex("0000000000000000") + fromHex("0000000000000026");
    EXPECT_EQ(BinaryPlistWriter::write(dict).toHex(), expected.toHex());
}

TEST(BinaryPlistWriter, KeepsRealWidthsAndUsesPlatformIntegerAndUidWidths) {
    // Each value in its own one-element array: the object after the array is it.
    auto encoded = [](Node value) {
        const QByteArray data = BinaryPlistWriter::write(Node::makeArray({value}));
        return data.mid(10, data.size() - 10 - 32 - 2).toHex();  // skip header, array, table
    };
    EXPECT_EQ(encoded(Node::makeFloat32(1.5f)), "223fc00000");
    EXPECT_EQ(encoded(Node::makeFloat64(1.5)), "233ff8000000000000");
    EXPECT_EQ(encoded(Node::makeInteger(3)), "1003");
    EXPECT_EQ(encoded(Node::makeInteger(300)), "11012c");
    EXPECT_EQ(encoded(Node::makeInteger(70000)), "1200011170");
    EXPECT_EQ(encoded(Node::makeInteger(-1)), "13ffffffffffffffff");
    EXPECT_EQ(encoded(Node::makeUid(5)), "8005");
    EXPECT_EQ(encoded(Node::makeUid(300)), "81012c");
    EXPECT_EQ(encoded(Node::makeUid(70000)), "8300011170");
    EXPECT_EQ(encoded(Node::makeBoolean(true)), "09");
    EXPECT_EQ(encoded(Node::makeString(QString::fromUtf8("é"))), "6100e9");
}

TEST(BinaryPlistWriter, StoresEqualScalarsOnceButKeepsDifferentTypesApart) {
    Node array =
        Node::makeArray({Node::makeString("x"), Node::makeString("x"), Node::makeInteger(1),
                         Node::makeBoolean(true), Node::makeFloat64(1.0), Node::makeFloat32(1.0f)});
    const QByteArray data = BinaryPlistWriter::write(array);
    const quint64 count = qFromBigEndian<quint64>(data.constData() + data.size() - 24);
    EXPECT_EQ(count, 6u);  // the array, "x", 1, true, 1.0, 1.0f
    auto read = PlistValue::fromData(data);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->toArray().size(), 6);
    EXPECT_EQ(read->toArray().at(1).toString(), "x");
}

TEST(BinaryPlistWriter, WritesLongCollectionsWithExtendedCountsAndWideReferences) {
    // 300 distinct strings need two-byte references and counts beyond 14.
    Node array = Node::makeArray();
    for (int i = 0; i < 300; ++i)
        array.items().push_back(Node::makeString(QString("item %1").arg(i)));
    Node dict = Node::makeDictionary();
    dict.insert("list", std::move(array));
    dict.insert("bytes", Node::makeData(QByteArray(40, 'z')));
    auto read = PlistValue::fromData(BinaryPlistWriter::write(dict));
    ASSERT_TRUE(read);
    const PlistArray list = read->toDictionary().value("list").toArray();
    ASSERT_EQ(list.size(), 300);
    EXPECT_EQ(list.at(299).toString(), "item 299");
    EXPECT_EQ(read->toDictionary().value("bytes").toData(), QByteArray(40, 'z'));
}

TEST(BinaryPlistWriter, IsReadByPythonWithTypesIntact) {
    SKIP_WITHOUT_PYTHON();
    Node dict = Node::makeDictionary();
    dict.insert("f", Node::makeFloat32(0.1f));
    dict.insert("d", Node::makeFloat64(0.1));
    dict.insert("n", Node::makeInteger(-7));
    dict.insert("u", Node::makeUid(42));
    dict.insert("s", Node::makeString(QString::fromUtf8("Grüße ☃")));
    dict.insert("b", Node::makeBoolean(false));
    dict.insert("t", Node::makeDate(QDateTime::fromSecsSinceEpoch(978307200 + 60, Qt::UTC)));
    dict.insert("x", Node::makeData("\x01\x02"));
    const QString out = runPlistScript(
        BinaryPlistWriter::write(dict),
        "print(repr(p['f']), repr(p['d']), p['n'], type(p['u']).__name__, p['u'].data,\n"
        "      p['s'], p['b'], p['t'].isoformat(), p['x'].hex())");
    EXPECT_EQ(out, QString::fromUtf8(
                       "0.10000000149011612 0.1 -7 UID 42 Grüße ☃ False 2001-01-01T00:01:00 0102"));
}

TEST(BinaryPlistWriter, WritesTreesOfAnyDepthWithoutRecursing) {
    // A thread's stack would not hold one call per level of this.
    Node deep = Node::makeString("bottom");
    for (int i = 0; i < 100000; ++i) {
        Node outer = Node::makeArray();
        outer.items().push_back(std::move(deep));
        deep = std::move(outer);
    }
    const QByteArray written = BinaryPlistWriter::write(deep);
    EXPECT_TRUE(written.startsWith("bplist00"));
    EXPECT_GT(written.size(), 100000 * 2);
    while (deep.isContainer()) {  // taken apart level by level: destroying it whole recurses
        Node inner = std::move(deep.items().front());
        deep = std::move(inner);
    }

    // Order and content as the recursive numbering gave them: depth-first,
    // a dictionary's keys before its values.
    Node dictionary = Node::makeDictionary();
    dictionary.insert(
        "a", Node::makeArray({Node::makeInteger(1), Node::makeArray({Node::makeString("x")})}));
    dictionary.insert("b", Node::makeInteger(2));
    const auto read = PlistValue::fromData(BinaryPlistWriter::write(dictionary));
    ASSERT_TRUE(read);
    const PlistDictionary top = read->toDictionary();
    EXPECT_EQ(top.keys(), QStringList({"a", "b"}));
    const PlistArray a = top.value("a").toArray();
    ASSERT_EQ(a.size(), 2);
    EXPECT_EQ(a.at(0).toInteger(), 1);
    EXPECT_EQ(a.at(1).toArray().at(0).toString(), "x");
    EXPECT_EQ(top.value("b").toInteger(), 2);
}

TEST(BinaryPlistWriter, WritesTheSameBytesWhenGivenTheTreeAndLeavesItEmpty) {
    // Nested containers, shared keys and repeated scalars: freeing each
    // container once numbered must not change what is numbered after it.
    auto makeTree = [] {
        Node objects = Node::makeArray();
        for (int i = 0; i < 500; ++i) {
            Node item = Node::makeDictionary();
            item.insert("on", Node::makeBoolean(i % 3 == 0));
            item.insert("range", Node::makeString(QString("{%1, 1}").arg(i % 200)));
            item.insert("nested", Node::makeArray({Node::makeUid(static_cast<quint64>(i)),
                                                   Node::makeData(QByteArray(i % 7, 'd'))}));
            objects.items().push_back(std::move(item));
        }
        Node top = Node::makeDictionary();
        top.insert("$objects", std::move(objects));
        top.insert("$version", Node::makeInteger(100000));
        return top;
    };
    const Node kept = makeTree();
    const QByteArray fromKept = BinaryPlistWriter::write(kept);
    Node given = makeTree();
    EXPECT_EQ(BinaryPlistWriter::write(std::move(given)), fromKept);
    EXPECT_FALSE(given.isContainer());
    EXPECT_EQ(kept.entries().size(), 2u);  // the read-only form leaves its tree alone
}

TEST(BinaryPlistWriter, StoresEachDistinctScalarOnceAmongThousands) {
    // Enough scalars that the writer's index grows many times over.
    Node array = Node::makeArray();
    for (int i = 0; i < 20000; ++i)
        array.items().push_back(Node::makeString(QString::number(i % 5000)));
    for (int i = 0; i < 5000; ++i) array.items().push_back(Node::makeInteger(i));
    const QByteArray data = BinaryPlistWriter::write(std::move(array));
    const quint64 count = qFromBigEndian<quint64>(data.constData() + data.size() - 24);
    EXPECT_EQ(count, 1u + 5000 + 5000);  // the array, the strings, the integers
    const auto read = PlistValue::fromData(data);
    ASSERT_TRUE(read);
    const PlistArray items = read->toArray();
    ASSERT_EQ(items.size(), 25000);
    EXPECT_EQ(items.at(19999).toString(), "4999");
    EXPECT_EQ(items.at(24999).toInteger(), 4999);
}
