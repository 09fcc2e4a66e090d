#include "platform/archive/GeometryStrings.h"

#include <QLocale>
#include <QRegularExpression>
#include <limits>

namespace GeometryStrings {

namespace {

bool isAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

// The first `count` unsigned decimal numbers of the string; a number too big
// for 64 bits saturates.
QList<quint64> unsignedNumbers(const QString& string, int count) {
    QList<quint64> numbers;
    qsizetype i = 0;
    while (i < string.size() && numbers.size() < count) {
        if (!isAsciiDigit(string[i])) {
            ++i;
            continue;
        }
        quint64 value = 0;
        bool saturated = false;
        for (; i < string.size() && isAsciiDigit(string[i]); ++i) {
            const quint64 digit = string[i].unicode() - '0';
            if (value > (std::numeric_limits<quint64>::max() - digit) / 10) saturated = true;
            if (!saturated) value = value * 10 + digit;
        }
        numbers << (saturated ? std::numeric_limits<quint64>::max() : value);
    }
    return numbers;
}

QList<double> realNumbers(const QString& string, int count) {
    static const QRegularExpression number(
        QStringLiteral(R"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"));
    QList<double> numbers;
    auto it = number.globalMatch(string);
    while (it.hasNext() && numbers.size() < count) numbers << it.next().captured().toDouble();
    return numbers;
}

}  // namespace

QString numberString(double value) {
    if (value == 0) return QStringLiteral("0");  // also for -0
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString stringFromRange(IndexRange range) {
    return QStringLiteral("{%1, %2}").arg(range.location).arg(range.length);
}

IndexRange rangeFromString(const QString& string) {
    const QList<quint64> numbers = unsignedNumbers(string, 2);
    IndexRange range;
    if (numbers.size() > 0) range.location = numbers[0];
    if (numbers.size() > 1) range.length = numbers[1];
    return range;
}

QString stringFromRect(const QRectF& rect) {
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(numberString(rect.x()), numberString(rect.y()), numberString(rect.width()),
             numberString(rect.height()));
}

QRectF rectFromString(const QString& string) {
    QList<double> numbers = realNumbers(string, 4);
    while (numbers.size() < 4) numbers << 0.0;
    return QRectF(numbers[0], numbers[1], numbers[2], numbers[3]);
}

}  // namespace GeometryStrings
