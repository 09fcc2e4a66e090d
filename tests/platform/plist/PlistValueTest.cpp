#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>

#include "platform/plist/PlistValue.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

PlistDictionary sample() {
    PlistDictionary d;
    d.set(QStringLiteral("string"), QStringLiteral("Zoë 日本"));
    d.set(QStringLiteral("integer"), 353);
    d.set(QStringLiteral("negative"), -5);
    d.set(QStringLiteral("real"), 1.25);
    d.set(QStringLiteral("bool"), true);
    d.set(QStringLiteral("date"),
          QDateTime(QDate(2013, 7, 30), QTime(20, 52, 4), QTimeZone::utc()));
    d.set(QStringLiteral("data"), QByteArray("\x00\xff", 2));
    d.set(QStringLiteral("array"), PlistArray{QStringLiteral("a"), 2});
    return d;
}

}  // namespace

TEST(PlistValueTest, RoundTripsEveryTypeInBothFormats) {
    const PlistValue original(sample());
    for (auto format : {PlistValue::Format::Xml, PlistValue::Format::Binary}) {
        auto read = PlistValue::fromData(original.serialize(format));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, original);
        EXPECT_EQ(read->toDictionary().keys(), original.toDictionary().keys());  // order kept
    }
}

TEST(PlistValueTest, ContainersHaveReferenceIdentity) {
    PlistDictionary description;
    PlistDictionary group;
    description.set(QStringLiteral("group"), group);
    group.set(QStringLiteral("items"), PlistArray{QStringLiteral("A")});
    EXPECT_EQ(description.value(QStringLiteral("group"))
                  .toDictionary()
                  .value(QStringLiteral("items"))
                  .toArray()
                  .size(),
              1);
    PlistDictionary copy = description.value(QStringLiteral("group")).toDictionary().mutableCopy();
    copy.set(QStringLiteral("folder"), QStringLiteral("X"));
    EXPECT_FALSE(group.contains(QStringLiteral("folder")));
    PlistDictionary deep = description.deepCopy();
    deep.value(QStringLiteral("group")).toDictionary().set(QStringLiteral("changed"), true);
    EXPECT_FALSE(group.contains(QStringLiteral("changed")));
}

TEST(PlistValueTest, RejectsGarbage) {
    Error error;
    EXPECT_FALSE(PlistValue::fromData("not a plist", &error).has_value());
    EXPECT_FALSE(error.isNull());
    EXPECT_FALSE(PlistValue::fromData("", &error).has_value());
}

// Whether the container accessor may be called on a temporary container.
template <typename Container>
constexpr bool valuesOfTemporaryCompile = requires {
    std::declval<Container&&>().values();
};
template <typename Container>
constexpr bool entriesOfTemporaryCompile = requires {
    std::declval<Container&&>().entries();
};

TEST(PlistValueTest, ContainerContentsCannotBeTakenFromATemporary) {
    // `for (v : value.toArray().values())` looped over freed storage whenever
    // the value was missing or not an array; it no longer compiles.
    static_assert(!valuesOfTemporaryCompile<PlistArray>);
    static_assert(!entriesOfTemporaryCompile<PlistDictionary>);
    static_assert(valuesOfTemporaryCompile<PlistArray&>);
    static_assert(entriesOfTemporaryCompile<const PlistDictionary&>);
    const PlistArray missing = PlistDictionary().value(QStringLiteral("none")).toArray();
    EXPECT_TRUE(missing.values().empty());
}

TEST(PlistValueTest, StringsHoldingNulReadWithoutAbortingAndKeysHoldingNulAreRefused) {
    // libplist asserts (ending the process) when such a string is read the
    // ordinary way; a damaged file must only fail to read.
    const auto damaged = PlistValue::fromData(fuzzSeed("archive/bplist_string_with_nul.bplist"));
    if (damaged) {
        EXPECT_EQ(damaged->type(), PlistValue::Type::String);
    }

    // ["é\0y"] and {"é\0b": "é\0y"}, as another writer writes them.
    const auto array = PlistValue::fromData(QByteArray::fromHex(
        "62706c6973743030a1016300e900000079080a000000000000010100000000000000020000000000000000"
        "0000000000000011"));
    ASSERT_TRUE(array);
    EXPECT_EQ(array->toArray().at(0).toString(), QString(QChar(0x00e9)) + QChar(0) + QChar(u'y'));
    Error error;
    EXPECT_FALSE(
        PlistValue::fromData(QByteArray::fromHex("62706c6973743030d101026300e9000000626300e9000000"
                                                 "79080b1200000000000001010000000000000003000000"
                                                 "00000000000000000000000019"),
                             &error));
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("NUL")));
}

TEST(PlistValueTest, ContainersNestedHundredsDeepAreRefused) {
    auto nested = [](int depth) {
        PlistValue value(QStringLiteral("bottom"));
        for (int i = 0; i < depth; ++i) value = PlistValue(PlistArray{value});
        return value.serialize(PlistValue::Format::Binary);
    };
    Error error;
    EXPECT_FALSE(PlistValue::fromData(nested(600), &error));
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("512 levels")));
    EXPECT_TRUE(PlistValue::fromData(nested(500)));
}

TEST(PlistValueTest, PythonReadsWhatWeWrite) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) GTEST_SKIP() << "python3 not installed";
    TestEnvironment env;
    for (auto format : {PlistValue::Format::Xml, PlistValue::Format::Binary}) {
        const QString path = env.path(QStringLiteral("sample.plist"));
        ASSERT_TRUE(PlistValue(sample()).writeToFile(path, format));
        QProcess p;
        p.start(
            python,
            {QStringLiteral("-c"),
             QStringLiteral("import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb')); "
                            "print(d['string'], d['integer'], d['negative'], d['real'], d['bool'], "
                            "d['date'].isoformat(), d['data'].hex(), d['array'])"),
             path});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                  QStringLiteral("Zoë 日本 353 -5 1.25 True 2013-07-30T20:52:04 00ff ['a', 2]"))
            << p.readAllStandardError().constData();
    }
}
