// Date and identifier texts that logs, descriptions and users see.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The platform's standard description of a date: UTC, "2026-12-07 12:47:03 +0000".
QString standardDateDescription(const QDateTime& date);

// A date and time in the user's locale, medium date style and short time style
// ("Dec 7, 2026 at 12:47 PM" in English (US), "7 Dec 2026, 12:47" in English (UK)).
QString mediumDateShortTimeText(const QDateTime& date, const QLocale& locale = QLocale());

// A fresh UUID in its upper-case 36-character text form.
QString makeUUIDString();
