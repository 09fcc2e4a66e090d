// PMChecklistButtonCell: the check box inside a checklist attachment cell.
// It shows the image "TextChecklistOn" when its state is 1 and
// "TextChecklistOff" otherwise, with 3 points of space to the right of the
// image, toggles when clicked and then fires its action.
//
// Owned by its PMChecklistAttachmentCell. Drawing and tracking belong to the
// thread that owns the painter or view (the main thread in the program);
// state changes are plain member writes, not synchronised.
#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <functional>

class QPainter;

class PMChecklistButtonCell {
  public:
    // Space kept to the right of the image, in points.
    static constexpr double trailingSpace = 3.0;

    // Called after a click toggled the state, with the cell that was clicked.
    using Action = std::function<void(PMChecklistButtonCell& sender)>;

    PMChecklistButtonCell() = default;
    PMChecklistButtonCell(const PMChecklistButtonCell&) = delete;
    PMChecklistButtonCell& operator=(const PMChecklistButtonCell&) = delete;

    // 1 checked, 0 not checked.
    int state() const { return state_; }
    void setState(int state) { state_ = state; }
    void setAction(Action action) { action_ = std::move(action); }

    // "TextChecklistOn" when the state is 1, else "TextChecklistOff".
    QImage image() const;
    // The image's size in points, 3 points wider.
    QSizeF cellSize() const;
    // `bounds` with 3 points taken off the width (same origin and height).
    QRectF imageRectForBounds(const QRectF& bounds) const;
    // Draws the whole image into imageRectForBounds(frame), source-over at
    // full opacity. `viewIsFlipped` says whether y grows downwards (Qt's own
    // coordinates); in an unflipped view the image is mirrored so that it
    // still appears upright.
    void drawWithFrame(const QRectF& frame, QPainter& painter, bool viewIsFlipped = true) const;
    // Follows a click whose mouse button went up at `mouseUpPoint`: inside
    // `frame` the state toggles, the action fires and the result is true;
    // outside nothing changes and the result is false.
    bool trackMouse(const QPointF& mouseUpPoint, const QRectF& frame);

  private:
    int state_ = 0;
    Action action_;
};
