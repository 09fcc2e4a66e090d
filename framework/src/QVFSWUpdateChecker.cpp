#include "Quorvel/QVFSWUpdateChecker.h"

#include <QNetworkAccessManager>
#include <atomic>

#include "BoundedHTTPSDownload.h"
#include "HTTPSPolicy.h"
#include "Quorvel/QVFUpdateNotificationPanel.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"

namespace {

// Errors of the connection itself, as opposed to an HTTP answer with an
// error status (which the check does not look at).
bool isTransportError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code > 0 && code < 200) || (code > 300 && code < 400);
}

// The platform's default time-out of a request.
std::atomic<int> checkTimeoutMs{60000};

QVariantMap errorMap(const QString& domain, qint64 code, const QString& description) {
    return {{QStringLiteral("domain"), domain},
            {QStringLiteral("code"), code},
            {QStringLiteral("localizedDescription"), description}};
}

QVariantMap errorMap(const Error& error) {
    return errorMap(error.domain(), error.code(), error.localizedDescription());
}

// The first address in `info` that may not be opened or loaded; empty when
// all are https (or absent).
QUrl firstRefusedURL(const QVFSWUpdateInfo& info) {
    for (const QUrl& url : {info.directDownloadURL(), info.productPageURL(), info.updateInfoURL(),
                            info.appStoreURL()}) {
        if (!url.isEmpty() && !HTTPSPolicy::isAllowed(url)) return url;
    }
    return {};
}

}  // namespace

QVFSWUpdateChecker::QVFSWUpdateChecker(qint64 currentVersion, const QUrl& checkURL, QObject* parent)
    : QObject(parent), currentVersion_(currentVersion) {
    foundObserver_ = QVFNotificationCenter::defaultCenter().addObserver(
        QVFNewSoftwareFoundNotification, this,
        [this](const QVFNotification& notification) { newSoftwareVersionFound(notification); });
    checkForUpdateWithURL(checkURL);
}

QVFSWUpdateChecker::~QVFSWUpdateChecker() {
    QVFNotificationCenter::defaultCenter().removeObserver(foundObserver_);
    delete updatePanel_;
}

void QVFSWUpdateChecker::setTimeoutInterval(int milliseconds) {
    checkTimeoutMs.store(milliseconds);
}

int QVFSWUpdateChecker::timeoutInterval() { return checkTimeoutMs.load(); }

void QVFSWUpdateChecker::setAllowedTestOrigin(const QUrl& origin) {
    HTTPSPolicy::setAllowedTestOrigin(origin);
}

QVFUpdateNotificationPanel* QVFSWUpdateChecker::updatePanel() const { return updatePanel_; }

QNetworkAccessManager* QVFSWUpdateChecker::session() {
    // A session of its own: nothing cached on disk, no stored credentials.
    if (!session_) session_ = new QNetworkAccessManager(this);
    return session_;
}

void QVFSWUpdateChecker::post(const QString& name, const QVariantMap& userInfo) {
    QVFNotificationCenter::defaultCenter().postNotification(name, this, userInfo);
}

void QVFSWUpdateChecker::checkForUpdateWithURL(const QUrl& url) {
    post(QVFUpdateCheckDidStartNotification);
    delete currentCheck_;
    auto* download = new BoundedHTTPSDownload(session(), url, checkTimeoutMs.load(), this);
    currentCheck_ = download;
    connect(download, &BoundedHTTPSDownload::finished, this,
            [this, download] { checkDidFinish(download); });
}

void QVFSWUpdateChecker::fail(const QVariantMap& error) {
    systemLog(stringWithFormat(QStringLiteral("Update check failed: %@"),
                               {error.value(QStringLiteral("localizedDescription")).toString()}));
    post(QVFUpdateCheckFailedNotificiation, {{QStringLiteral("NSError"), error}});
}

void QVFSWUpdateChecker::checkDidFinish(BoundedHTTPSDownload* download) {
    // Done with: an observer that starts a new check must not delete it
    // while it is still emitting.
    download->deleteLater();
    currentCheck_ = nullptr;
    if (download->refusal()) {
        fail(errorMap(*download->refusal()));
        return;
    }
    const QByteArray body = download->body();
    if (body.isEmpty()) {
        fail(isTransportError(download->networkError())
                 ? errorMap(QStringLiteral("QNetworkReply"), download->networkError(),
                            download->networkErrorString())
                 : errorMap(QVFErrorDomain, QVFSWUpdateCheckFailedErrorCode,
                            localizedString("Information for the latest version is not available "
                                            "at the moment. Please try again later.")));
        return;
    }
    QString problem;
    updateInfo_ = QVFSWUpdateInfo::fromArchivedData(body, &problem);
    if (!updateInfo_) {
        systemLog(
            stringWithFormat(QStringLiteral("Update information cannot be read: %@"), {problem}));
        post(QVFUpdateCheckFailedNotificiation);
        return;
    }
    if (const QUrl refused = firstRefusedURL(*updateInfo_); !refused.isEmpty()) {
        updateInfo_.reset();
        fail(errorMap(QVFErrorDomain, QVFSWUpdateRefusedErrorCode,
                      stringWithFormat(QStringLiteral("The update information names %@, which is "
                                                      "not an https address"),
                                       {refused.toString()})));
        return;
    }
    const qint64 newest = updateInfo_->versionIdentifier();
    const qint64 lastOffered = UserDefaults::standard().integerForKey(QVFLastSWUpdateVersionKey);
    if (newest > currentVersion_ && newest > lastOffered &&
        updateInfo_->isOperatingSystemVersionCompatible()) {
        post(QVFNewSoftwareFoundNotification);
    } else {
        post(QVFSoftwareUpToDateNotification);
    }
}

void QVFSWUpdateChecker::newSoftwareVersionFound(const QVFNotification&) {
    if (!updateInfo_) return;
    if (!updatePanel_) updatePanel_ = new QVFUpdateNotificationPanel;
    updatePanel_->showWindowForUpdateInfo(*updateInfo_);
}
