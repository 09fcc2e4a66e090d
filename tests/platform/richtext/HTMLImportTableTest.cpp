#include <gtest/gtest.h>

#include "platform/richtext/HTMLImporter.h"
#include "platform/richtext/RTFWriter.h"
#include "tests/support/TestEnvironment.h"

namespace {

AttributedString importHTML(const QByteArray& html) {
    WebPreferences preferences;
    preferences.setStandardFontFamily(QStringLiteral("Helvetica"));
    preferences.setDefaultFontSize(12);
    Error error;
    std::optional<AttributedString> text =
        HTMLImporter::attributedStringFromHTML(html, QUrl(), preferences, &error);
    EXPECT_TRUE(text) << error.description().toStdString();
    return text.value_or(AttributedString());
}

// The innermost table block of the paragraph holding `needle`.
TextTableBlock cellOf(const AttributedString& text, const QString& needle, int level = 0) {
    const qsizetype index = text.string().indexOf(needle);
    EXPECT_GE(index, 0) << needle.toStdString();
    const QList<TextTableBlock> blocks =
        text.attributesAtIndex(std::max<qsizetype>(index, 0)).effectiveParagraphStyle().textBlocks;
    EXPECT_GT(blocks.size(), level) << needle.toStdString();
    return blocks.value(level);
}

}  // namespace

TEST(HTMLImportTable, CellsArePlacedWithTheirSpans) {
    const AttributedString text = importHTML(
        "<table border=\"1\" cellpadding=\"4\">"
        "<tr><th colspan=\"2\">Head</th><td rowspan=\"2\">Tall</td></tr>"
        "<tr><td>A</td><td></td></tr>"
        "<tbody><tr><td>B</td><td>C</td><td>D</td></tr></tbody>"
        "</table><div>after</div>");
    // Every cell is at least one paragraph, the empty one included.
    EXPECT_EQ(text.string(), QStringLiteral("Head\nTall\nA\n\nB\nC\nD\nafter\n"));

    const TextTableBlock head = cellOf(text, QStringLiteral("Head"));
    EXPECT_EQ(head.table.numberOfColumns(), 3);
    EXPECT_EQ(head.columnSpan, 2);
    EXPECT_EQ(head.borderWidth, 1);
    EXPECT_EQ(head.padding, 4);
    const TextTableBlock tall = cellOf(text, QStringLiteral("Tall"));
    EXPECT_EQ(tall.startingColumn, 2);
    EXPECT_EQ(tall.rowSpan, 2);
    const TextTableBlock empty =
        text.attributesAtIndex(text.string().indexOf(QStringLiteral("\n\n")) + 1)
            .effectiveParagraphStyle()
            .textBlocks.value(0);
    EXPECT_EQ(empty.startingRow, 1);
    EXPECT_EQ(empty.startingColumn, 1);
    const TextTableBlock d = cellOf(text, QStringLiteral("D"));
    EXPECT_EQ(d.startingRow, 2);
    EXPECT_EQ(d.startingColumn, 2);
    EXPECT_EQ(d.table, head.table);

    EXPECT_TRUE(text.attributesAtIndex(text.string().indexOf(QStringLiteral("after")))
                    .effectiveParagraphStyle()
                    .textBlocks.isEmpty());
    EXPECT_EQ(text.attributesAtIndex(0).font->isBold(), true);
    EXPECT_EQ(text.attributesAtIndex(0).effectiveParagraphStyle().alignment, TextAlignment::Center);
}

TEST(HTMLImportTable, CellLookFromAttributesAndCSS) {
    const AttributedString text = importHTML(
        "<table style=\"border-collapse: collapse\"><colgroup><col style=\"width: 130px\"/>"
        "<col width=\"80\"/></colgroup>"
        "<tr bgcolor=\"#eeeeee\"><td style=\"padding: 8px; border: 2px solid rgb(204, 204, 204);"
        " background-color: #ff0000; vertical-align: top\"><div>styled</div><div>second</div></td>"
        "<td>row colour</td></tr></table>");
    const TextTableBlock styled = cellOf(text, QStringLiteral("styled"));
    EXPECT_EQ(styled.padding, 8);
    EXPECT_EQ(styled.borderWidth, 2);
    EXPECT_EQ(styled.borderColor, QColor(204, 204, 204));
    EXPECT_EQ(styled.backgroundColor, QColor(255, 0, 0));
    EXPECT_EQ(styled.contentWidth, 130);
    EXPECT_EQ(styled.verticalAlignment, TextTableBlock::VerticalAlignment::Top);
    EXPECT_EQ(cellOf(text, QStringLiteral("second")), styled);

    const TextTableBlock plain = cellOf(text, QStringLiteral("row colour"));
    EXPECT_EQ(plain.backgroundColor, QColor(238, 238, 238));
    EXPECT_EQ(plain.contentWidth, 80);
    EXPECT_EQ(plain.borderWidth, 0);
    EXPECT_EQ(plain.verticalAlignment, TextTableBlock::VerticalAlignment::Middle);
    // A cell's background is the cell's, not the text's.
    EXPECT_FALSE(text.attributesAtIndex(0).backgroundColor);
}

TEST(HTMLImportTable, NestedTablesStackTheirBlocks) {
    const AttributedString text = importHTML(
        "<ul><li><table><tr><td>outer"
        "<table><tr><td>in1</td><td>in2</td></tr></table></td><td>right</td></tr></table>"
        "</li></ul>");
    const TextTableBlock outer = cellOf(text, QStringLiteral("outer"));
    EXPECT_EQ(cellOf(text, QStringLiteral("in2"), 0), outer);
    const TextTableBlock inner = cellOf(text, QStringLiteral("in2"), 1);
    EXPECT_NE(inner.table, outer.table);
    EXPECT_EQ(inner.startingColumn, 1);
    EXPECT_EQ(cellOf(text, QStringLiteral("right")).startingColumn, 1);
    // Cells are laid out on their own: no list membership leaks into them.
    EXPECT_TRUE(text.attributesAtIndex(text.string().indexOf(QStringLiteral("in1")))
                    .effectiveParagraphStyle()
                    .textLists.isEmpty());

    const QByteArray rtf = RTFWriter::RTFFromAttributedString(text);
    EXPECT_TRUE(rtf.contains("\\nestcell")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\nestrow")) << rtf.toStdString();
    EXPECT_EQ(rtf.count("\\cell "), 2) << rtf.toStdString();
}

TEST(HTMLImportTable, OversizedSpansAreClamped) {
    const AttributedString text = importHTML(
        "<table><tr><td rowspan=\"999999\" colspan=\"99999\">big</td></tr>"
        "<tr><td rowspan=\"0\">rest</td></tr></table>");
    const TextTableBlock big = cellOf(text, QStringLiteral("big"));
    EXPECT_EQ(big.rowSpan, 2);
    EXPECT_EQ(big.columnSpan, 1000);
    const TextTableBlock rest = cellOf(text, QStringLiteral("rest"));
    EXPECT_EQ(rest.startingColumn, 1000);
    EXPECT_EQ(rest.rowSpan, 1);
}
