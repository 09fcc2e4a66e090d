#include "platform/xml/XMLEntityBudget.h"

#include <libxml/xmlerror.h>

#include <algorithm>

#include "platform/foundation/Localization.h"
#include "platform/xml/XMLParserSupport.h"

bool XMLEntityBudget::charge(qint64 bytes) {
    if (exceeded_) return false;
    expanded_ += std::max<qint64>(bytes, 0) + kCostPerExpansion;
    const qint64 allowance = std::max(kMinimumAllowance, kAmplificationFactor * input_);
    exceeded_ = expanded_ > allowance;
    return !exceeded_;
}

Error XMLEntityBudget::exceededError(qint64 line, qint64 column) {
    return XMLParserSupport::positionedError(
        XML_ERR_ENTITY_LOOP, line, column,
        localizedString("Entity expansion exceeds the allowed size."));
}
