// PMWelcomeNote: the application resource "Welcome to Pelmora" of type
// "pmnote", a short note that greets a new user and shows a checklist. The
// program ships no resource folder of its own, so the package is made from
// code the first time it is asked for, in the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache, then "ferrymark/Resources"), and made
// again when it has gone missing. Thread-safe.
#pragma once

#include <QString>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/richtext/AttributedString.h"

namespace PMWelcomeNote {

// "Welcome to Pelmora".
QString resourceName();
// The note's text, with one checked and one unchecked checklist box.
AttributedString text();
// The package's path, made when missing; none when it cannot be written
// (the reason goes to the system log).
std::optional<QString> resourcePath();

}  // namespace PMWelcomeNote
