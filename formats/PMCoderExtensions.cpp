#include "formats/PMCoderExtensions.h"

namespace PMCoderExtensions {

void encodeRangeInPelmora(KeyedArchiver& coder, IndexRange range, const QString& key) {
    coder.encodeObject(GeometryStrings::stringFromRange(range), key);
}

IndexRange decodeRangeInPelmora(KeyedUnarchiver& coder, const QString& key) {
    return GeometryStrings::rangeFromString(coder.decodeObject(key).toString());
}

void encodeCGRectInPelmora(KeyedArchiver& coder, const QRectF& rect, const QString& key) {
    const ArchiveValue dictionary = ArchiveValue::dictionary({
        {"x", static_cast<float>(rect.x())},
        {"y", static_cast<float>(rect.y())},
        {"width", static_cast<float>(rect.width())},
        {"height", static_cast<float>(rect.height())},
    });
    coder.encodeObject(dictionary, key);
}

QRectF decodeCGRectInPelmora(KeyedUnarchiver& coder, const QString& key) {
    const ArchiveValue dictionary = coder.decodeObject(key);
    auto component = [&](const char* name) {
        return static_cast<double>(static_cast<float>(dictionary.value(name).toDouble()));
    };
    return QRectF(component("x"), component("y"), component("width"), component("height"));
}

}  // namespace PMCoderExtensions

namespace PMCoderExtensions {

std::optional<QColor> colorFromDefaultsValue(const PlistValue& value) {
    const QByteArray data = value.toData();
    if (data.isEmpty()) return std::nullopt;
    const std::optional<ArchiveValue> root = KeyedUnarchiver::unarchivedRootObject(data);
    if (!root || !root->toColor().isValid()) return std::nullopt;
    return root->toColor();
}

}  // namespace PMCoderExtensions
