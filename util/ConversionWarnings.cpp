#include "util/ConversionWarnings.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"

namespace {

thread_local ConversionWarnings* innermost = nullptr;

}  // namespace

ConversionWarnings::ConversionWarnings() : outer_(innermost) { innermost = this; }

ConversionWarnings::~ConversionWarnings() { innermost = outer_; }

void ConversionWarnings::note(const QString& text) {
    if (innermost) innermost->add(text);
}

void ConversionWarnings::log(const QString& text) {
    systemLog(text);
    note(text);
}

void ConversionWarnings::add(const QString& text) {
    if (kept_.size() < kMaximumKept)
        kept_.append(text);
    else
        ++leftOut_;
}

QStringList ConversionWarnings::warnings() const {
    if (leftOut_ == 0) return kept_;
    return kept_ + QStringList{stringWithFormat(localizedString("and %ld more warnings"),
                                                {static_cast<long long>(leftOut_)})};
}
