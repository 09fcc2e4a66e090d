// PMChecklistImages: the two application images of a checklist box,
// "TextChecklistOn" (a rounded box with a tick) and "TextChecklistOff" (the
// empty box). They are drawn in code, so no image file has to ship; their
// size (14 by 14 points, drawn at twice that many pixels for sharp output on
// dense screens) decides the width of a box and the indent of a checklist line.
//
// Thread-safe: each image is drawn once per process and shared read-only.
#pragma once

#include <QImage>
#include <QString>

namespace PMChecklistImages {

inline const QString onImageName = QStringLiteral("TextChecklistOn");
inline const QString offImageName = QStringLiteral("TextChecklistOff");

// The image called `name` (one of the two names above); a null image for any
// other name. QImage::deviceIndependentSize() is its size in points.
QImage imageNamed(const QString& name);

}  // namespace PMChecklistImages
