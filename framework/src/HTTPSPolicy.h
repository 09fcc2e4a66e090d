// Which addresses the update checker and the update panel may load or hand to
// the desktop: https only. A feed, a release-notes page or a link in either
// that names another scheme (file:, http:, a custom scheme handler) is
// refused, so a damaged or hostile feed cannot make the framework read local
// files or start other programs.
//
// Tests reach a local server without certificates through one allowed
// origin (http, a loopback host and a port), set by
// QVFSWUpdateChecker::setAllowedTestOrigin; production never sets it.
//
// Stateless apart from the test origin; main thread only.
#pragma once

#include <QUrl>

namespace HTTPSPolicy {

// Whether `url` may be loaded or opened: an https URL with a host, or a URL
// of the allowed test origin.
bool isAllowed(const QUrl& url);

// Allows http URLs of exactly `origin`'s scheme, host and port as well; an
// empty URL removes the allowance. Only http on 127.0.0.1, ::1 or localhost
// with an explicit port is taken; anything else is ignored and logged.
void setAllowedTestOrigin(const QUrl& origin);

}  // namespace HTTPSPolicy
