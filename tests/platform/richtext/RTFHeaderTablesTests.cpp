#include <gtest/gtest.h>

#include <climits>

#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFColorTable.h"
#include "platform/richtext/RTFReader.h"

namespace {

AttributedString readRTF(const QByteArray& rtf) {
    return RTFReader::attributedStringFromRTF(rtf).value_or(AttributedString());
}

void addEntry(RTFColorTable& table, int red, int green, int blue) {
    table.tableWord("red", red);
    table.tableWord("green", green);
    table.tableWord("blue", blue);
    table.finishEntry();
}

}  // namespace

TEST(RTFColorTable, MissingEntriesAndIndexesHaveNoColor) {
    RTFColorTable table;
    table.finishEntry();  // the usual empty first entry
    addEntry(table, 300, -4, 0);
    table.finishEntry();  // ";;": an entry left out
    addEntry(table, 0, 0, 255);
    EXPECT_FALSE(table.color(0).isValid());
    EXPECT_EQ(table.color(1), QColor(255, 0, 0));  // components clamped
    EXPECT_FALSE(table.color(2).isValid());
    EXPECT_EQ(table.color(3), QColor(0, 0, 255));
    EXPECT_FALSE(table.color(4).isValid());
    EXPECT_FALSE(table.color(-1).isValid());
    EXPECT_FALSE(table.color(INT_MAX).isValid());
}

TEST(RTFColorTable, ExpandedEntriesOverrideAndDecideCocoaNoBackground) {
    RTFColorTable table;
    table.finishEntry();
    addEntry(table, 255, 255, 255);
    addEntry(table, 10, 20, 30);
    EXPECT_TRUE(table.isCocoaNoBackground(1));
    EXPECT_FALSE(table.isCocoaNoBackground(2));

    table.finishExpandedEntry();
    table.expandedWord("csgray", 0);
    table.expandedWord("c", 50000);
    table.finishExpandedEntry();
    table.expandedWord("cssrgb", 0);
    table.expandedWord("c", 100000);  // too few components: no colour
    table.finishExpandedEntry();
    EXPECT_EQ(table.color(1), QColor::fromRgbF(0.5f, 0.5f, 0.5f));
    EXPECT_FALSE(table.isCocoaNoBackground(1));
    EXPECT_EQ(table.color(2), QColor(10, 20, 30));
}

TEST(RTFFontTable, EntriesInNestedGroupsWithSkippedPartsAndUnicodeNames) {
    const AttributedString read = readRTF(
        "{\\rtf1\\deff1{\\fonttbl{\\f0\\fswiss Helvetica;}"
        "{\\f1{\\*\\panose 020b0604}Times New Roman{\\*\\falt Times};}"
        "{\\f2\\uc1 Caf\\u233 e;}{\\f3\\fcharset128 Osaka;}}"
        "default \\f2 cafe \\f3 \\'82\\'a0}");
    const auto fontAt = [&](qsizetype i) { return read.attributesAtIndex(i).font; };
    EXPECT_EQ(fontAt(0), FontRegistry::fontForPostScriptName(QStringLiteral("Times New Roman"), 12,
                                                             false, false));
    EXPECT_EQ(fontAt(read.string().indexOf(QLatin1String("cafe"))),
              FontRegistry::fontForPostScriptName(QStringLiteral("Café"), 12, false, false));
    // The font's character set picks the code page of its bytes.
    EXPECT_TRUE(read.string().endsWith(QStringLiteral("あ")));
}
