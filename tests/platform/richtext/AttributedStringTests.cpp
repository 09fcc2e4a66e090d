#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/richtext/AttributedString.h"
#include "platform/richtext/FontRegistry.h"

namespace {

TextAttributes colored(const QColor& color) {
    TextAttributes attributes;
    attributes.foregroundColor = color;
    return attributes;
}

}  // namespace

TEST(AttributedString, EqualNeighbouringRunsMergeIntoOneEffectiveRange) {
    AttributedString text(QStringLiteral("abcdef"));
    text.setAttributes(colored(Qt::red), {0, 2});
    text.setAttributes(colored(Qt::red), {2, 2});
    TextRange range;
    EXPECT_EQ(text.attributesAtIndex(3, &range).foregroundColor, QColor(Qt::red));
    EXPECT_EQ(range, (TextRange{0, 4}));
    text.removeAttribute(TextAttributeKey::ForegroundColor, {0, 4});
    text.attributesAtIndex(5, &range);
    EXPECT_EQ(range, (TextRange{0, 6}));
}

TEST(AttributedString, PlainReplacementTakesTheAttributesAroundIt) {
    AttributedString text(QStringLiteral("ab"), colored(Qt::red));
    text.append(QStringLiteral("cd"), colored(Qt::blue));

    text.replaceCharactersInRange({2, 1}, QStringLiteral("XY"));  // first replaced character: blue
    EXPECT_EQ(text.string(), QStringLiteral("abXYd"));
    EXPECT_EQ(text.attributesAtIndex(2).foregroundColor, QColor(Qt::blue));

    text.replaceCharactersInRange({2, 0},
                                  QStringLiteral("-"));  // empty range: the character before
    EXPECT_EQ(text.attributesAtIndex(2).foregroundColor, QColor(Qt::red));

    text.replaceCharactersInRange({0, 0}, QStringLiteral(">"));  // at the start: the one after
    EXPECT_EQ(text.attributesAtIndex(0).foregroundColor, QColor(Qt::red));
    EXPECT_EQ(text.string(), QStringLiteral(">ab-XYd"));
}

TEST(AttributedString, AttributedReplacementShiftsLaterRuns) {
    AttributedString text(QStringLiteral("one "), colored(Qt::red));
    text.append(QStringLiteral("two"), colored(Qt::blue));
    text.replaceCharactersInRange({0, 3},
                                  AttributedString(QStringLiteral("three"), colored(Qt::green)));
    EXPECT_EQ(text.string(), QStringLiteral("three two"));
    TextRange range;
    EXPECT_EQ(text.attributesAtIndex(5, &range).foregroundColor, QColor(Qt::red));
    EXPECT_EQ(range, (TextRange{5, 1}));
    EXPECT_EQ(text.attributesAtIndex(6, &range).foregroundColor, QColor(Qt::blue));
    EXPECT_EQ(range, (TextRange{6, 3}));

    text.deleteCharactersInRange({0, text.length()});
    EXPECT_EQ(text, AttributedString());
}

TEST(AttributedString, RangesOutsideTheTextThrow) {
    AttributedString text(QStringLiteral("abc"));
    EXPECT_THROW(text.attributesAtIndex(3), std::out_of_range);
    EXPECT_THROW(text.replaceCharactersInRange({2, 5}, QStringLiteral("x")), std::out_of_range);
    EXPECT_THROW(text.setAttributes({}, {-1, 1}), std::out_of_range);
    EXPECT_THROW(text.attributedSubstring({4, 0}), std::out_of_range);
    EXPECT_EQ(text.string(), QStringLiteral("abc"));
}

TEST(AttributedString, ParagraphsEndAtEachKindOfSeparator) {
    const AttributedString text(QStringLiteral("a\nb\r\nc\rd\u2029e\u2028f"));
    const QList<TextRange> paragraphs = text.paragraphRanges();
    ASSERT_EQ(paragraphs.size(), 5);
    EXPECT_EQ(paragraphs[1], (TextRange{2, 3}));  // "b\r\n" is one paragraph
    EXPECT_EQ(paragraphs[4], (TextRange{9, 3}));  // a line separator does not end one

    EXPECT_EQ(text.paragraphRangeForRange({3, 0}), (TextRange{2, 3}));
    EXPECT_EQ(text.paragraphRangeForRange({4, 0}), (TextRange{2, 3}));  // inside the CRLF
    EXPECT_EQ(text.paragraphRangeForRange({1, 3}), (TextRange{0, 5}));
    EXPECT_EQ(text.paragraphRangeForRange({12, 0}), (TextRange{9, 3}));

    QStringList lines;
    text.enumerateLines([&](const TextRange& contents, const TextRange&, bool&) {
        lines << text.string().mid(contents.location, contents.length);
    });
    EXPECT_EQ(lines, (QStringList{"a", "b", "c", "d", "e", "f"}));
}

TEST(AttributedString, AttachmentsAreFoundOnlyOnAttachmentCharacters) {
    TextAttributes withAttachment;
    withAttachment.attachment =
        TextAttachment(FileWrapper::regularFile("x", QStringLiteral("x.txt")));
    AttributedString text(QStringLiteral("a"));
    text.append(QStringLiteral("\uFFFCb\uFFFC"), withAttachment);
    text.append(QStringLiteral("\uFFFC"), {});
    QList<qsizetype> found;
    text.enumerateAttachments(
        {0, text.length()}, [&](const TextAttachment& attachment, const TextRange& range, bool&) {
            EXPECT_EQ(attachment.fileWrapper().preferredFilename(), QStringLiteral("x.txt"));
            found << range.location;
        });
    EXPECT_EQ(found, (QList<qsizetype>{1, 3}));
}

TEST(AttributedString, SubstringsAndCopiesAreIndependentValues) {
    AttributedString text(QStringLiteral("red "), colored(Qt::red));
    text.append(QStringLiteral("blue"), colored(Qt::blue));
    AttributedString copy = text;
    copy.setAttributes({}, {0, copy.length()});
    EXPECT_NE(copy, text);

    const AttributedString part = text.attributedSubstring({2, 4});
    AttributedString expected(QStringLiteral("d "), colored(Qt::red));
    expected.append(QStringLiteral("bl"), colored(Qt::blue));
    EXPECT_EQ(part, expected);
}

TEST(AttributedString, FontFamilySubstitutionKeepsSizeAndTraits) {
    TextAttributes attributes;
    attributes.font = FontRegistry::fontWithFamily(QStringLiteral("Lucida Grande"), 13, true);
    AttributedString text(QStringLiteral("abc"), attributes);
    text.substituteFontFamily(QStringLiteral("Lucida Grande"), QStringLiteral("Helvetica"));
    const Font font = *text.attributesAtIndex(0).font;
    EXPECT_EQ(font, FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), 13, true));
    EXPECT_EQ(font.postScriptName(), QStringLiteral("Helvetica-Bold"));
}

TEST(AttributedString, RunsWithEqualAttributesShareOneValue) {
    // Lines alternating between two styles, as a long checklist has them.
    AttributedString text;
    for (int line = 0; line < 50; ++line) {
        text.append(QStringLiteral("x"), colored(Qt::red));
        text.append(QStringLiteral("item\n"), colored(Qt::blue));
    }
    EXPECT_EQ(&text.attributesAtIndex(0), &text.attributesAtIndex(6 * 49));
    EXPECT_EQ(&text.attributesAtIndex(1), &text.attributesAtIndex(6 * 49 + 1));

    // Changing each line on its own still leaves one value per style.
    TextAttributes underlined;
    underlined.underline = TextDecoration();
    for (const TextRange& line : text.paragraphRanges()) text.addAttributes(underlined, line);
    EXPECT_EQ(&text.attributesAtIndex(0), &text.attributesAtIndex(6 * 49));
    EXPECT_EQ(&text.attributesAtIndex(5), &text.attributesAtIndex(6 * 49 + 5));
    EXPECT_NE(&text.attributesAtIndex(0), &text.attributesAtIndex(1));
    EXPECT_TRUE(text.attributesAtIndex(6 * 49 + 3).underline.has_value());

    // Splitting a run and taking a substring share what the run had.
    text.setAttributes(colored(Qt::green), {2, 1});
    EXPECT_EQ(&text.attributesAtIndex(1), &text.attributesAtIndex(3));
    const AttributedString part = text.attributedSubstring({6, 12});
    EXPECT_EQ(part.attributesAtIndex(1).foregroundColor, QColor(Qt::blue));
}

TEST(AttributedString, ChangingASharedValueLeavesOtherStringsAlone) {
    AttributedString text(QStringLiteral("one "), colored(Qt::red));
    text.append(QStringLiteral("two"), colored(Qt::blue));
    const AttributedString original = text;
    AttributedString copy = text;
    TextAttributes bold;
    bold.font = FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), 12, true);
    copy.addAttributes(bold, {0, copy.length()});
    copy.removeAttribute(TextAttributeKey::ForegroundColor, {0, 2});
    EXPECT_EQ(text, original);
    EXPECT_FALSE(text.attributesAtIndex(0).font.has_value());
    EXPECT_EQ(text.attributesAtIndex(0).foregroundColor, QColor(Qt::red));
    EXPECT_TRUE(copy.attributesAtIndex(5).font.has_value());

    // Equality compares values, however the strings were built.
    AttributedString rebuilt(QStringLiteral("one "), colored(Qt::red));
    rebuilt.append(QStringLiteral("two"), colored(Qt::blue));
    EXPECT_EQ(rebuilt, original);
}
