#include "formats/PMChecklistButtonCell.h"

#include <QPainter>

#include "formats/PMChecklistImages.h"

QImage PMChecklistButtonCell::image() const {
    return PMChecklistImages::imageNamed(state_ == 1 ? PMChecklistImages::onImageName
                                                     : PMChecklistImages::offImageName);
}

QSizeF PMChecklistButtonCell::cellSize() const {
    const QSizeF imageSize = image().deviceIndependentSize();
    return QSizeF(imageSize.width() + trailingSpace, imageSize.height());
}

QRectF PMChecklistButtonCell::imageRectForBounds(const QRectF& bounds) const {
    return QRectF(bounds.x(), bounds.y(), bounds.width() - trailingSpace, bounds.height());
}

void PMChecklistButtonCell::drawWithFrame(const QRectF& frame, QPainter& painter,
                                          bool viewIsFlipped) const {
    const QRectF target = imageRectForBounds(frame);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!viewIsFlipped) {
        // Mirror about the target's horizontal centre line so that the image,
        // drawn top-down, ends up upright in a y-up coordinate system.
        painter.translate(0, target.top() + target.bottom());
        painter.scale(1, -1);
    }
    painter.drawImage(target, image());
    painter.restore();
}

bool PMChecklistButtonCell::trackMouse(const QPointF& mouseUpPoint, const QRectF& frame) {
    if (!frame.contains(mouseUpPoint)) return false;
    state_ = state_ == 1 ? 0 : 1;
    if (action_) action_(*this);
    return true;
}
