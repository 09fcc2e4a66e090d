// The update panel: tells the user that a newer version exists, shows its
// release notes (updateInfoURL, an HTML page loaded with Qt Network and shown
// in a QTextBrowser that runs no scripts), and offers four buttons:
//   Download           opens directDownloadURL; hides the panel
//   More Info          opens appStoreURL when the host's Info.plist has a
//                      "QVBuildVersion" entry and the info has a store page,
//                      else productPageURL; remembers the version in
//                      "QVFLastSWUpdateVersionKey"; hides the panel
//   Skip This Version  remembers the version; hides the panel
//   Remind Me Later    hides the panel (the version is offered again)
// A link clicked in the notes opens in the user's browser, never in the
// panel; when it cannot be opened the system beeps and a "Cannot Open Link"
// alert names it. The notes' context menu offers only "Copy Link" (over a
// link; no menu elsewhere), and nothing can be dropped on them. URLs are
// opened through QDesktopServices, so a host (or a test) can route them with
// QDesktopServices::setUrlHandler.
//
// Only https is loaded or opened (see QVFSWUpdateChecker): release notes at
// another address, a redirect away from https, or notes larger than 4 MB are
// not loaded but shown as an error; a link or button whose address is not
// https is refused and logged (a clicked link raises the alert above). The
// notes' view loads nothing itself: no images or style sheets, local or not.
//
// While the page loads, a spinner shows; a page that cannot be loaded shows
// its error text instead (a cancelled load shows nothing and is not an error)
// and is logged as "error = %@"; a page that has not come within 60 seconds
// is such an error. Closing the window stops the load.
//
// Main thread only. A top-level window; the creator owns it.
#pragma once

#include <QDialog>
#include <QPointer>

#include "Quorvel/QVFExport.h"
#include "Quorvel/QVFSWUpdateInfo.h"

class Error;

class BoundedHTTPSDownload;
class QLabel;
class QMenu;
class QNetworkAccessManager;
class QProgressBar;
class QStackedWidget;
class QTextBrowser;

class QUORVEL_EXPORT QVFUpdateNotificationPanel : public QDialog {
    Q_OBJECT
  public:
    explicit QVFUpdateNotificationPanel(QWidget* parent = nullptr);
    ~QVFUpdateNotificationPanel() override;

    // A panel shared by the process, for hosts that want one (the checker
    // makes its own). Made on first use; lives until the process ends.
    static QVFUpdateNotificationPanel& sharedPanel();

    // Centres the window, shows the loading view, starts loading the release
    // notes and shows the window.
    void showWindowForUpdateInfo(const QVFSWUpdateInfo& info);
    const QVFSWUpdateInfo& updateInfo() const { return updateInfo_; }
    QString errorText() const { return errorText_; }

    void downloadUpdate();
    void showInfo();
    void skipUpdate();
    void remindLater();

    // The views that contentBox() switches between.
    QStackedWidget* contentBox() const { return contentBox_; }
    QWidget* loadingView() const { return loadingView_; }
    QWidget* webContainerView() const { return webContainerView_; }
    QWidget* errorView() const { return errorView_; }
    QTextBrowser* webView() const { return webView_; }
    // The context menu the notes would show at `position` (viewport
    // coordinates), or null for none. The caller owns it.
    QMenu* contextMenuAt(const QPoint& position);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void linkClicked(const QUrl& url);
    void pageDidFinish(BoundedHTTPSDownload* download);
    void showError(const Error& error);
    void stopLoading();
    void rememberVersion();
    void openURL(const QUrl& url);

    QVFSWUpdateInfo updateInfo_;
    QString errorText_;
    QLabel* headline_ = nullptr;
    QLabel* versions_ = nullptr;
    QStackedWidget* contentBox_ = nullptr;
    QWidget* loadingView_ = nullptr;
    QProgressBar* loadingProgress_ = nullptr;
    QWidget* webContainerView_ = nullptr;
    QTextBrowser* webView_ = nullptr;
    QWidget* errorView_ = nullptr;
    QLabel* errorLabel_ = nullptr;
    QNetworkAccessManager* session_ = nullptr;
    QPointer<BoundedHTTPSDownload> pageLoad_;
};
