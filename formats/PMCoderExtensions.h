// PMCoderExtensions: the note format's own ways of storing a range and a
// rectangle in a keyed archive, used by the note attributes and checklist
// items.
//
// A range is stored as a string object in the platform's range form "{12, 3}"
// and read back with the platform's lenient parser, so a missing key reads as
// {0, 0}. A rectangle is stored as a dictionary object with the keys "x", "y",
// "width" and "height", each a number holding a 32-bit float; it reads back as
// those floats widened to doubles (so only single precision survives), a
// missing dictionary as the zero rectangle and a missing key as 0.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <optional>

#include "platform/archive/GeometryStrings.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/plist/PlistValue.h"

namespace PMCoderExtensions {

// The colour a user-defaults value holds as a keyed archive of a colour;
// nullopt for anything else.
std::optional<QColor> colorFromDefaultsValue(const PlistValue& value);

void encodeRangeInPelmora(KeyedArchiver& coder, IndexRange range, const QString& key);
IndexRange decodeRangeInPelmora(KeyedUnarchiver& coder, const QString& key);

void encodeCGRectInPelmora(KeyedArchiver& coder, const QRectF& rect, const QString& key);
QRectF decodeCGRectInPelmora(KeyedUnarchiver& coder, const QString& key);

}  // namespace PMCoderExtensions
