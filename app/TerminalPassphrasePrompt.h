// Asks for a passphrase on the terminal with echo off (--ask-passphrase):
// the prompt goes to the terminal, the answer (one line) straight into the
// run's PassphraseList, and every buffer that held it is wiped. Main thread
// only, before the run.
#pragma once

#include <QString>

#include "platform/foundation/Error.h"
#include "util/PassphraseList.h"

class TerminalPassphrasePrompt {
  public:
    // The longest answer taken; a longer line is refused.
    static constexpr size_t maximumPassphraseBytes = 4096;

    // Reads one line from `inputDescriptor` after writing `prompt` to
    // `outputDescriptor`; echo is off while it reads when the input is a
    // terminal. Adds the line (without its line break) to `passphrases`.
    // False with an error (domain "TerminalPassphrasePromptErrorDomain"):
    // 1 nothing could be read (end of input), 2 the line is too long.
    static bool askInto(PassphraseList& passphrases, const QString& prompt, int inputDescriptor,
                        int outputDescriptor, Error* error = nullptr);
    // askInto on the controlling terminal (/dev/tty); error 3 without one.
    static bool askOnTerminalInto(PassphraseList& passphrases, const QString& prompt,
                                  Error* error = nullptr);
};
