// The texts a progress display shows: the time left ("3 minutes remaining"),
// the bytes done ("1.2 MB of 3.4 MB") and a data rate ("512 kB/sec"). Every
// format is looked up in the string table (localizedString) with its English
// text as key, then filled. Stateless, any thread.
#pragma once

#include <QString>
#include <QtGlobal>

namespace QVExtensions {

// "%ld days remaining" (or "day" for one) when `seconds` holds at least one
// whole day; else whole hours, else whole minutes, each rounded down; below a
// minute the seconds rounded up ("0.2" gives "1 second remaining", 0 gives
// "0 seconds remaining"). A negative or not-a-number interval counts as 0;
// an infinite one as the largest count of days.
QString stringForTimeInterval(double seconds);

// A byte count as users read it: decimal units, one decimal at most
// ("512 bytes", "1.5 kB", "12.3 MB"), in the user's locale.
QString stringForByteCount(qint64 bytes);
// Both counts formatted by stringForByteCount, joined by "%1$@ of %2$@".
QString stringForBytesCompleted(qint64 completedBytes, qint64 totalBytes);
// The count formatted by stringForByteCount, put into "%@/sec".
QString stringForDataRate(qint64 bytesPerSecond);

}  // namespace QVExtensions
