#include "platform/foundation/DateText.h"

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

}  // namespace

QString mediumDateShortTimeText(const QDateTime& date, const QLocale& locale) {
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), mediumDatePattern(locale)) + QStringLiteral(", ") +
           locale.toString(local.time(), QLocale::ShortFormat);
}

QString makeUUIDString() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }
