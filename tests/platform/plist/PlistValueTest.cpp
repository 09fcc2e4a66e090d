#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>

#include "platform/plist/PlistValue.h"
#include "tests/support/TestEnvironment.h"

namespace {

PlistDictionary sample() {
    PlistDictionary d;
    d.set(QStringLiteral("string"), QStringLiteral("Zoë 日本"));
    d.set(QStringLiteral("integer"), 353);
    d.set(QStringLiteral("negative"), -5);
    d.set(QStringLiteral("real"), 1.25);
    d.set(QStringLiteral("bool"), true);
    d.set(QStringLiteral("date"), QDateTime(QDate(2013, 7, 30), QTime(20, 52, 4), QTimeZone::utc()));
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
    EXPECT_EQ(description.value(QStringLiteral("group")).toDictionary().value(QStringLiteral("items")).toArray().size(), 1);
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

TEST(PlistValueTest, PythonReadsWhatWeWrite) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) GTEST_SKIP() << "python3 not installed";
    TestEnvironment env;
    for (auto format : {PlistValue::Format::Xml, PlistValue::Format::Binary}) {
        const QString path = env.path(QStringLiteral("sample.plist"));
        ASSERT_TRUE(PlistValue(sample()).writeToFile(path, format));
        QProcess p;
        p.start(python, {QStringLiteral("-c"),
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
