// PMChecklistClickDelegate: what the delegate of a text view implements to
// hear that the user clicked a checklist box in that view. The rich text holds
// boxes as values, so the delegate is where a view writes the box's new state
// back into its text. Called on the thread that tracks the mouse (the main
// thread).
#pragma once

#include <QRectF>
#include <QtGlobal>

class PMChecklistAttachmentCell;
class QWidget;

class PMChecklistClickDelegate {
  public:
    virtual ~PMChecklistClickDelegate() = default;

    // `cell` (already toggled) at character `charIndex` of `textView`'s text,
    // drawn in `cellFrame`, was clicked. `textView` may be null when the click
    // did not come from a widget.
    virtual void textViewClickedOnCell(QWidget* textView, PMChecklistAttachmentCell& cell,
                                       const QRectF& cellFrame, qsizetype charIndex) = 0;
};
