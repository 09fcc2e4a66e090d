// Finds the Pelmora application an import hands its description to: a
// running edition first ("com.quorvel.Pelmora3", then the sandboxed
// "com.quorvel.Pelmora3.mac"), else an installed one in the same order, and
// accepts it only from version 3.5 on.
#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/apps/PelmoraApplication.h"
#include "platform/foundation/Error.h"

class PelmoraLookup {
  public:
    // The bundle identifier of the edition found, which application() then
    // holds. Errors (domain "EvernoteExport"): 10003 "Pelmora app not found.",
    // 10002 "Pelmora 3.5 or later is required.".
    std::optional<QString> getPelmoraApplicationBundleIdentifier(Error* error = nullptr);
    // The application found; null before a successful lookup.
    std::shared_ptr<PelmoraApplication> application() const { return application_; }

  private:
    std::shared_ptr<PelmoraApplication> application_;
};
