#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"
#include "util/EncryptedItemNames.h"
#include "util/ListExtensions.h"
#include "util/TextExtensions.h"

using namespace QVExtensions;

TEST(TextCleanUp, RemovesNewlinesAndTabsThenTrimsWhiteSpace) {
    EXPECT_EQ(stringByRemovingNewlinesAndTabs(QStringLiteral("\t a\r\nb\tc \n")), "a  b c");
    EXPECT_EQ(stringByRemovingNewlines(QStringLiteral("\na\tb\r")), "a\tb");
    // Only white space is trimmed: a line separator at the end stays.
    EXPECT_EQ(stringByRemovingNewlines(QStringLiteral("a\u2028")), "a\u2028");
    EXPECT_EQ(stringByTrimmingWhitespace(QStringLiteral("\u00A0\u2028 a b\u0085\r")), "a b");
    EXPECT_EQ(stringByRemovingNewlinesAndTabs(QString()), "");
}

TEST(TextCleanUp, StandardizesEveryKindOfLineBreak) {
    EXPECT_EQ(stringByStandardizingNewlines(QStringLiteral("a\r\nb\n\rc\rd")), "a\nb\nc\nd");
    EXPECT_EQ(stringByStandardizingNewlines(QStringLiteral("\r\n\r\n")), "\n\n");
    EXPECT_EQ(stringByStandardizingNewlines(QStringLiteral("\n\r\n")), "\n\n");
    EXPECT_EQ(stringByStandardizingNewlines(QStringLiteral("\r\r")), "\n\n");
}

TEST(TextCleanUp, RemovesControlAndIllegalCharactersWhole) {
    // Cc, Cf (zero-width joiner, a tag character outside the BMP), an
    // unassigned BMP code point, a noncharacter and an unassigned plane-3 one.
    const QString text = QStringLiteral("a\u0001b\u200Dc") + QString::fromUcs4(U"\U000E0041") +
                         QStringLiteral("d\u0378e\uFFFEf") + QString::fromUcs4(U"\U0003FFFD") +
                         QStringLiteral("g");
    EXPECT_EQ(stringByRemovingControlAndIllegalCharacters(text), "abcdefg");
    // Assigned characters outside the BMP stay, both halves.
    const QString emoji = QString::fromUcs4(U"x\U0001F600y");
    EXPECT_EQ(stringByRemovingControlAndIllegalCharacters(emoji), emoji);
    EXPECT_EQ(
        stringByRemovingCharactersInSet(QStringLiteral(" a b "), CharacterClasses::isWhiteSpace),
        "ab");
}

TEST(CaseInsensitiveTests, CompareUnitsIgnoringCase) {
    EXPECT_TRUE(startsWith(QStringLiteral("abcdef"), QStringLiteral("ABC")));
    EXPECT_TRUE(startsWith(QStringLiteral("abc"), QString()));
    EXPECT_FALSE(startsWith(QStringLiteral("ab"), QStringLiteral("abc")));
    EXPECT_TRUE(endsWith(QStringLiteral("Report.PDF"), QStringLiteral(".pdf")));
    EXPECT_FALSE(endsWith(QStringLiteral("df"), QStringLiteral(".pdf")));
    EXPECT_FALSE(containsString(QStringLiteral("abc"), QString()));
    EXPECT_TRUE(containsString(QStringLiteral("Don't"), QStringLiteral("'T")));
    EXPECT_TRUE(isCaseInsensitiveEqualToString(QStringLiteral("ÄÖx"), QStringLiteral("äöX")));
    EXPECT_FALSE(isCaseInsensitiveEqualToString(QStringLiteral("a"), QStringLiteral("ab")));
}

TEST(URLText, PercentEncodesOnlyBytesThatCannotStandInAURL) {
    EXPECT_EQ(percentEncodedURLString(QStringLiteral("http://x.org/a b?q=ü&r=%20#f")),
              "http://x.org/a%20b?q=%C3%BC&r=%20#f");
    EXPECT_EQ(percentEncodedURLString(QStringLiteral("<\"{|}\\^`>")),
              "%3C%22%7B%7C%7D%5C%5E%60%3E");
    EXPECT_EQ(percentEncodedURLString(QString()), "");
}

TEST(FileNames, FileSystemRepresentationKeepsTheTextAsGiven) {
    // Linux stores names as given: no change of normalisation.
    const QString composed = QStringLiteral("Caf\u00E9");
    const QString decomposed = QStringLiteral("Cafe\u0301");
    EXPECT_EQ(fileSystemRepresentationString(composed), composed);
    EXPECT_EQ(fileSystemRepresentationString(decomposed), decomposed);
    EXPECT_EQ(fileDisplayName(QStringLiteral("/home/me/Notes.pmnote/")), "Notes.pmnote");
    EXPECT_EQ(fileDisplayName(QStringLiteral("/")), "/");
}

TEST(FileNames, GeneratedFromTheFirstLine) {
    EXPECT_EQ(generateFilename(QStringLiteral("  ..Shopping list\nmilk\neggs")), "Shopping list");
    // A control character ends the name as a line break does.
    EXPECT_EQ(generateFilename(QStringLiteral("Title\u0007rest")), "Title");
    // Attachments' places are removed first.
    EXPECT_EQ(generateFilename(QStringLiteral("\uFFFCPhoto of\uFFFC the sea\n")),
              "Photo of the sea");
    EXPECT_EQ(generateFilename(QStringLiteral("a/b: c\n")), "a-b- c");
}

TEST(FileNames, GeneratedFromWordsUpToTheLimit) {
    EXPECT_EQ(generateFilename(QStringLiteral("v1.2 notes")), "v1");
    // The word crossing unit 128 stays whole; the next one is left out.
    const QString words = QString(125, u'a') + QStringLiteral(" bcdefg hij");
    EXPECT_EQ(generateFilename(words), QString(125, u'a') + QStringLiteral(" bcdefg"));
    // A long text without breaks gives one long word, made safe as a name.
    const auto longWord = generateFilename(QString(400, u'x'));
    ASSERT_TRUE(longWord);
    EXPECT_EQ(longWord->size(), 254);
}

TEST(FileNames, NothingToNameGivesNoName) {
    EXPECT_FALSE(generateFilename(QString()));
    EXPECT_FALSE(generateFilename(QStringLiteral(" . \n ")));
    EXPECT_FALSE(generateFilename(QStringLiteral("\uFFFC\uFFFC")));
    EXPECT_FALSE(generateFilename(QStringLiteral("\u200Babc")));
}

TEST(Constructors, DecodeBytesUpToLengthOrZero) {
    EXPECT_EQ(stringWithCString("abc\0def", QStringConverter::Utf8, 7), "abc");
    EXPECT_EQ(stringWithCString("h\xC3\xA9llo", QStringConverter::Utf8, 3), "h\u00E9");
    EXPECT_EQ(stringWithCString("\xE9t\xE9", QStringConverter::Latin1, 3), "\u00E9t\u00E9");
    EXPECT_EQ(stringWithCString(nullptr, QStringConverter::Utf8, 5), "");
    EXPECT_EQ(stringWithCString("abc", QStringConverter::Utf8, 0), "");
    // Not UTF-8, or a sequence cut off by the length: no text.
    EXPECT_FALSE(stringWithCString("\xE9t\xE9", QStringConverter::Utf8, 3));
    EXPECT_FALSE(stringWithCString("h\xC3\xA9", QStringConverter::Utf8, 2));
}

TEST(EncryptedItems, RecognisedByTheirExactExtension) {
    EXPECT_TRUE(PMExtensions::isEncryptedFile(QStringLiteral("/lib/Secret.pmencryptnote")));
    EXPECT_TRUE(PMExtensions::isEncryptedFile(QStringLiteral("a.b.pmencryptwebpage")));
    EXPECT_FALSE(PMExtensions::isEncryptedFile(QStringLiteral("Secret.PMENCRYPTNOTE")));
    EXPECT_FALSE(PMExtensions::isEncryptedFile(QStringLiteral("pmencryptnote")));
    EXPECT_FALSE(PMExtensions::isEncryptedFile(QStringLiteral("x.pmencryptnote.zip")));
}

namespace {
struct Shape {
    virtual ~Shape() = default;
};
struct Circle : Shape {};
struct Ring : Circle {};
}  // namespace

TEST(ListOperations, KeepOrderAndDropEveryOccurrence) {
    const QStringList list = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a"),
                              QStringLiteral("c"), QStringLiteral("b")};
    EXPECT_EQ(arrayByRemovingObjectsFromArray(
                  list, QStringList{QStringLiteral("a"), QStringLiteral("x")}),
              (QStringList{QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("b")}));
    EXPECT_EQ(arrayOfUniqueStrings(list),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));

    Shape shape;
    Circle circle;
    Ring ring;
    const QList<Shape*> shapes = {&ring, &shape, nullptr, &circle};
    EXPECT_EQ(objectsOfKindOfClass<Circle>(shapes), (QList<Circle*>{&ring, &circle}));
}
