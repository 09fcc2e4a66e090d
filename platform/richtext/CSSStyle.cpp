#include "platform/richtext/CSSStyle.h"

#include <algorithm>
#include <cmath>

namespace {

// Splits at `separator` where it stands outside quotes and parentheses.
QStringList splitOutside(const QString& text, QChar separator) {
    QStringList parts;
    qsizetype start = 0;
    int depth = 0;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            depth = std::max(0, depth - 1);
        } else if (depth == 0 && (c == separator || (separator.isSpace() && c.isSpace()))) {
            parts.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    parts.append(text.mid(start));
    return parts;
}

// The blank-separated words of a value, functions ("rgb(1, 2, 3)") kept whole.
QStringList tokens(const QString& text) {
    QStringList words = splitOutside(text.trimmed(), QLatin1Char(' '));
    words.removeAll(QString());
    return words;
}

// A number with an optional unit: "12.5px" gives 12.5 and "px".
bool splitNumber(const QString& text, double* number, QString* unit) {
    qsizetype end = 0;
    if (end < text.size() && (text.at(end) == QLatin1Char('+') || text.at(end) == QLatin1Char('-')))
        ++end;
    while (end < text.size() && (text.at(end).isDigit() || text.at(end) == QLatin1Char('.'))) ++end;
    bool ok = false;
    *number = text.left(end).toDouble(&ok);
    if (!ok || !std::isfinite(*number)) return false;
    *unit = text.mid(end).trimmed().toLower();
    return true;
}

// A colour channel: "255", "100%" (of 255), clamped.
std::optional<double> channel(const QString& text, double scale) {
    double number = 0;
    QString unit;
    if (!splitNumber(text.trimmed(), &number, &unit)) return std::nullopt;
    if (unit == QLatin1String("%"))
        number = number / 100 * scale;
    else if (!unit.isEmpty() && unit != QLatin1String("deg"))
        return std::nullopt;
    return number;
}

// Blends a partly transparent colour over white; none when fully transparent.
std::optional<QColor> opaque(double red, double green, double blue, double alpha) {
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (alpha <= 0) return std::nullopt;
    auto blend = [alpha](double value) {
        return int(std::lround(std::clamp(value, 0.0, 255.0) * alpha + 255 * (1 - alpha)));
    };
    return QColor(blend(red), blend(green), blend(blue));
}

// "rgb(1, 2, 3)", "rgba(1 2 3 / 50%)", "hsl(120, 50%, 50%)".
std::optional<QColor> functionalColor(const QString& name, const QString& arguments) {
    QString normalized = arguments;
    normalized.replace(QLatin1Char(','), QLatin1Char(' '))
        .replace(QLatin1Char('/'), QLatin1Char(' '));
    const QStringList parts = tokens(normalized);
    if (parts.size() != 3 && parts.size() != 4) return std::nullopt;
    const std::optional<double> alpha = parts.size() == 4 ? channel(parts[3], 1) : 1.0;
    if (!alpha) return std::nullopt;
    if (name == QLatin1String("rgb") || name == QLatin1String("rgba")) {
        const auto r = channel(parts[0], 255), g = channel(parts[1], 255),
                   b = channel(parts[2], 255);
        if (!r || !g || !b) return std::nullopt;
        return opaque(*r, *g, *b, *alpha);
    }
    const auto h = channel(parts[0], 360), s = channel(parts[1], 1), l = channel(parts[2], 1);
    if (!h || !s || !l) return std::nullopt;
    const QColor hsl =
        QColor::fromHslF(float(std::fmod(std::fmod(*h, 360) + 360, 360) / 360),
                         float(std::clamp(*s, 0.0, 1.0)), float(std::clamp(*l, 0.0, 1.0)));
    return opaque(hsl.red(), hsl.green(), hsl.blue(), *alpha);
}

// "#rgb", "#rgba", "#rrggbb", "#rrggbbaa" (alpha last, as CSS has it).
std::optional<QColor> hexColor(const QString& digits) {
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    auto nibble = [value](int shift) { return int((value >> shift) & 0xF) * 17; };
    auto byte = [value](int shift) { return int((value >> shift) & 0xFF); };
    switch (digits.size()) {
        case 3:
            return QColor(nibble(8), nibble(4), nibble(0));
        case 4:
            return opaque(nibble(12), nibble(8), nibble(4), nibble(0) / 255.0);
        case 6:
            return QColor(byte(16), byte(8), byte(0));
        case 8:
            return opaque(byte(24), byte(16), byte(8), byte(0) / 255.0);
        default:
            return std::nullopt;
    }
}

double unitFactor(const QString& unit, double fontSize, double rootFontSize, bool* known) {
    *known = true;
    if (unit.isEmpty() || unit == QLatin1String("px")) return 1;
    if (unit == QLatin1String("pt")) return 4.0 / 3;
    if (unit == QLatin1String("pc")) return 16;
    if (unit == QLatin1String("in")) return 96;
    if (unit == QLatin1String("cm")) return 96 / 2.54;
    if (unit == QLatin1String("mm")) return 96 / 25.4;
    if (unit == QLatin1String("q")) return 96 / 101.6;
    if (unit == QLatin1String("em")) return fontSize;
    if (unit == QLatin1String("ex") || unit == QLatin1String("ch")) return fontSize / 2;
    if (unit == QLatin1String("rem")) return rootFontSize;
    *known = false;
    return 0;
}

}  // namespace

CSSStyle CSSStyle::fromDeclarations(const QString& text) {
    CSSStyle style;
    for (const QString& declaration : splitOutside(text, QLatin1Char(';'))) {
        const qsizetype colon = declaration.indexOf(QLatin1Char(':'));
        if (colon <= 0) continue;
        const QString name = declaration.left(colon).trimmed().toLower();
        QString value = declaration.mid(colon + 1).trimmed();
        const qsizetype important =
            value.lastIndexOf(QLatin1String("!important"), -1, Qt::CaseInsensitive);
        if (important >= 0) value = value.left(important).trimmed();
        if (name.isEmpty() || value.isEmpty()) continue;
        style.declarations_.removeIf([&](const auto& entry) { return entry.first == name; });
        style.declarations_.append({name, value});
    }
    return style;
}

QString CSSStyle::value(const QString& property) const {
    for (const auto& [name, value] : declarations_)
        if (name == property) return value;
    return QString();
}

std::optional<QColor> CSSStyle::color(const QString& text) {
    const QString value = text.trimmed().toLower();
    if (value.isEmpty() || value == QLatin1String("transparent")) return std::nullopt;
    if (value.startsWith(QLatin1Char('#'))) return hexColor(value.mid(1));
    const qsizetype open = value.indexOf(QLatin1Char('('));
    if (open > 0 && value.endsWith(QLatin1Char(')'))) {
        const QString name = value.left(open).trimmed();
        if (name != QLatin1String("rgb") && name != QLatin1String("rgba") &&
            name != QLatin1String("hsl") && name != QLatin1String("hsla"))
            return std::nullopt;
        return functionalColor(name, value.mid(open + 1, value.size() - open - 2));
    }
    for (QChar c : value)
        if (!c.isLetter()) return std::nullopt;
    const QColor named = QColor::fromString(value);
    if (!named.isValid()) return std::nullopt;
    return named;
}

std::optional<double> CSSStyle::length(const QString& text, double fontSize, double rootFontSize,
                                       double percentBase) {
    double number = 0;
    QString unit;
    if (!splitNumber(text.trimmed(), &number, &unit)) return std::nullopt;
    if (unit == QLatin1String("%")) {
        if (percentBase <= 0) return std::nullopt;
        return number * percentBase / 100;
    }
    bool known = false;
    const double factor = unitFactor(unit, fontSize, rootFontSize, &known);
    if (!known) return std::nullopt;
    return number * factor;
}

std::optional<double> CSSStyle::fontSize(const QString& text, double parentSize,
                                         double mediumSize) {
    static const std::pair<const char*, double> kKeywords[] = {
        {"xx-small", 9.0 / 16}, {"x-small", 10.0 / 16}, {"small", 13.0 / 16}, {"medium", 1.0},
        {"large", 18.0 / 16},   {"x-large", 24.0 / 16}, {"xx-large", 2.0},    {"xxx-large", 3.0}};
    const QString value = text.trimmed().toLower();
    for (const auto& [keyword, factor] : kKeywords)
        if (value == QLatin1String(keyword)) return mediumSize * factor;
    if (value == QLatin1String("larger")) return parentSize * 1.2;
    if (value == QLatin1String("smaller")) return parentSize / 1.2;
    const std::optional<double> size = length(value, parentSize, mediumSize, parentSize);
    if (!size || *size <= 0) return std::nullopt;
    return std::min(*size, 1638.0);
}

QStringList CSSStyle::fontFamilies(const QString& text) {
    QStringList families;
    for (QString family : splitOutside(text, QLatin1Char(','))) {
        family = family.trimmed();
        if (family.size() >= 2 &&
            (family.front() == QLatin1Char('"') || family.front() == QLatin1Char('\'')) &&
            family.back() == family.front())
            family = family.mid(1, family.size() - 2).trimmed();
        if (!family.isEmpty()) families.append(family);
    }
    return families;
}

QStringList CSSStyle::sides(const QString& text) {
    const QStringList values = tokens(text);
    switch (values.size()) {
        case 1:
            return {values[0], values[0], values[0], values[0]};
        case 2:
            return {values[0], values[1], values[0], values[1]};
        case 3:
            return {values[0], values[1], values[2], values[1]};
        case 4:
            return values;
        default:
            return {};
    }
}

CSSStyle::Border CSSStyle::border(const QString& text, double fontSize, double rootFontSize) {
    static const char* const kVisibleStyles[] = {"solid",  "dashed", "dotted", "double",
                                                 "groove", "ridge",  "inset",  "outset"};
    Border result;
    bool visibleStyle = false;
    for (const QString& word : tokens(text)) {
        const QString lower = word.toLower();
        if (lower == QLatin1String("none") || lower == QLatin1String("hidden")) {
            result.width = 0;
            return result;
        }
        if (std::any_of(std::begin(kVisibleStyles), std::end(kVisibleStyles),
                        [&](const char* style) { return lower == QLatin1String(style); })) {
            visibleStyle = true;
        } else if (lower == QLatin1String("thin")) {
            result.width = 1;
        } else if (lower == QLatin1String("medium")) {
            result.width = 3;
        } else if (lower == QLatin1String("thick")) {
            result.width = 5;
        } else if (const std::optional<double> width = length(word, fontSize, rootFontSize)) {
            result.width = std::max(0.0, *width);
        } else if (const std::optional<QColor> color = CSSStyle::color(word)) {
            result.color = color;
        }
    }
    if (!result.width && visibleStyle) result.width = 3;
    return result;
}
