// The one-time invitation to subscribe to the maker's newsletter: a modal
// alert "Sign Up for News" with the buttons "Subscribe..." and "Cancel".
// "Subscribe..." opens the newsletter page in the user's browser, with the
// product code as "?product=<code>" when one is given. Whatever the answer,
// the setting "QVFSubscribeToNewsPanelRun" is set, so that the first-run form
// never shows the invitation again; the plain form always shows it.
//
// The page is "/news/subscribe" on the maker's web site, whose address is
// the framework's Info.plist entry "QVFWebSiteURL".
//
// Main thread only; the alert runs its own event loop until answered.
#pragma once

#include <QString>
#include <QUrl>

#include "Quorvel/QVFExport.h"

class UserDefaults;

class QUORVEL_EXPORT QVFNewsPanelController {
  public:
    // The settings key that records that the invitation was shown.
    static QString subscribeToNewsPanelRunKey() {
        return QStringLiteral("QVFSubscribeToNewsPanelRun");
    }

    // The process's controller, over the application's standard settings.
    static QVFNewsPanelController& sharedPanel();
    // A controller that keeps its flag in `defaults` (not owned).
    explicit QVFNewsPanelController(UserDefaults& defaults);

    // Shows the invitation unless it was shown before.
    void showSubscribePanelIfFirstRun() { showSubscribePanelIfFirstRunForProductCode(QString()); }
    void showSubscribePanelIfFirstRunForProductCode(const QString& productCode);
    // Shows the invitation.
    void showSubscribePanel() { showSubscribePanelForProductCode(QString()); }
    void showSubscribePanelForProductCode(const QString& productCode);

    // The newsletter page, carrying `productCode` when it is not empty.
    static QUrl subscribeURLForProductCode(const QString& productCode);

  private:
    UserDefaults& defaults_;
};
