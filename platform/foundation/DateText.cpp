#include "platform/foundation/DateText.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>
#include <QUuid>

QString standardDateDescription(const QDateTime& date) {
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

namespace {

// The medium date pattern for a locale: the month by its abbreviated name, the
// day and the four-digit year in the order that the locale's short form uses.
QString mediumDatePattern(const QLocale& locale) {
    const QString shortPattern = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype day = shortPattern.indexOf(u'd');
    const qsizetype month = shortPattern.indexOf(u'M');
    const qsizetype year = shortPattern.indexOf(u'y');
    if (year >= 0 && year < month && year < day) return QStringLiteral("yyyy MMM d");
    if (day >= 0 && day < month) return QStringLiteral("d MMM yyyy");
    return QStringLiteral("MMM d, yyyy");
}

// The locale's short time pattern without seconds: some locales' short
// form (the C locale's "HH:mm:ss" among them) shows them, the short time
// style never does. The seconds go with the separator before them and any
// fraction after them; quoted literal text is kept as it is.
QString shortTimePattern(const QLocale& locale) {
    static const QRegularExpression seconds(QStringLiteral("[:.]?s{1,2}([.,]?z{1,3})?"));
    QStringList pieces = locale.timeFormat(QLocale::ShortFormat).split(u'\'');
    for (qsizetype i = 0; i < pieces.size(); i += 2) pieces[i].remove(seconds);
    return pieces.join(u'\'');
}

}  // namespace

QString mediumDateShortTimeText(const QDateTime& date, const QLocale& locale) {
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), mediumDatePattern(locale)) + QStringLiteral(", ") +
           locale.toString(local.time(), shortTimePattern(locale));
}

QString makeUUIDString() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

QDateTime dateFromCompactTimestamp(QStringView text) {
    if (text.size() != 16 || text[8] != u'T' || text[15] != u'Z') return {};
    auto number = [&](qsizetype from, qsizetype length, bool* ok) {
        int value = 0;
        for (qsizetype i = from; i < from + length; ++i) {
            if (!text[i].isDigit() || text[i].unicode() > u'9') *ok = false;
            value = value * 10 + (text[i].unicode() - u'0');
        }
        return value;
    };
    bool ok = true;
    const int year = number(0, 4, &ok), month = number(4, 2, &ok), day = number(6, 2, &ok);
    const int hour = number(9, 2, &ok), minute = number(11, 2, &ok), second = number(13, 2, &ok);
    if (!ok) return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, QTimeZone::utc());
}

QString compactTimestamp(const QDateTime& date) {
    return date.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}
