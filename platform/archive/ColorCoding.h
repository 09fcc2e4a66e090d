// ColorCoding: the fields of the platform's archived colour class (NSColor).
//
// Reading understands the forms that archives hold: "NSColorSpace" 1 or 2 with
// "NSRGB", 3 or 4 with "NSWhite", 5 with "NSCMYK" (or the "NSCYMK" spelling),
// 6 (a catalog colour) through its fallback colour under "NSColor", and the
// newer "NSComponents" with the space given by "NSColorSpace" or by the
// "NSCustomColorSpace" object ("NSID" 7 RGB, 9 grey, or "NSModel"). Component
// text is ASCII numbers separated by spaces, alpha left out when 1, and may
// end with a NUL byte. Writing uses device RGB: "NSColorSpace" 2 and "NSRGB".
#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>

class KeyedArchiver;
class KeyedUnarchiver;

namespace ColorCoding {

// Writes the fields of a colour instance for `color` into the object the
// archiver is encoding.
void encodeColor(KeyedArchiver& coder, const QColor& color);
// Reads the colour instance the unarchiver is positioned on; an invalid QColor
// when no known form is present.
QColor decodeColor(KeyedUnarchiver& coder);

// The numbers of a component text ("0 0.5 1\0" gives 0, 0.5, 1).
QList<double> componentsFromData(const QByteArray& data);
// Component text for the numbers, shortest form, with a trailing NUL.
QByteArray dataFromComponents(const QList<double>& components);

}  // namespace ColorCoding
