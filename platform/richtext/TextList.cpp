#include "platform/richtext/TextList.h"

#include <atomic>
#include <utility>

namespace {

std::atomic<quint64> nextListIdentifier{1};

QString roman(int number, bool upper) {
    if (number <= 0 || number >= 4000) return QString::number(number);
    static const std::pair<int, const char*> kDigits[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    QString text;
    for (const auto& [value, digits] : kDigits)
        while (number >= value) {
            text += QLatin1String(digits);
            number -= value;
        }
    return upper ? text.toUpper() : text;
}

// 1 → a, 26 → z, 27 → aa, as lists letter their items.
QString alphabetic(int number, bool upper) {
    if (number <= 0) return QString::number(number);
    QString text;
    while (number > 0) {
        --number;
        text.prepend(QChar(char16_t((upper ? u'A' : u'a') + number % 26)));
        number /= 26;
    }
    return text;
}

}  // namespace

TextList::TextList(QString markerFormat, int startingItemNumber)
    : identifier_(nextListIdentifier++),
      markerFormat_(std::move(markerFormat)),
      startingItemNumber_(startingItemNumber) {}

QString TextList::markerKeyword() const {
    const qsizetype open = markerFormat_.indexOf(QLatin1Char('{'));
    const qsizetype close = markerFormat_.indexOf(QLatin1Char('}'), open + 1);
    if (open < 0 || close < 0) return QString();
    return markerFormat_.mid(open + 1, close - open - 1);
}

QString TextList::markerPrefix() const {
    const qsizetype open = markerFormat_.indexOf(QLatin1Char('{'));
    return open < 0 ? markerFormat_ : markerFormat_.left(open);
}

QString TextList::markerSuffix() const {
    const qsizetype open = markerFormat_.indexOf(QLatin1Char('{'));
    const qsizetype close = markerFormat_.indexOf(QLatin1Char('}'), open + 1);
    return open < 0 || close < 0 ? QString() : markerFormat_.mid(close + 1);
}

bool TextList::isOrdered() const {
    const QString keyword = markerKeyword();
    return keyword.contains(QLatin1String("decimal")) || keyword.contains(QLatin1String("roman")) ||
           keyword.contains(QLatin1String("alpha")) || keyword.contains(QLatin1String("latin")) ||
           keyword.contains(QLatin1String("hexadecimal")) || keyword == QLatin1String("octal");
}

QString TextList::markerSymbolForItemNumber(int n) const {
    const QString keyword = markerKeyword();
    if (keyword == QLatin1String("disc")) return QStringLiteral("\u2022");
    if (keyword == QLatin1String("circle")) return QStringLiteral("\u25E6");
    if (keyword == QLatin1String("square")) return QStringLiteral("\u25AA");
    if (keyword == QLatin1String("hyphen")) return QStringLiteral("\u2043");
    if (keyword == QLatin1String("check")) return QStringLiteral("\u2713");
    if (keyword == QLatin1String("diamond")) return QStringLiteral("\u25C6");
    if (keyword == QLatin1String("box")) return QStringLiteral("\u25AB");
    if (keyword == QLatin1String("decimal")) return QString::number(n);
    if (keyword == QLatin1String("decimal-leading-zero"))
        return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    if (keyword == QLatin1String("lower-roman")) return roman(n, false);
    if (keyword == QLatin1String("upper-roman")) return roman(n, true);
    if (keyword == QLatin1String("lower-alpha") || keyword == QLatin1String("lower-latin"))
        return alphabetic(n, false);
    if (keyword == QLatin1String("upper-alpha") || keyword == QLatin1String("upper-latin"))
        return alphabetic(n, true);
    if (keyword == QLatin1String("octal")) return QString::number(n, 8);
    if (keyword == QLatin1String("lower-hexadecimal")) return QString::number(n, 16);
    if (keyword == QLatin1String("upper-hexadecimal")) return QString::number(n, 16).toUpper();
    return QString();
}

QString TextList::markerForItemNumber(int itemNumber) const {
    return markerPrefix() + markerSymbolForItemNumber(itemNumber) + markerSuffix();
}
