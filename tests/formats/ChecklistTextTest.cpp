// The conversion between checklist boxes in rich text and their marker strings.
#include <gtest/gtest.h>

#include "formats/PMChecklistExtensions.h"
#include "formats/PMChecklistTextAttachment.h"

using namespace PMChecklistExtensions;

namespace {

const QString kChecked = QStringLiteral(u"\u2611\uFE0E ");
const QString kUnchecked = QStringLiteral(u"\u2610 ");
const QChar kBox(TextAttachment::Character);

PMNoteChecklistItem item(bool on, quint64 location) {
    return PMNoteChecklistItem(on, {location, on ? 3u : 2u});
}

// The state of the box at `index`, or nullopt when there is no box.
std::optional<bool> boxAt(const AttributedString& text, qsizetype index) {
    const auto& attachment = text.attributesAtIndex(index).attachment;
    if (!attachment || !PMChecklistTextAttachment::isChecklistAttachment(*attachment))
        return std::nullopt;
    return attachment->userInfo().toBool();
}

ParagraphStyle styleAt(const AttributedString& text, qsizetype index) {
    return text.attributesAtIndex(index).effectiveParagraphStyle();
}

}  // namespace

TEST(ChecklistText, RecoversOnlyMarkersAtLineStarts) {
    const AttributedString text(kUnchecked + "buy milk\n" +                     // 0
                                kChecked + "done\r\n" +                         // 11
                                QStringLiteral(u"\u2611 ") + "no selector\n" +  // 20: no marker
                                "later " + kUnchecked + "inside\n" +            // 34: not first
                                kUnchecked + QChar(0x2028) + kChecked);         // 49, 52
    EXPECT_EQ(recoverChecklists(text),
              (QList<PMNoteChecklistItem>{item(false, 0), item(true, 11), item(false, 49),
                                          item(true, 52)}));
}

TEST(ChecklistText, RestoringShiftsLaterBoxesAndIndentsTheirLines) {
    AttributedString text(kChecked + "abcdefg" + kUnchecked + "xyz\nplain");
    const QList<PMNoteChecklistItem> items{item(true, 0), item(false, 10)};
    EXPECT_EQ(restoreChecklists(text, items), items);  // marker-text ranges are kept
    EXPECT_EQ(text.string(), QString(kBox) + "abcdefg" + kBox + "xyz\nplain");
    EXPECT_EQ(boxAt(text, 0), true);
    EXPECT_EQ(boxAt(text, 8), false);
    const double width = PMChecklistTextAttachment().cell().cellSize().width();
    EXPECT_EQ(styleAt(text, 3).headIndent, width);
    EXPECT_EQ(styleAt(text, 3).firstLineHeadIndent, -width);
    EXPECT_TRUE(styleAt(text, 14).isDefault());  // the plain line is left alone

    const AttributedString before = text;
    EXPECT_TRUE(restoreChecklists(text, {}).isEmpty());
    EXPECT_EQ(text, before);
}

TEST(ChecklistText, ReplacingAndRestoringGivesBackTheSameText) {
    AttributedString original;
    original.append(PMChecklistTextAttachment(true).attributedString());
    original.append(QStringLiteral("first\nbetween\n"), {});
    // Two adjacent boxes in the same state form one run; each is its own box.
    original.append(PMChecklistTextAttachment(false).attributedString());
    original.append(PMChecklistTextAttachment(false).attributedString());
    original.append(QStringLiteral("second"), {});
    const AttributedString before = original;

    QList<PMNoteChecklistItem> items;
    AttributedString markers =
        attributedStringByReplacingChecklists(original, &items, {0, original.length()});
    EXPECT_EQ(original, before);  // the receiver is not changed
    EXPECT_EQ(markers.string(), kChecked + "first\nbetween\n" + kUnchecked + kUnchecked + "second");
    EXPECT_EQ(items, (QList<PMNoteChecklistItem>{item(true, 0), item(false, 17), item(false, 19)}));
    EXPECT_FALSE(markers.attributesAtIndex(0).attachment);
    EXPECT_TRUE(markers.attributesAtIndex(0).paragraphStyle);  // other attributes kept

    EXPECT_EQ(restoreChecklists(markers, items), items);
    EXPECT_EQ(markers.string(), before.string());
    for (qsizetype i : {0, 15, 16}) EXPECT_EQ(boxAt(markers, i), boxAt(before, i)) << i;

    const AttributedString part = attributedStringByReplacingChecklists(before, &items, {15, 1});
    EXPECT_EQ(part.string().mid(14), QString("\n") + kUnchecked + kBox + "second");
    EXPECT_EQ(items, QList<PMNoteChecklistItem>{item(false, 15)});
}

TEST(ChecklistText, BoxesAndLinesOfOneKindShareTheirAttributes) {
    QString marked;
    for (int line = 0; line < 40; ++line) marked += (line % 2 ? kChecked : kUnchecked) + "task\n";
    AttributedString text(marked);
    restoreChecklists(text, recoverChecklists(text));
    const qsizetype lineLength = 6;  // box, "task", "\n"
    ASSERT_EQ(text.length(), 40 * lineLength);
    EXPECT_EQ(boxAt(text, 0), false);
    EXPECT_EQ(boxAt(text, lineLength), true);
    EXPECT_EQ(&text.attributesAtIndex(0), &text.attributesAtIndex(38 * lineLength));
    EXPECT_EQ(&text.attributesAtIndex(lineLength), &text.attributesAtIndex(39 * lineLength));
    EXPECT_EQ(&text.attributesAtIndex(1), &text.attributesAtIndex(39 * lineLength + 1));
    EXPECT_EQ(styleAt(text, 39 * lineLength + 2), PMNoteChecklistItem::checklistParagraphStyle());
}

TEST(ChecklistText, BadOrStaleItemsFallBackToTheMarkersInTheText) {
    AttributedString text(kChecked + "a\n" + kUnchecked + "b\n" + kUnchecked + "c");
    // The first item is fine, the second lies outside the text.
    EXPECT_EQ(restoreChecklists(text, {item(true, 0), item(false, 400)}),
              (QList<PMNoteChecklistItem>{item(false, 3), item(false, 7)}));
    // The box made before the failure stays; the rest are found from the text.
    EXPECT_EQ(text.string(), QString(kBox) + "a\n" + kBox + "b\n" + kBox + "c");
    EXPECT_EQ(boxAt(text, 0), true);
    EXPECT_EQ(boxAt(text, 6), false);

    // Items from an archive that no longer matches its text never replace words.
    AttributedString stale(QStringLiteral("Dear diary\n") + kUnchecked + "task");
    restoreChecklists(stale, {item(true, 0)});
    EXPECT_EQ(stale.string(), QStringLiteral("Dear diary\n") + kBox + "task");
    AttributedString unordered(kUnchecked + "a\n" + kUnchecked + "b");
    restoreChecklists(unordered, {item(false, 4), item(false, 0)});
    EXPECT_EQ(unordered.string(), QString(kBox) + "a\n" + kBox + "b");
}

TEST(ChecklistText, BoxLineStylingStaysOnTheBoxLine) {
    // A checked box alone on its line, and one at the very end of the text.
    AttributedString text(kChecked + "\nnext line\n" + kChecked);
    restoreChecklists(text, recoverChecklists(text));
    EXPECT_EQ(text.string(), QString(kBox) + "\nnext line\n" + kBox);
    EXPECT_GT(styleAt(text, 0).headIndent, 0);
    EXPECT_TRUE(styleAt(text, 3).isDefault());
    EXPECT_GT(styleAt(text, 12).headIndent, 0);

    // A box in a table cell stays in its cell.
    TextTableBlock cell;
    TextAttributes inCell;
    inCell.paragraphStyle = ParagraphStyle();
    inCell.paragraphStyle->textBlocks = {cell};
    AttributedString table(kUnchecked + "in a cell\n", inCell);
    restoreChecklists(table, recoverChecklists(table));
    for (qsizetype i : {0, 3}) {
        EXPECT_EQ(styleAt(table, i).textBlocks, QList<TextTableBlock>{cell});
        EXPECT_GT(styleAt(table, i).headIndent, 0);
    }
}
