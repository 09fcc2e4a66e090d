#include "app/ProgressEstimate.h"

#include <cmath>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "util/ProgressTexts.h"

namespace {

// Early notes are no guide: a run starts with preparation and file counting.
constexpr unsigned long kMinimumNotes = 3;
constexpr qint64 kMinimumMilliseconds = 2000;

bool isKnown(unsigned long done, qint64 elapsedMs) {
    return done >= kMinimumNotes && elapsedMs >= kMinimumMilliseconds;
}

}  // namespace

namespace ProgressEstimate {

QString remainingTimeText(unsigned long done, unsigned long total, qint64 elapsedMs) {
    if (!isKnown(done, elapsedMs) || done >= total) return QString();
    return QVExtensions::stringForTimeInterval(double(elapsedMs) / 1000.0 * double(total - done) /
                                               double(done));
}

QString rateText(unsigned long done, qint64 elapsedMs) {
    if (!isKnown(done, elapsedMs)) return QString();
    const double perSecond = double(done) * 1000.0 / double(elapsedMs);
    if (perSecond >= 1.0)
        return stringWithFormat(localizedString("%ld notes a second"), {std::lround(perSecond)});
    return stringWithFormat(localizedString("%ld notes a minute"), {std::lround(perSecond * 60.0)});
}

}  // namespace ProgressEstimate
