#include "util/ProgressTexts.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kSecondsPerHour = 3600;
constexpr double kSecondsPerMinute = 60;

// One of the two formats for `count`, localised, then filled.
QString remainingText(unsigned long count, const char* singular, const char* plural) {
    return stringWithFormat(localizedString(count == 1 ? singular : plural), {count});
}

// `seconds` in a range that a count of whole units can hold.
double clampedInterval(double seconds) {
    if (std::isnan(seconds) || seconds < 0) return 0;
    const double largest = double(std::numeric_limits<long>::max() / 2) * kSecondsPerDay;
    return std::min(seconds, largest);
}

}  // namespace

namespace QVExtensions {

QString stringForTimeInterval(double seconds) {
    const double t = clampedInterval(seconds);
    if (const auto days = static_cast<unsigned long>(std::floor(t / kSecondsPerDay)); days >= 1)
        return remainingText(days, "%ld day remaining", "%ld days remaining");
    if (const auto hours = static_cast<unsigned long>(std::floor(t / kSecondsPerHour)); hours >= 1)
        return remainingText(hours, "%ld hour remaining", "%ld hours remaining");
    if (const auto minutes = static_cast<unsigned long>(std::floor(t / kSecondsPerMinute));
        minutes >= 1)
        return remainingText(minutes, "%ld minute remaining", "%ld minutes remaining");
    return remainingText(static_cast<unsigned long>(std::ceil(t)), "%ld second remaining",
                         "%ld seconds remaining");
}

QString stringForByteCount(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString stringForBytesCompleted(qint64 completedBytes, qint64 totalBytes) {
    return stringWithFormat(localizedString("%1$@ of %2$@"),
                            {stringForByteCount(completedBytes), stringForByteCount(totalBytes)});
}

QString stringForDataRate(qint64 bytesPerSecond) {
    return stringWithFormat(localizedString("%@/sec"), {stringForByteCount(bytesPerSecond)});
}

}  // namespace QVExtensions
