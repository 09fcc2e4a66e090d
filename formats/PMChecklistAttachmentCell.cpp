#include "formats/PMChecklistAttachmentCell.h"

#include "formats/PMChecklistClickDelegate.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"

namespace {
const QString kOnKey = QStringLiteral("PMChecklistAttachmentCellOn");
}

PMChecklistAttachmentCell::PMChecklistAttachmentCell(bool on)
    : on_(on), buttonCell_(std::make_unique<PMChecklistButtonCell>()) {
    buttonCell_->setState(on ? 1 : 0);
    buttonCell_->setAction([this](PMChecklistButtonCell& sender) { buttonClicked(sender); });
}

void PMChecklistAttachmentCell::setOn(bool on) {
    on_ = on;
    buttonCell_->setState(on ? 1 : 0);
}

bool PMChecklistAttachmentCell::trackMouse(const QPointF& mouseUpPoint, const QRectF& cellFrame,
                                           QWidget* textView, qsizetype charIndex,
                                           PMChecklistClickDelegate* textViewDelegate) {
    const bool clicked = buttonCell_->trackMouse(mouseUpPoint, cellFrame);
    if (clicked && textViewDelegate)
        textViewDelegate->textViewClickedOnCell(textView, *this, cellFrame, charIndex);
    return clicked;
}

QStringList PMChecklistAttachmentCell::classChain() const {
    return {className(), QStringLiteral("NSTextAttachmentCell"), QStringLiteral("NSCell"),
            QStringLiteral("NSObject")};
}

void PMChecklistAttachmentCell::encodeWithCoder(KeyedArchiver& coder) {
    coder.encodeBool(on_, kOnKey);
}

std::shared_ptr<ArchivableObject> PMChecklistAttachmentCell::decode(KeyedUnarchiver& coder) {
    return std::make_shared<PMChecklistAttachmentCell>(coder.decodeBool(kOnKey));
}
