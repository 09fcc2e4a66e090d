// The estimate that the progress sheet adds to its count of notes: the rate
// and the time left, once enough of the run has passed to know them.
// Stateless, any thread.
#pragma once

#include <QString>

namespace ProgressEstimate {

// "2 minutes remaining" (QVExtensions::stringForTimeInterval) for `done` of
// `total` notes after `elapsedMs` milliseconds at the rate so far; empty
// while too little is known (fewer than three notes or less than two
// seconds) or when nothing is left.
QString remainingTimeText(unsigned long done, unsigned long total, qint64 elapsedMs);
// "12 notes a second" (or "a minute", for slow runs); empty while too little
// is known, as above.
QString rateText(unsigned long done, qint64 elapsedMs);

}  // namespace ProgressEstimate
