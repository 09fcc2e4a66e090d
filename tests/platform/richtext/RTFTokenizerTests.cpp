#include <gtest/gtest.h>

#include <QStringList>

#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFTokenizer.h"

namespace {

// The tokens of `rtf` in a short written form: "{", "}", "\word3", "\sym",
// "'hh", "u-5", "bin:data", or the text itself. `skipAfterUnicode` is asked
// for after each \u, as the reader asks for its \uc.
QStringList tokens(const QByteArray& rtf, int skipAfterUnicode = 1) {
    using Kind = RTFTokenizer::Token::Kind;
    RTFTokenizer tokenizer(rtf, 0);
    QStringList list;
    for (RTFTokenizer::Token t = tokenizer.next(); t.kind != Kind::End; t = tokenizer.next()) {
        switch (t.kind) {
            case Kind::GroupStart:
                list << QStringLiteral("{");
                break;
            case Kind::GroupEnd:
                list << QStringLiteral("}");
                break;
            case Kind::Word:
                list << QLatin1Char('\\') + QString::fromLatin1(t.word) +
                            (t.hasParameter ? QString::number(t.parameter) : QString());
                break;
            case Kind::Symbol:
                list << QStringLiteral("\\sym") + QLatin1Char(t.symbol);
                break;
            case Kind::Text:
                list << QString::fromLatin1(t.text.toByteArray());
                break;
            case Kind::Byte:
                list << QStringLiteral("'%1").arg(t.parameter, 2, 16, QLatin1Char('0'));
                break;
            case Kind::Unicode:
                list << QStringLiteral("u%1").arg(t.parameter);
                tokenizer.skipFallbackCharacters(skipAfterUnicode);
                break;
            case Kind::Binary:
                list << QStringLiteral("bin:") + QString::fromLatin1(t.text.toByteArray());
                break;
            case Kind::End:
                break;
        }
    }
    return list;
}

QString readText(const QByteArray& rtf) {
    return RTFReader::attributedStringFromRTF(rtf).value_or(AttributedString()).string();
}

}  // namespace

TEST(RTFTokenizer, CutsWordsSymbolsTextAndGroups) {
    EXPECT_EQ(tokens("{\\b1 bold\\b0\r\n plain\\~\\-12\\li-720\\'e9}"),
              (QStringList{"{", "\\b1", "bold", "\\b0", " plain", "\\sym~", "\\sym-", "12",
                           "\\li-720", "'e9", "}"}));
    // Parameters are clamped to int; a word stops after 32 letters.
    EXPECT_EQ(tokens("\\fs99999999999 \\" + QByteArray(40, 'a')),
              (QStringList{"\\fs2147483647", "\\" + QString(32, 'a'), QString(8, 'a')}));
}

TEST(RTFTokenizer, BinaryDataIsNoSyntaxAndEndsWithTheInput) {
    // Braces and backslashes in \bin data do not open, close or escape.
    EXPECT_EQ(tokens("{\\bin3 {}\\x}"), (QStringList{"{", "bin:{}\\", "x", "}"}));
    // A length past the end takes what is there, and no more.
    EXPECT_EQ(tokens("{\\bin2000000000 ab}"), (QStringList{"{", "bin:ab}"}));
    EXPECT_EQ(tokens("\\bin-5 x"), (QStringList{"bin:", "x"}));
    // The reader keeps the text around a picture's binary data.
    EXPECT_EQ(readText("{\\rtf1 before{\\*\\pict\\bin4 }}}\\}after}"),
              QStringLiteral("beforeafter"));
}

TEST(RTFTokenizer, HexByteAtTheEndOfTheInputIsNoByte) {
    EXPECT_EQ(tokens("a\\'"), (QStringList{"a"}));
    EXPECT_EQ(tokens("a\\'4"), (QStringList{"a", "4"}));
    EXPECT_EQ(tokens("a\\"), (QStringList{"a"}));
    EXPECT_EQ(readText("{\\rtf1 x\\'e"), QStringLiteral("xe"));
}

TEST(RTFTokenizer, NegativeUnicodeValuesAreUTF16Units) {
    EXPECT_EQ(tokens("\\u-3913?\\u8364?"), (QStringList{"u-3913", "u8364"}));
    // Writers put characters above U+7FFF as negative numbers.
    EXPECT_EQ(readText("{\\rtf1 \\u-3913?\\u-10179?\\u-8704?}"),
              QStringLiteral("\uF0B7") + QString::fromUtf16(u"\U0001F600"));
}

TEST(RTFTokenizer, FallbackSkippingCountsControlWordsAndStopsAtGroups) {
    // A control word, \bin with its data and a \'hh byte each count as one character.
    EXPECT_EQ(tokens("\\u8364\\par\\bin2 xy\\'80 after", 3), (QStringList{"u8364", " after"}));
    // Part of a text run is skipped; a group end stops the skipping.
    EXPECT_EQ(tokens("\\u8364 abc", 2), (QStringList{"u8364", "c"}));
    EXPECT_EQ(tokens("{\\u8364 a}bc", 2), (QStringList{"{", "u8364", "}", "bc"}));
    // \* and line breaks stand for no character; a new \u starts its own count.
    EXPECT_EQ(tokens("\\u1\\*x\\u2\\'80y", 1), (QStringList{"u1", "\\sym*", "u2", "y"}));
    EXPECT_EQ(readText("{\\rtf1 \\uc1\\u8364\\par after}"), QStringLiteral("€after"));
    EXPECT_EQ(readText("{\\rtf1 \\uc0\\u8364\\par after}"), QStringLiteral("€\nafter"));
}
