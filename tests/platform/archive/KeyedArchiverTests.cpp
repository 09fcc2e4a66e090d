#include <gtest/gtest.h>

#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "tests/platform/archive/PythonPlist.h"
#include "tests/support/TestFiles.h"

namespace {

// A small archivable class with one field of each scalar kind and a child.
class TestNote : public ArchivableObject {
  public:
    QString title;
    int count = 0;
    bool done = false;
    double width = 0;
    float height = 0;
    ArchiveValue child;

    QString className() const override { return "MyNote"; }
    void encodeWithCoder(KeyedArchiver& coder) override {
        coder.encodeObject(title, "title");
        coder.encodeInt(count, "count");
        coder.encodeBool(done, "done");
        coder.encodeDouble(width, "w");
        coder.encodeFloat(height, "h");
        coder.encodeObject(child, "child");
    }
    static std::shared_ptr<ArchivableObject> decode(KeyedUnarchiver& coder) {
        auto note = std::make_shared<TestNote>();
        note->title = coder.decodeObject("title").toString();
        note->count = coder.decodeInt("count");
        note->done = coder.decodeBool("done");
        note->width = coder.decodeDouble("w");
        note->height = coder.decodeFloat("h");
        note->child = coder.decodeObject("child");
        return note;
    }
};

std::shared_ptr<TestNote> makeNote(const QString& title, ArchiveValue child = {}) {
    auto note = std::make_shared<TestNote>();
    note->title = title;
    note->count = 3;
    note->done = true;
    note->width = 1.5;
    note->height = 1.5f;
    note->child = std::move(child);
    return note;
}

ArchiveValue unarchive(const QByteArray& data) {
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(data);
    EXPECT_TRUE(unarchiver);
    if (!unarchiver) return {};
    unarchiver->setClassFactory("MyNote", &TestNote::decode);
    ArchiveValue root = unarchiver->decodeObject("root");
    EXPECT_FALSE(unarchiver->error()) << unarchiver->error().description().toStdString();
    return root;
}

PlistDictionary classDescription(const QString& name, const QStringList& chain) {
    PlistDictionary dict;
    PlistArray classes;
    for (const auto& c : chain) classes.append(c);
    dict.set("$classes", classes);
    dict.set("$classname", name);
    return dict;
}

}  // namespace

TEST(KeyedArchiver, WritesTheEnvelopeAndObjectsInThePlatformOrder) {
    auto inner = makeNote("Inner");
    auto root = makeNote("Hello", ArchiveValue::array({"Hello", inner}));
    inner->child = ArchiveValue();
    auto plist = PlistValue::fromData(KeyedArchiver::archivedDataWithRootObject(root));
    ASSERT_TRUE(plist);
    const PlistDictionary envelope = plist->toDictionary();
    EXPECT_EQ(envelope.value("$archiver").toString(), "NSKeyedArchiver");
    EXPECT_EQ(envelope.value("$version").toInteger(), 100000);
    EXPECT_EQ(envelope.value("$top").toDictionary().value("root"), PlistValue::uid(1));

    // Slots: taken at first encoding, children depth-first, class descriptions
    // after the first instance of their class has finished.
    PlistDictionary rootFields;
    rootFields.set("$class", PlistValue::uid(6));
    rootFields.set("title", PlistValue::uid(2));
    rootFields.set("count", 3);
    rootFields.set("done", true);
    rootFields.set("w", 1.5);
    rootFields.set("h", 1.5);
    rootFields.set("child", PlistValue::uid(3));
    PlistDictionary arrayFields;
    arrayFields.set("$class", PlistValue::uid(7));
    arrayFields.set("NS.objects", PlistArray{PlistValue::uid(2), PlistValue::uid(4)});
    PlistDictionary innerFields = rootFields.deepCopy();
    innerFields.set("title", PlistValue::uid(5));
    innerFields.set("child", PlistValue::uid(0));
    const PlistArray expected{"$null",
                              rootFields,
                              "Hello",
                              arrayFields,
                              innerFields,
                              "Inner",
                              classDescription("MyNote", {"MyNote", "NSObject"}),
                              classDescription("NSArray", {"NSArray", "NSObject"})};
    EXPECT_EQ(envelope.value("$objects"), PlistValue(expected));
}

TEST(KeyedArchiver, RoundTripsEveryFoundationType) {
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1700000000123LL, Qt::UTC);
    const ArchiveValue nested = ArchiveValue::dictionary(
        {{"k", ArchiveValue::array({1, "two", 3.25}, true)}, {7, "number key"}}, true);
    const ArchiveValue original = ArchiveValue::dictionary({
        {"string", QString::fromUtf8("Grüße \U0001F600")},
        {"mutable", ArchiveValue::mutableString("changeable")},
        {"yes", true},
        {"int", qint64(-1234567890123LL)},
        {"float", 0.1f},
        {"double", 0.1},
        {"data", QByteArray("\x00\x01\xff", 3)},
        {"date", date},
        {"color", QColor::fromRgbF(0.25f, 0.5f, 0.75f, 0.5f)},
        {"nested", nested},
        {"empty", ArchiveValue::array({})},
    });
    const ArchiveValue decoded = unarchive(KeyedArchiver::archivedDataWithRootObject(original));
    EXPECT_EQ(decoded.value("string"), original.value("string"));
    EXPECT_EQ(decoded.value("mutable"), ArchiveValue::mutableString("changeable"));
    EXPECT_EQ(decoded.value("yes"), ArchiveValue(true));
    EXPECT_EQ(decoded.value("int"), ArchiveValue(qint64(-1234567890123LL)));
    EXPECT_FLOAT_EQ(decoded.value("float").toDouble(), 0.1f);
    EXPECT_EQ(decoded.value("double").toDouble(), 0.1);
    EXPECT_EQ(decoded.value("data").toData(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(decoded.value("date").toDate(), date);
    EXPECT_EQ(decoded.value("color").toColor().rgba64(),
              QColor::fromRgbF(0.25f, 0.5f, 0.75f, 0.5f).rgba64());
    EXPECT_EQ(decoded.value("nested"), nested);
    EXPECT_TRUE(decoded.value("nested").isMutable());
    EXPECT_EQ(decoded.value("empty").type(), ArchiveValue::Type::Array);
    EXPECT_EQ(decoded.dictionaryEntries().size(), original.dictionaryEntries().size());
}

TEST(KeyedArchiver, RoundTripsScalarsAndRectanglesOfCustomClasses) {
    auto root = makeNote("t");
    root->count = -42;
    root->width = 100.1;
    root->height = 0.1f;
    root->done = false;
    auto decoded = unarchive(KeyedArchiver::archivedDataWithRootObject(root)).toObject<TestNote>();
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->count, -42);
    EXPECT_EQ(decoded->width, 100.1);
    EXPECT_EQ(decoded->height, 0.1f);
    EXPECT_FALSE(decoded->done);

    KeyedArchiver archiver;
    archiver.encodeRect(QRectF(1.5, -2, 100.1, 0), "rect");
    archiver.encodeInt64(-5, "$dollar");
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(archiver.encodedData());
    ASSERT_TRUE(unarchiver);
    EXPECT_EQ(unarchiver->decodeRect("rect"), QRectF(1.5, -2, 100.1, 0));
    EXPECT_EQ(unarchiver->decodeInt64("$dollar"), -5);
    EXPECT_TRUE(unarchiver->containsValueForKey("$dollar"));
    EXPECT_EQ(unarchiver->decodeRect("missing"), QRectF());
}

TEST(KeyedArchiver, KeepsIdentityOfSharedObjectsAndSurvivesCycles) {
    auto shared = makeNote("shared");
    auto root =
        makeNote("root", ArchiveValue::array({shared, shared, ArchiveValue::array({shared})}));
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(root);

    // One slot for the shared note: its title "shared" appears once.
    auto objects = PlistValue::fromData(data)->toDictionary().value("$objects").toArray();
    int titles = 0;
    int instancesOfShared = 0;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        if (objects.at(i).toString() != "shared") continue;
        ++titles;
        for (const auto& object : objects.values())
            instancesOfShared += object.toDictionary().value("title") == PlistValue::uid(i);
    }
    EXPECT_EQ(titles, 1);
    EXPECT_EQ(instancesOfShared, 1);

    auto decoded = unarchive(data).toObject<TestNote>();
    ASSERT_TRUE(decoded);
    const auto& items = decoded->child.arrayItems();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].identity(), items[1].identity());
    EXPECT_EQ(items[2].arrayItems().at(0).identity(), items[0].identity());

    // A note that holds itself archives as a back reference and decodes
    // without looping; the back reference reads as nil.
    auto loop = makeNote("loop");
    loop->child = loop;
    auto back = unarchive(KeyedArchiver::archivedDataWithRootObject(loop)).toObject<TestNote>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title, "loop");
    EXPECT_TRUE(back->child.isNull());
    loop->child = ArchiveValue();  // break the cycle so the note is freed
}

TEST(KeyedArchiver, KeepsUnknownClassesWhole) {
    auto original = makeNote("kept", ArchiveValue::array({"a", "b"}));
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(original);
    // Without a factory the note comes back as a generic instance…
    auto generic = KeyedUnarchiver::unarchivedRootObject(data);
    ASSERT_TRUE(generic);
    auto instance = generic->toObject<ArchivedInstance>();
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->className(), "MyNote");
    EXPECT_EQ(instance->field("title").toString(), "kept");
    EXPECT_EQ(instance->field("w"), ArchiveValue(1.5));
    // …which archives again into the same content.
    auto again =
        unarchive(KeyedArchiver::archivedDataWithRootObject(*generic)).toObject<TestNote>();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->title, "kept");
    EXPECT_EQ(again->count, 3);
    EXPECT_TRUE(again->done);
    EXPECT_EQ(again->height, 1.5f);
    EXPECT_EQ(again->child, ArchiveValue::array({"a", "b"}));
}

TEST(KeyedUnarchiver, RejectsNonArchivesAndReportsCorruptReferences) {
    Error error;
    EXPECT_FALSE(KeyedUnarchiver::unarchivedRootObject("not a plist", &error));
    EXPECT_EQ(error.domain(), "KeyedArchiveErrorDomain");
    EXPECT_EQ(error.code(), KeyedUnarchiver::NotAnArchive);

    PlistDictionary top;
    top.set("root", PlistValue::uid(99));
    PlistDictionary envelope;
    envelope.set("$top", top);
    envelope.set("$objects", PlistArray{"$null"});
    error = Error();
    EXPECT_FALSE(KeyedUnarchiver::unarchivedRootObject(
        PlistValue(envelope).serialize(PlistValue::Format::Binary), &error));
    EXPECT_EQ(error.code(), KeyedUnarchiver::CorruptArchive);

    // Objects nested thousands deep are refused rather than exhausting the
    // stack. Written by hand: the archiver itself refuses such a graph.
    PlistArray objects{"$null", classDescription("NSArray", {"NSArray", "NSObject"})};
    for (int i = 0; i < 3000; ++i) {
        PlistDictionary array;
        array.set("$class", PlistValue::uid(1));
        array.set("NS.objects", PlistArray{PlistValue::uid(quint64(objects.size() + 1))});
        objects.append(array);
    }
    objects.append("bottom");
    top.set("root", PlistValue::uid(2));
    envelope.set("$top", top);
    envelope.set("$objects", objects);
    envelope.set("$archiver", "NSKeyedArchiver");
    envelope.set("$version", 100000);
    error = Error();
    EXPECT_FALSE(KeyedUnarchiver::unarchivedRootObject(
        PlistValue(envelope).serialize(PlistValue::Format::Binary), &error));
    EXPECT_EQ(error.code(), KeyedUnarchiver::CorruptArchive);
}

TEST(KeyedUnarchiver, TakesTheClassNameAloneWhenAClassHasNoChain) {
    // A damaged archive whose class entry lacks "$classes": the reader once
    // walked freed memory here.
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(
        fuzzSeed("archive/keyed_archive_class_without_classes.plist"));
    ASSERT_TRUE(unarchiver);
    unarchiver->setClassFactory("PMNoteAttributes",
                                [](KeyedUnarchiver& coder) -> std::shared_ptr<ArchivableObject> {
                                    auto note = std::make_shared<TestNote>();
                                    note->count = coder.decodeInt("x");
                                    return note;
                                });
    const auto root = unarchiver->decodeObject("root").toObject<TestNote>();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->count, 1);
}

TEST(KeyedUnarchiver, RefusesADateFarOutOfRange) {
    // Found by fuzzing: the milliseconds of such a date overflowed.
    PlistDictionary date;
    date.set("$class", PlistValue::uid(2));
    date.set("NS.time", -1.05659e+273);
    PlistDictionary top;
    top.set("root", PlistValue::uid(1));
    PlistDictionary envelope;
    envelope.set("$archiver", "NSKeyedArchiver");
    envelope.set("$version", 100000);
    envelope.set("$top", top);
    envelope.set("$objects",
                 PlistArray{"$null", date, classDescription("NSDate", {"NSDate", "NSObject"})});
    Error error;
    EXPECT_FALSE(KeyedUnarchiver::unarchivedRootObject(
        PlistValue(envelope).serialize(PlistValue::Format::Binary), &error));
    EXPECT_EQ(error.code(), KeyedUnarchiver::CorruptArchive);
}

TEST(KeyedArchiver, RefusesGraphsNestedDeeperThanItsReaderGoesInsteadOfOverflowingTheStack) {
    ArchiveValue deep = ArchiveValue::array({"bottom"});
    for (int i = 0; i < 3000; ++i) deep = ArchiveValue::array({deep});
    Error error;
    EXPECT_TRUE(KeyedArchiver::archivedDataWithRootObject(deep, &error).isEmpty());
    EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(error.code(), 4866);

    // Plain property lists inside an object count as well.
    KeyedArchiver archiver;
    archiver.encodePropertyList(deep, "plist");
    EXPECT_TRUE(archiver.encodedData().isEmpty());
    EXPECT_TRUE(archiver.failed());

    // As deep as the unarchiver reads: archived and read back whole.
    ArchiveValue nested = ArchiveValue::array({"bottom"});
    for (int i = 0; i < 100; ++i) nested = ArchiveValue::array({nested});
    error = Error();
    ArchiveValue back = unarchive(KeyedArchiver::archivedDataWithRootObject(nested, &error));
    EXPECT_FALSE(error);
    int depth = 0;
    while (back.type() == ArchiveValue::Type::Array && back.arrayItems().size() == 1) {
        const ArchiveValue inner = back.arrayItems().first();
        back = inner;
        ++depth;
    }
    EXPECT_EQ(depth, 101);
    EXPECT_EQ(back.toString(), "bottom");
}

TEST(KeyedArchiver, IsReadByPythonWithUidsAndRealWidths) {
    SKIP_WITHOUT_PYTHON();
    auto root =
        makeNote("Hello", ArchiveValue::dictionary(
                              {{"when", QDateTime::fromSecsSinceEpoch(978307200 + 2, Qt::UTC)}}));
    root->width = 0.1;
    root->height = 0.1f;
    const QString out = runPlistScript(
        KeyedArchiver::archivedDataWithRootObject(root),
        "o = p['$objects']\n"
        "r = o[p['$top']['root'].data]\n"
        "d = o[r['child'].data]\n"
        "when = o[d['NS.objects'][0].data]\n"
        "print(p['$archiver'], p['$version'], o[0], type(r['$class']).__name__,\n"
        "      o[r['$class'].data]['$classname'], o[r['title'].data], r['count'], r['done'],\n"
        "      repr(r['w']), repr(r['h']), o[d['NS.keys'][0].data], when['NS.time'],\n"
        "      o[d['$class'].data]['$classes'])");
    EXPECT_EQ(out,
              "NSKeyedArchiver 100000 $null UID MyNote Hello 3 True 0.1 0.10000000149011612 "
              "when 2.0 ['NSDictionary', 'NSObject']");
}
