// PMChecklistAttachmentCell: what draws a checklist box in text and follows
// clicks on it. It owns a PMChecklistButtonCell (a check box without title,
// whose action sets this cell's state) and keeps `on` and the button's state
// in step. The box sits 2 points below the baseline.
//
// Archived as class "PMChecklistAttachmentCell" (a text attachment cell)
// with the key "PMChecklistAttachmentCellOn" (boolean); the cell has no
// title, image or font of its own, so no other cell keys carry anything.
//
// Not copyable (the button's action refers to this cell); shared through
// std::shared_ptr by its attachment. Main thread for drawing and tracking.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <memory>

#include "formats/PMChecklistButtonCell.h"
#include "platform/archive/ArchivableObject.h"

class KeyedUnarchiver;
class PMChecklistClickDelegate;
class QPainter;
class QWidget;

class PMChecklistAttachmentCell : public ArchivableObject {
  public:
    explicit PMChecklistAttachmentCell(bool on = false);
    PMChecklistAttachmentCell(const PMChecklistAttachmentCell&) = delete;
    PMChecklistAttachmentCell& operator=(const PMChecklistAttachmentCell&) = delete;

    bool on() const { return on_; }
    // Also sets the button cell's state (1 or 0).
    void setOn(bool on);
    PMChecklistButtonCell& buttonCell() { return *buttonCell_; }
    const PMChecklistButtonCell& buttonCell() const { return *buttonCell_; }

    // The button cell's size.
    QSizeF cellSize() const { return buttonCell_->cellSize(); }
    // (0, -2): the box sits 2 points below the baseline.
    QPointF cellBaselineOffset() const { return QPointF(0, -2); }
    // The button cell draws in the same frame.
    void drawWithFrame(const QRectF& frame, QPainter& painter, bool viewIsFlipped = true) const {
        buttonCell_->drawWithFrame(frame, painter, viewIsFlipped);
    }
    bool wantsToTrackMouse() const { return true; }
    // Lets the button cell follow a click in `cellFrame` (which toggles it and
    // sets `on` through buttonClicked). When it reports a click and
    // `textViewDelegate` is given, the delegate hears of it with the view,
    // this cell, the frame and `charIndex`. Returns the button's result.
    bool trackMouse(const QPointF& mouseUpPoint, const QRectF& cellFrame, QWidget* textView,
                    qsizetype charIndex, PMChecklistClickDelegate* textViewDelegate);
    // The button's action: `on` follows the sender's state (non-zero is on).
    void buttonClicked(PMChecklistButtonCell& sender) { on_ = sender.state() != 0; }

    QString className() const override { return QStringLiteral("PMChecklistAttachmentCell"); }
    QStringList classChain() const override;
    void encodeWithCoder(KeyedArchiver& coder) override;
    // The unarchiver factory: a cell with the archived state and a new button cell.
    static std::shared_ptr<ArchivableObject> decode(KeyedUnarchiver& coder);

  private:
    bool on_ = false;
    std::unique_ptr<PMChecklistButtonCell> buttonCell_;
};
