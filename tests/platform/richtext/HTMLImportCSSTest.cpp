#include <gtest/gtest.h>

#include "platform/richtext/CSSStyle.h"
#include "tests/support/TestEnvironment.h"

TEST(HTMLImportCSS, DeclarationsAreSplitOutsideQuotesAndParentheses) {
    const CSSStyle style = CSSStyle::fromDeclarations(QStringLiteral(
        " COLOR: red ; background: url(data:image/png;base64,AAA=) no-repeat;"
        " font-family: 'A;B', serif; color: blue !important; --en-highlight:yellow; broken"));
    EXPECT_EQ(style.value(QStringLiteral("color")), QStringLiteral("blue"));
    EXPECT_EQ(style.value(QStringLiteral("background")),
              QStringLiteral("url(data:image/png;base64,AAA=) no-repeat"));
    EXPECT_EQ(CSSStyle::fontFamilies(style.value(QStringLiteral("font-family"))),
              QStringList({QStringLiteral("A;B"), QStringLiteral("serif")}));
    EXPECT_EQ(style.value(QStringLiteral("--en-highlight")), QStringLiteral("yellow"));
    EXPECT_TRUE(style.value(QStringLiteral("broken")).isNull());
}

TEST(HTMLImportCSS, ColoursInEveryNotation) {
    EXPECT_EQ(CSSStyle::color(QStringLiteral("#f80")), QColor(255, 136, 0));
    EXPECT_EQ(CSSStyle::color(QStringLiteral("#FF8800")), QColor(255, 136, 0));
    EXPECT_EQ(CSSStyle::color(QStringLiteral("rgb(255, 136, 0)")), QColor(255, 136, 0));
    EXPECT_EQ(CSSStyle::color(QStringLiteral("rgb(100% 0% 0%)")), QColor(255, 0, 0));
    EXPECT_EQ(CSSStyle::color(QStringLiteral("hsl(120, 100%, 25%)")), QColor(0, 128, 0));
    EXPECT_EQ(CSSStyle::color(QStringLiteral("DarkRed")), QColor(139, 0, 0));
    // Half-transparent black over white, alpha last in eight-digit hex as CSS has it.
    EXPECT_EQ(CSSStyle::color(QStringLiteral("rgba(0, 0, 0, 0.5)")), QColor(128, 128, 128));
    EXPECT_EQ(CSSStyle::color(QStringLiteral("#00000080")), QColor(127, 127, 127));
    for (const char* none :
         {"transparent", "rgba(1,2,3,0)", "inherit", "#12", "rgb(1,2)", "url(x)"})
        EXPECT_FALSE(CSSStyle::color(QLatin1String(none))) << none;
}

TEST(HTMLImportCSS, LengthsAndFontSizesInPoints) {
    EXPECT_EQ(CSSStyle::length(QStringLiteral("12px"), 10, 16), 12);
    EXPECT_EQ(CSSStyle::length(QStringLiteral("9pt"), 10, 16), 12);
    EXPECT_EQ(CSSStyle::length(QStringLiteral("1.5em"), 10, 16), 15);
    EXPECT_EQ(CSSStyle::length(QStringLiteral("2rem"), 10, 16), 32);
    EXPECT_EQ(CSSStyle::length(QStringLiteral("40"), 10, 16), 40);
    EXPECT_FALSE(CSSStyle::length(QStringLiteral("50%"), 10, 16));
    EXPECT_FALSE(CSSStyle::length(QStringLiteral("auto"), 10, 16));

    EXPECT_EQ(CSSStyle::fontSize(QStringLiteral("medium"), 20, 12), 12);
    EXPECT_EQ(CSSStyle::fontSize(QStringLiteral("xx-large"), 20, 12), 24);
    EXPECT_EQ(CSSStyle::fontSize(QStringLiteral("150%"), 20, 12), 30);
    EXPECT_EQ(CSSStyle::fontSize(QStringLiteral("larger"), 10, 12), 12);
    EXPECT_FALSE(CSSStyle::fontSize(QStringLiteral("-3px"), 10, 12));

    EXPECT_EQ(CSSStyle::sides(QStringLiteral("1px 2px 3px")),
              QStringList({QStringLiteral("1px"), QStringLiteral("2px"), QStringLiteral("3px"),
                           QStringLiteral("2px")}));
    const CSSStyle::Border border =
        CSSStyle::border(QStringLiteral("1px solid rgb(1, 2, 3)"), 12, 16);
    EXPECT_EQ(border.width, 1);
    EXPECT_EQ(border.color, QColor(1, 2, 3));
    EXPECT_EQ(CSSStyle::border(QStringLiteral("solid"), 12, 16).width, 3);
    EXPECT_EQ(CSSStyle::border(QStringLiteral("none"), 12, 16).width, 0);
}
