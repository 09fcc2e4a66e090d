#include "Quorvel/QVFNewsPanelController.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"

namespace {

const Bundle& frameworkBundle() {
    static const Bundle bundle(QStringLiteral(":/Quorvel/Info.plist"));
    return bundle;
}

}  // namespace

QVFNewsPanelController& QVFNewsPanelController::sharedPanel() {
    static QVFNewsPanelController controller(UserDefaults::standard());
    return controller;
}

QVFNewsPanelController::QVFNewsPanelController(UserDefaults& defaults) : defaults_(defaults) {}

QUrl QVFNewsPanelController::subscribeURLForProductCode(const QString& productCode) {
    QString site = frameworkBundle().stringForKey(QStringLiteral("QVFWebSiteURL"));
    while (site.endsWith(u'/')) site.chop(1);
    const QString page = site + QStringLiteral("/news/subscribe");
    if (productCode.isEmpty()) return QUrl(page);
    return QUrl(
        stringWithFormat(QStringLiteral("%@?product=%@"),
                         {page, QString::fromLatin1(QUrl::toPercentEncoding(productCode))}));
}

void QVFNewsPanelController::showSubscribePanelIfFirstRunForProductCode(
    const QString& productCode) {
    if (defaults_.boolForKey(subscribeToNewsPanelRunKey())) return;
    showSubscribePanelForProductCode(productCode);
}

void QVFNewsPanelController::showSubscribePanelForProductCode(const QString& productCode) {
    QMessageBox alert;
    alert.setIcon(QMessageBox::Information);
    alert.setText(localizedString("Sign Up for News"));
    alert.setInformativeText(localizedString(
        "For the latest news about applications and updates, subscribe to our infrequent mailing "
        "list. Your details will not be shared with anyone else."));
    QPushButton* subscribe =
        alert.addButton(localizedString("Subscribe..."), QMessageBox::AcceptRole);
    alert.addButton(localizedString("Cancel"), QMessageBox::RejectRole);
    alert.setDefaultButton(subscribe);
    alert.exec();

    if (alert.clickedButton() == subscribe) {
        const QUrl page = subscribeURLForProductCode(productCode);
        if (!QDesktopServices::openUrl(page)) {
            systemLog(stringWithFormat(QStringLiteral("Cannot open %@"), {page}));
        }
    }
    Error error;
    if (!defaults_.setObject(PlistValue(true), subscribeToNewsPanelRunKey(), &error)) {
        systemLog(stringWithFormat(
            QStringLiteral("Cannot record that the news invitation was shown: %@"), {error}));
    }
}
