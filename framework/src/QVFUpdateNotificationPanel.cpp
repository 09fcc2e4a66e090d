#include "Quorvel/QVFUpdateNotificationPanel.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "BoundedHTTPSDownload.h"
#include "HTTPSPolicy.h"
#include "Quorvel/QVFSWUpdateChecker.h"
#include "ReleaseNotesView.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"

namespace {

// The platform's default time-out of a page load.
constexpr int kPageTimeoutMs = 60000;

QWidget* viewHolding(QWidget* child, QWidget* parent) {
    auto* view = new QWidget(parent);
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
    return view;
}

}  // namespace

QVFUpdateNotificationPanel::QVFUpdateNotificationPanel(QWidget* parent) : QDialog(parent) {
    setWindowTitle(localizedString("Software Update"));
    headline_ = new QLabel(this);
    QFont bold = headline_->font();
    bold.setBold(true);
    headline_->setFont(bold);
    versions_ = new QLabel(this);
    versions_->setWordWrap(true);

    loadingProgress_ = new QProgressBar;
    loadingProgress_->setRange(0, 0);
    loadingView_ = viewHolding(loadingProgress_, this);
    webView_ = new ReleaseNotesView;
    webView_->setOpenLinks(false);
    webView_->setOpenExternalLinks(false);
    webView_->setAcceptDrops(false);
    webView_->viewport()->setAcceptDrops(false);
    webView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(webView_, &QTextBrowser::anchorClicked, this, &QVFUpdateNotificationPanel::linkClicked);
    connect(webView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (QMenu* menu = contextMenuAt(position)) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(webView_->viewport()->mapToGlobal(position));
        }
    });
    webContainerView_ = viewHolding(webView_, this);
    errorLabel_ = new QLabel;
    errorLabel_->setWordWrap(true);
    errorLabel_->setAlignment(Qt::AlignCenter);
    errorView_ = viewHolding(errorLabel_, this);
    contentBox_ = new QStackedWidget(this);
    for (QWidget* view : {loadingView_, webContainerView_, errorView_})
        contentBox_->addWidget(view);

    auto* download = new QPushButton(localizedString("Download"), this);
    auto* info = new QPushButton(localizedString("More Info"), this);
    auto* skip = new QPushButton(localizedString("Skip This Version"), this);
    auto* later = new QPushButton(localizedString("Remind Me Later"), this);
    download->setDefault(true);
    connect(download, &QPushButton::clicked, this, &QVFUpdateNotificationPanel::downloadUpdate);
    connect(info, &QPushButton::clicked, this, &QVFUpdateNotificationPanel::showInfo);
    connect(skip, &QPushButton::clicked, this, &QVFUpdateNotificationPanel::skipUpdate);
    connect(later, &QPushButton::clicked, this, &QVFUpdateNotificationPanel::remindLater);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip);
    buttons->addStretch();
    buttons->addWidget(later);
    buttons->addWidget(info);
    buttons->addWidget(download);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headline_);
    layout->addWidget(versions_);
    layout->addWidget(new QLabel(localizedString("Release Notes:"), this));
    layout->addWidget(contentBox_, 1);
    layout->addLayout(buttons);
    resize(620, 480);
}

QVFUpdateNotificationPanel::~QVFUpdateNotificationPanel() { stopLoading(); }

QVFUpdateNotificationPanel& QVFUpdateNotificationPanel::sharedPanel() {
    // Never destroyed: a widget must not outlive the application object.
    static QVFUpdateNotificationPanel* shared = new QVFUpdateNotificationPanel;
    return *shared;
}

void QVFUpdateNotificationPanel::showWindowForUpdateInfo(const QVFSWUpdateInfo& info) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    updateInfo_ = info;
    headline_->setText(stringWithFormat(localizedString("A new version of %@ is available!"),
                                        {info.productName()}));
    versions_->setText(stringWithFormat(
        localizedString("%@ %@ is now available—you have %@. Would you like to download it now?"),
        {info.productName(), info.versionString(), QVFSWUpdateInfo::currentVersionString()}));
    loadingProgress_->setVisible(true);
    contentBox_->setCurrentWidget(loadingView_);

    stopLoading();
    if (!session_) session_ = new QNetworkAccessManager(this);
    auto* download = new BoundedHTTPSDownload(session_, info.updateInfoURL(), kPageTimeoutMs, this);
    pageLoad_ = download;
    connect(download, &BoundedHTTPSDownload::finished, this,
            [this, download] { pageDidFinish(download); });
    show();
}

void QVFUpdateNotificationPanel::pageDidFinish(BoundedHTTPSDownload* download) {
    download->deleteLater();
    if (download != pageLoad_) return;
    pageLoad_ = nullptr;
    if (download->refusal()) {
        showError(*download->refusal());
        return;
    }
    const QNetworkReply::NetworkError failure = download->networkError();
    if (failure == QNetworkReply::OperationCanceledError) return;
    const QByteArray page = download->body();
    // An error page from the server is still a page; only a load that
    // brought nothing is an error.
    if (failure != QNetworkReply::NoError && page.isEmpty()) {
        showError(Error(QStringLiteral("QNetworkReply"), failure, download->networkErrorString()));
        return;
    }
    webView_->document()->setBaseUrl(download->url());
    webView_->setHtml(QString::fromUtf8(page));
    contentBox_->setCurrentWidget(webContainerView_);
}

void QVFUpdateNotificationPanel::showError(const Error& error) {
    systemLog(stringWithFormat(QStringLiteral("error = %@"), {error}));
    loadingProgress_->setVisible(false);
    errorText_ = error.localizedDescription();
    errorLabel_->setText(errorText_);
    contentBox_->setCurrentWidget(errorView_);
}

void QVFUpdateNotificationPanel::stopLoading() {
    // Deleting the download aborts it without a word.
    delete pageLoad_;
}

void QVFUpdateNotificationPanel::linkClicked(const QUrl& url) {
    const QUrl target = webView_->document()->baseUrl().resolved(url);
    if (HTTPSPolicy::isAllowed(target)) {
        if (QDesktopServices::openUrl(target)) return;
    } else {
        systemLog(stringWithFormat(QStringLiteral("Refused to open %@: not an https address"),
                                   {target.toString()}));
    }
    QApplication::beep();
    auto* alert = new QMessageBox(QMessageBox::Warning, localizedString("Cannot Open Link"),
                                  localizedString("Cannot Open Link"), QMessageBox::Ok, this);
    alert->setInformativeText(stringWithFormat(
        localizedString("There was a problem opening the link %@."), {target.toString()}));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

QMenu* QVFUpdateNotificationPanel::contextMenuAt(const QPoint& position) {
    const QString anchor = webView_->anchorAt(position);
    if (anchor.isEmpty()) return nullptr;
    const QUrl link = webView_->document()->baseUrl().resolved(QUrl(anchor));
    auto* menu = new QMenu(webView_);
    menu->addAction(localizedString("Copy Link"), menu,
                    [link] { QGuiApplication::clipboard()->setText(link.toString()); });
    return menu;
}

void QVFUpdateNotificationPanel::closeEvent(QCloseEvent* event) {
    stopLoading();
    QDialog::closeEvent(event);
}

void QVFUpdateNotificationPanel::openURL(const QUrl& url) {
    if (!HTTPSPolicy::isAllowed(url)) {
        systemLog(stringWithFormat(QStringLiteral("Refused to open %@: not an https address"),
                                   {url.toString()}));
        return;
    }
    if (!QDesktopServices::openUrl(url))
        systemLog(stringWithFormat(QStringLiteral("Cannot open %@"), {url}));
}

void QVFUpdateNotificationPanel::rememberVersion() {
    Error error;
    if (!UserDefaults::standard().setObject(
            PlistValue(static_cast<long long>(updateInfo_.versionIdentifier())),
            QVFLastSWUpdateVersionKey, &error))
        systemLog(
            stringWithFormat(QStringLiteral("Cannot remember the offered version: %@"), {error}));
}

void QVFUpdateNotificationPanel::downloadUpdate() {
    openURL(updateInfo_.directDownloadURL());
    hide();
}

void QVFUpdateNotificationPanel::showInfo() {
    const bool fromStore =
        !Bundle::main().infoDictionary().value(QStringLiteral("QVBuildVersion")).isNull() &&
        !updateInfo_.appStoreURL().isEmpty();
    openURL(fromStore ? updateInfo_.appStoreURL() : updateInfo_.productPageURL());
    rememberVersion();
    hide();
}

void QVFUpdateNotificationPanel::skipUpdate() {
    rememberVersion();
    hide();
}

void QVFUpdateNotificationPanel::remindLater() { hide(); }
