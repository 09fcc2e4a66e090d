// Checklist boxes as objects: their cells, images, clicks and clipboard form.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include "formats/PMChecklistClickDelegate.h"
#include "formats/PMChecklistImages.h"
#include "formats/PMChecklistTextAttachment.h"
#include "formats/PMNoteChecklistItem.h"

namespace {

struct RecordingClickDelegate : PMChecklistClickDelegate {
    void textViewClickedOnCell(QWidget*, PMChecklistAttachmentCell& cell, const QRectF& frame,
                               qsizetype index) override {
        clicks.append({cell.on(), index});
        EXPECT_EQ(frame, QRectF(10, 10, 17, 14));
    }
    QList<std::pair<bool, qsizetype>> clicks;
};

// A cell drawn into a transparent image of its own size.
QImage drawn(const PMChecklistAttachmentCell& cell) {
    QImage image(cell.cellSize().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    cell.drawWithFrame(QRectF(QPointF(0, 0), cell.cellSize()), painter);
    return image;
}

}  // namespace

TEST(ChecklistAttachment, StateDecidesImageMarkerAndSize) {
    PMChecklistTextAttachment box(false);
    EXPECT_EQ(box.replacementString(), QStringLiteral(u"\u2610 "));
    const QImage unchecked = drawn(box.cell());
    box.setOn(true);
    EXPECT_EQ(box.cell().buttonCell().state(), 1);
    EXPECT_EQ(box.replacementString(), QStringLiteral(u"\u2611\uFE0E "));
    const QImage checked = drawn(box.cell());
    EXPECT_NE(checked, unchecked);
    for (int y = 0; y < checked.height(); ++y)  // 3 points right of the image stay empty
        EXPECT_EQ(qAlpha(checked.pixel(checked.width() - 1, y)), 0) << y;

    const QSizeF image =
        PMChecklistImages::imageNamed(QStringLiteral("TextChecklistOn")).deviceIndependentSize();
    const QSizeF cell = box.cell().cellSize();
    EXPECT_EQ(cell, QSizeF(image.width() + 3, image.height()));
    const ParagraphStyle style = box.checklistParagraphStyle();
    EXPECT_EQ(style.headIndent, cell.width());
    EXPECT_EQ(style.firstLineHeadIndent, -cell.width());
    EXPECT_EQ(box.textAttachment().displaySize(), cell);

    // An item's box carries nothing but the attachment.
    const AttributedString one = PMNoteChecklistItem(true, {0, 3}).attributedString();
    ASSERT_EQ(one.length(), 1);
    const auto back =
        PMChecklistTextAttachment::fromTextAttachment(*one.attributesAtIndex(0).attachment);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->on());
    EXPECT_FALSE(one.attributesAtIndex(0).paragraphStyle);
}

TEST(ChecklistAttachment, ClickTogglesTheBoxAndTellsTheDelegate) {
    PMChecklistTextAttachment box(false);
    RecordingClickDelegate delegate;
    const QRectF frame(10, 10, 17, 14);
    EXPECT_FALSE(box.cell().trackMouse(QPointF(50, 50), frame, nullptr, 7, &delegate));
    EXPECT_FALSE(box.on());
    EXPECT_TRUE(box.cell().trackMouse(QPointF(15, 15), frame, nullptr, 7, &delegate));
    EXPECT_TRUE(box.on());
    EXPECT_TRUE(box.cell().trackMouse(QPointF(15, 15), frame, nullptr, 7, nullptr));
    EXPECT_FALSE(box.on());
    EXPECT_EQ(delegate.clicks, (QList<std::pair<bool, qsizetype>>{{true, 7}}));
}

TEST(ChecklistAttachment, ClipboardCarriesTheBoxAndItsMarker) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const bool on : {true, false}) {
        PMChecklistTextAttachment box(on);
        clipboard->setMimeData(box.mimeData().release());
        // A plain-text target pastes the marker string.
        EXPECT_EQ(clipboard->text(), box.replacementString());
        const auto pasted = PMChecklistTextAttachment::fromMimeData(clipboard->mimeData());
        ASSERT_TRUE(pasted);
        EXPECT_EQ(pasted->on(), on);
    }
    // Only the box type is read.
    clipboard->setText(QStringLiteral(u"\u2610 "));
    EXPECT_FALSE(PMChecklistTextAttachment::fromMimeData(clipboard->mimeData()));
    EXPECT_FALSE(PMChecklistTextAttachment::fromPasteboardPropertyList(
        QVariant(QByteArray("not an archive")), "com.quorvel.checklist"));
}
