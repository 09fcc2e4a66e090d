// The window's question for the passphrase of a run whose export holds
// encrypted passages: a modal dialog ("PassphrasePrompt") with a hidden
// entry field ("PassphraseField"), "Decrypt" and "Skip". Skip, closing it or
// an empty field keep the passages hidden. The entered text is cleared from
// the field and from every copy this class makes once it is taken.
// Main thread only.
#pragma once

#include <memory>

#include "util/PassphraseList.h"

class QWidget;

class PassphrasePrompt {
  public:
    // Asks over `parent` (may be null) about `count` passages; runs the
    // dialog's own event loop. The passphrase entered, or null after Skip.
    static std::shared_ptr<const PassphraseList> ask(QWidget* parent, unsigned long count);
};
