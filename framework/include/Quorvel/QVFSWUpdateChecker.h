// The framework's software-update checker. The host makes one checker with
// its own version number and the address of the update information (a keyed
// archive of a QVFSWUpdateInfo, see there); the check starts at once. Each
// step is announced through QVFNotificationCenter::defaultCenter() with the
// checker as sender:
//   QVFUpdateCheckDidStartNotification   when a check starts
//   QVFNewSoftwareFoundNotification      a newer version the user has not
//                                        skipped, for this system; the
//                                        checker then shows its update panel
//   QVFSoftwareUpToDateNotification      anything else that was read
//   QVFUpdateCheckFailedNotificiation    no answer, or one that is not update
//                                        information; with no body, userInfo
//                                        "NSError" holds the error as a map
//                                        {"domain", "code", "localizedDescription"}
//                                        (the transport error, or
//                                        QVFErrorDomain / 10000); a refused
//                                        check carries QVFErrorDomain / 10001
// The HTTP status is not looked at. A check that has no answer within the
// time-out (60 seconds unless set) fails with the transport error.
//
// Nothing in the answer is trusted: the check address and every redirect
// must be https, a body larger than 4 MB is refused (announced or counted;
// the transfer stops there), and information naming a download, product,
// store or release-notes address that is not https is refused as a whole.
// A refusal is logged and fails the check; nothing is opened or shown.
// "QVFLastSWUpdateVersionKey" in the host's user defaults holds the version
// the user last skipped or asked about (0 when missing).
//
// Threading: main thread only (the start notification on the caller's
// thread, all results queued on the main thread). Owned by the host; on
// destruction the checker stops observing and an unfinished check is dropped.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <optional>

#include "Quorvel/QVFExport.h"
#include "Quorvel/QVFNotificationCenter.h"
#include "Quorvel/QVFSWUpdateInfo.h"

class BoundedHTTPSDownload;
class QNetworkAccessManager;
class QVFUpdateNotificationPanel;

inline const QString QVFUpdateCheckDidStartNotification =
    QStringLiteral("QVFUpdateCheckDidStartNotification");
inline const QString QVFNewSoftwareFoundNotification =
    QStringLiteral("QVFSoftwareNewSoftwareFoundNotification");
inline const QString QVFSoftwareUpToDateNotification =
    QStringLiteral("QVFSoftwareUpToDateNotification");
inline const QString QVFUpdateCheckFailedNotificiation =
    QStringLiteral("QVFUpdateCheckFailedNotificiation");
inline const QString QVFLastSWUpdateVersionKey = QStringLiteral("QVFLastSWUpdateVersionKey");
inline const QString QVFErrorDomain = QStringLiteral("QVFErrorDomain");
constexpr long QVFSWUpdateCheckFailedErrorCode = 10000;
constexpr long QVFSWUpdateRefusedErrorCode = 10001;

class QUORVEL_EXPORT QVFSWUpdateChecker : public QObject {
    Q_OBJECT
  public:
    // Stores the version, starts observing its own "found" notification, and
    // checks `checkURL`.
    QVFSWUpdateChecker(qint64 currentVersion, const QUrl& checkURL, QObject* parent = nullptr);
    ~QVFSWUpdateChecker() override;

    // One check of `url`; may be called again for a new one (an unfinished
    // earlier check is dropped).
    void checkForUpdateWithURL(const QUrl& url);

    // The time-out of the checks started after the call, in milliseconds.
    static void setTimeoutInterval(int milliseconds);
    static int timeoutInterval();

    // For tests only, which serve the feed and the release notes from a local
    // server without certificates: http URLs of exactly this origin (http on
    // 127.0.0.1, ::1 or localhost, with its port) pass as https do, for the
    // checker and the update panel alike. An empty URL ends the allowance;
    // any other origin is ignored and logged. Production never calls it.
    static void setAllowedTestOrigin(const QUrl& origin);

    qint64 currentVersion() const { return currentVersion_; }
    // The last info read, if any.
    std::optional<QVFSWUpdateInfo> updateInfo() const { return updateInfo_; }
    // The panel, once a newer version has been found.
    QVFUpdateNotificationPanel* updatePanel() const;

    // Shows the panel for updateInfo() (made when first needed).
    void newSoftwareVersionFound(const QVFNotification& notification);

  private:
    void checkDidFinish(BoundedHTTPSDownload* download);
    void fail(const QVariantMap& error);
    void post(const QString& name, const QVariantMap& userInfo = {});
    QNetworkAccessManager* session();

    qint64 currentVersion_ = 0;
    std::optional<QVFSWUpdateInfo> updateInfo_;
    QPointer<QVFUpdateNotificationPanel> updatePanel_;
    QNetworkAccessManager* session_ = nullptr;
    QPointer<BoundedHTTPSDownload> currentCheck_;
    QVFNotificationCenter::Token foundObserver_ = 0;
};
