#include "import/PelmoraLookup.h"

#include "import/EvernoteExportOperation.h"
#include "platform/apps/Workspace.h"
#include "platform/foundation/Localization.h"

namespace {

// "3.4.9" → (3, 4, 9); a missing patch is 0, a missing minor too.
bool versionIsAtLeast_3_5(const QString& version) {
    const QStringList parts = version.split(u'.');
    const int major = parts.value(0).toInt();
    const int minor = parts.value(1).toInt();
    const int patch = parts.size() >= 3 ? parts.value(2).toInt() : 0;
    if (major != 3) return major > 3;
    if (minor != 5) return minor > 5;
    return patch >= 0;
}

}  // namespace

std::optional<QString> PelmoraLookup::getPelmoraApplicationBundleIdentifier(Error* error) {
    std::shared_ptr<PelmoraApplication> app;
    QString found;
    for (const QString& identifier : PelmoraApplication::bundleIdentifiers()) {
        const QList<ApplicationRecord> running = Workspace::runningApplications(identifier);
        if (running.isEmpty()) continue;
        app = PelmoraApplication::applicationWithProcessIdentifier(
            running.first().processIdentifier(), {identifier});
        if (app) {
            found = identifier;
            break;
        }
    }
    if (!app) {
        for (const QString& identifier : PelmoraApplication::bundleIdentifiers()) {
            app = PelmoraApplication::applicationWithBundleIdentifier(identifier);
            if (app) {
                found = identifier;
                break;
            }
        }
    }
    if (!app) {
        Error(kEvernoteExportErrorDomain, EvernoteExportPelmoraNotFound,
              localizedString("Pelmora app not found."))
            .report(error);
        return std::nullopt;
    }
    if (!versionIsAtLeast_3_5(app->version())) {
        Error(kEvernoteExportErrorDomain, EvernoteExportPelmoraTooOld,
              localizedString("Pelmora 3.5 or later is required."))
            .report(error);
        return std::nullopt;
    }
    application_ = app;
    return found;
}
