#include "platform/archive/ColorCoding.h"

#include <algorithm>

#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/GeometryStrings.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"

namespace ColorCoding {

namespace {

enum class Model { Unknown, Gray, Rgb, Cmyk };

// Colour-space numbers of the archive format.
Model modelForSpace(qint64 space) {
    switch (space) {
        case 1:
        case 2:
            return Model::Rgb;
        case 3:
        case 4:
            return Model::Gray;
        case 5:
            return Model::Cmyk;
        default:
            return Model::Unknown;
    }
}

// The model of an archived colour-space object: its "NSID" (7 RGB, 9 grey),
// else its "NSModel" (0 grey, 1 RGB, 2 CMYK).
Model modelOfCustomSpace(const ArchiveValue& space) {
    auto instance = space.toObject<ArchivedInstance>();
    if (!instance) return Model::Unknown;
    const ArchiveValue id = instance->field(QStringLiteral("NSID"));
    if (id.toInteger() == 7) return Model::Rgb;
    if (id.toInteger() == 9) return Model::Gray;
    const ArchiveValue model = instance->field(QStringLiteral("NSModel"));
    if (!model.isNumber()) return Model::Unknown;
    switch (model.toInteger()) {
        case 0:
            return Model::Gray;
        case 1:
            return Model::Rgb;
        case 2:
            return Model::Cmyk;
        default:
            return Model::Unknown;
    }
}

// Components include alpha in "NSComponents", so the count tells the model
// when nothing else does.
Model modelForCount(qsizetype count) {
    if (count == 1 || count == 2) return Model::Gray;
    if (count == 3 || count == 4) return Model::Rgb;
    if (count == 5) return Model::Cmyk;
    return Model::Unknown;
}

double component(const QList<double>& values, qsizetype i, double fallback = 0.0) {
    return i < values.size() ? values[i] : fallback;
}

float clamped(double value) { return static_cast<float>(std::clamp(value, 0.0, 1.0)); }

QColor colorFromComponents(Model model, const QList<double>& c) {
    switch (model) {
        case Model::Rgb:
            if (c.size() < 3) return {};
            return QColor::fromRgbF(static_cast<float>(c[0]), static_cast<float>(c[1]),
                                    static_cast<float>(c[2]),
                                    static_cast<float>(component(c, 3, 1.0)));
        case Model::Gray:
            if (c.isEmpty()) return {};
            return QColor::fromRgbF(static_cast<float>(c[0]), static_cast<float>(c[0]),
                                    static_cast<float>(c[0]),
                                    static_cast<float>(component(c, 1, 1.0)));
        case Model::Cmyk:
            if (c.size() < 4) return {};
            return QColor::fromCmykF(clamped(c[0]), clamped(c[1]), clamped(c[2]), clamped(c[3]),
                                     clamped(component(c, 4, 1.0)));
        case Model::Unknown:
            return {};
    }
    return {};
}

// Component text stored as data (the usual form) or as a string.
QList<double> componentsForKey(KeyedUnarchiver& coder, const QString& key) {
    const ArchiveValue value = coder.decodePropertyList(key);
    return componentsFromData(
        value.type() == ArchiveValue::Type::Data ? value.toData() : value.toString().toLatin1());
}

QColor decodeComponentsForm(KeyedUnarchiver& coder, qint64 space) {
    const QList<double> values = componentsForKey(coder, QStringLiteral("NSComponents"));
    Model model = modelForSpace(space);
    if (model == Model::Unknown)
        model = modelOfCustomSpace(coder.decodeObject(QStringLiteral("NSCustomColorSpace")));
    if (model == Model::Unknown) model = modelForCount(values.size());
    return colorFromComponents(model, values);
}

}  // namespace

QList<double> componentsFromData(const QByteArray& data) {
    QList<double> values;
    const QByteArray text = data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0'));
    for (const QByteArray& part : text.simplified().split(' ')) {
        bool ok = false;
        const double value = part.toDouble(&ok);
        if (ok) values << value;
    }
    return values;
}

QByteArray dataFromComponents(const QList<double>& components) {
    QStringList parts;
    for (double value : components) parts << GeometryStrings::numberString(value);
    QByteArray data = parts.join(QLatin1Char(' ')).toLatin1();
    data.append('\0');
    return data;
}

void encodeColor(KeyedArchiver& coder, const QColor& color) {
    float r = 0, g = 0, b = 0, a = 1;
    color.toRgb().getRgbF(&r, &g, &b, &a);
    QList<double> components{r, g, b};
    if (a != 1.0f) components << a;
    coder.encodeInt(2, QStringLiteral("NSColorSpace"));
    coder.encodeBytes(dataFromComponents(components), QStringLiteral("NSRGB"));
}

QColor decodeColor(KeyedUnarchiver& coder) {
    const qint64 space = coder.decodeInteger(QStringLiteral("NSColorSpace"));
    if (coder.containsValueForKey(QStringLiteral("NSComponents"))) {
        const QColor color = decodeComponentsForm(coder, space);
        if (color.isValid()) return color;
    }
    switch (space) {
        case 1:
        case 2:
            return colorFromComponents(Model::Rgb,
                                       componentsForKey(coder, QStringLiteral("NSRGB")));
        case 3:
        case 4:
            return colorFromComponents(Model::Gray,
                                       componentsForKey(coder, QStringLiteral("NSWhite")));
        case 5: {
            const QString key = coder.containsValueForKey(QStringLiteral("NSCMYK"))
                                    ? QStringLiteral("NSCMYK")
                                    : QStringLiteral("NSCYMK");
            return colorFromComponents(Model::Cmyk, componentsForKey(coder, key));
        }
        case 6:
            return coder.decodeObject(QStringLiteral("NSColor")).toColor();
        default:
            return {};
    }
}

}  // namespace ColorCoding
