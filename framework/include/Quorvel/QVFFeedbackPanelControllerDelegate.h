// What the host of a feedback panel implements: it learns how the user
// answered and does what the answer asks (opens the store page, the support
// page). Called on the main thread, once per showing of the panel.
#pragma once

#include "Quorvel/QVFExport.h"

class QVFFeedbackPanelController;

class QUORVEL_EXPORT QVFFeedbackPanelControllerDelegate {
  public:
    virtual ~QVFFeedbackPanelControllerDelegate() = default;

    // The panel closed with `response`: one of QVFFeedbackPanelController's
    // Response values (RateApp 0, RateLater 1, DeclineRateApp 2, GetSupport 3).
    virtual void feedbackPanelController(QVFFeedbackPanelController* controller,
                                         unsigned response) = 0;
};
