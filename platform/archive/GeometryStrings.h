// GeometryStrings: the platform's textual forms of ranges and rectangles, as
// keyed archives and settings store them: a range as "{12, 3}" and a
// rectangle as "{{x, y}, {w, h}}". Parsing is as lenient as the platform's:
// it takes the numbers in order and ignores everything between them, so an
// empty or malformed string gives zeros for what is missing.
#pragma once

#include <QRectF>
#include <QString>

// A range of indexes: a location and a length, both unsigned 64-bit.
struct IndexRange {
    quint64 location = 0;
    quint64 length = 0;
    bool operator==(const IndexRange&) const = default;
};

namespace GeometryStrings {

// "{location, length}".
QString stringFromRange(IndexRange range);
// The first two unsigned decimal numbers of the string; missing ones are 0.
IndexRange rangeFromString(const QString& string);

// "{{x, y}, {width, height}}", each number in its shortest exact form.
QString stringFromRect(const QRectF& rect);
// The first four numbers (signed, with fraction and exponent); missing ones 0.
QRectF rectFromString(const QString& string);

// A real in its shortest form that reads back exactly ("100.5", "0", "-3").
QString numberString(double value);

}  // namespace GeometryStrings
