// Date and identifier texts that logs, descriptions and users see.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The platform's standard description of a date: UTC, "2026-12-07 12:47:03 +0000".
QString standardDateDescription(const QDateTime& date);

// A date and time in the user's locale, medium date style and short time style
// as ICU's locale data has them ("Dec 7, 2026, 12:47 PM" in English (US),
// "7 Dec 2026, 12:47" in English (UK) and in the C locale).
QString mediumDateShortTimeText(const QDateTime& date, const QLocale& locale = QLocale());

// A fresh UUID in its upper-case 36-character text form.
QString makeUUIDString();

// Reads the compact UTC time stamp of ENEX files, "20130730T205204Z": four-digit
// year, month, day, "T", hour 00–23, minute, second, "Z". Anything else
// (another length, an out-of-range field) gives an invalid QDateTime.
QDateTime dateFromCompactTimestamp(QStringView text);
// Writes a date in the same form.
QString compactTimestamp(const QDateTime& date);
