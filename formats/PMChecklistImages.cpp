#include "formats/PMChecklistImages.h"

#include <QPainter>
#include <QPainterPath>

namespace PMChecklistImages {
namespace {

constexpr int kSizeInPoints = 14;
constexpr int kPixelRatio = 2;

// Draws the box in point coordinates on a transparent image.
QImage drawBox(bool ticked) {
    QImage image(kSizeInPoints * kPixelRatio, kSizeInPoints * kPixelRatio,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kPixelRatio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1.5, 1.5, kSizeInPoints - 3, kSizeInPoints - 3);
    painter.setPen(QPen(QColor(110, 110, 110), 1.0));
    painter.setBrush(ticked ? QColor(40, 110, 220) : QColor(Qt::white));
    painter.drawRoundedRect(box, 2.5, 2.5);
    if (ticked) {
        QPainterPath tick;
        tick.moveTo(4.0, 7.2);
        tick.lineTo(6.2, 9.6);
        tick.lineTo(10.2, 4.4);
        painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
    return image;
}

}  // namespace

QImage imageNamed(const QString& name) {
    // Function-local statics: drawn once, thread-safe initialisation.
    static const QImage on = drawBox(true);
    static const QImage off = drawBox(false);
    if (name == onImageName) return on;
    if (name == offImageName) return off;
    return QImage();
}

}  // namespace PMChecklistImages
