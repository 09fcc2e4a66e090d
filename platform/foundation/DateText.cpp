#include "platform/foundation/DateText.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <QTimeZone>
#include <QUuid>
#include <memory>

QString standardDateDescription(const QDateTime& date) {
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

namespace {

// The ICU locale for a Qt locale. The C locale (Qt's is English with
// day-month-year dates and a 24-hour clock) gets the English of Europe, which
// writes them so; ICU's root locale would write "2026 M12 7 13:47".
icu::Locale icuLocale(const QLocale& locale) {
    if (locale.language() == QLocale::C) return icu::Locale("en_150");
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale converted =
        icu::Locale::forLanguageTag(locale.bcp47Name().toStdString(), status);
    return U_SUCCESS(status) ? converted : icu::Locale::getRoot();
}

// The wall-clock time of `local` as ICU's UTC milliseconds: the formatter
// works in UTC, so the text shows Qt's local time whatever zone ICU assumes.
UDate wallClockInUTC(const QDateTime& local) {
    return UDate(QDateTime(local.date(), local.time(), QTimeZone::utc()).toMSecsSinceEpoch());
}

}  // namespace

QString mediumDateShortTimeText(const QDateTime& date, const QLocale& locale) {
    if (!date.isValid()) return QString();
    const QDateTime local = date.toLocalTime();
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale(locale)));
    if (!format)  // ICU without data: the ISO form, never an empty text
        return local.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    format->adoptTimeZone(icu::TimeZone::getGMT()->clone());
    icu::UnicodeString text;
    format->format(wallClockInUTC(local), text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
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
