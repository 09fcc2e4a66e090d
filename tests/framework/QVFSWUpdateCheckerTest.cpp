#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTextBrowser>

#include "Quorvel/QVFSWUpdateChecker.h"
#include "Quorvel/QVFUpdateNotificationPanel.h"
#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/framework/RecordingHTTPServer.h"
#include "tests/support/TestEnvironment.h"

namespace {

QVFSWUpdateInfo sampleInfo(qint64 version) {
    QVFSWUpdateInfo info;
    info.setProductIdentifier("com.quorvel.Sample");
    info.setProductName("Sample");
    info.setVersionIdentifier(version);
    info.setVersionString("2.1");
    info.setDirectDownloadURL(QUrl("https://downloads.example.org/Sample-2.1.tar.gz"));
    info.setProductPageURL(QUrl("https://example.org/sample"));
    info.setUpdateInfoURL(QUrl("https://example.org/sample/notes.html"));
    info.setSystemVersion("1.0");
    return info;
}

// Records the notifications of one checker, in order.
class NotificationLog {
  public:
    NotificationLog() {
        token_ = QVFNotificationCenter::defaultCenter().addObserver(
            {}, nullptr, [this](const QVFNotification& n) {
                if (n.name.startsWith("QVF")) notifications_.append(n);
            });
    }
    ~NotificationLog() { QVFNotificationCenter::defaultCenter().removeObserver(token_); }
    QStringList names() const {
        QStringList names;
        for (const QVFNotification& n : notifications_) names.append(n.name);
        return names;
    }
    const QVFNotification& last() const { return notifications_.last(); }
    qsizetype count() const { return notifications_.size(); }

  private:
    QList<QVFNotification> notifications_;
    QVFNotificationCenter::Token token_ = 0;
};

class UpdateChecker : public ::testing::Test {
  protected:
    // The local server stands in for an https one.
    void SetUp() override { QVFSWUpdateChecker::setAllowedTestOrigin(server_.url("/")); }
    void TearDown() override { QVFSWUpdateChecker::setAllowedTestOrigin(QUrl()); }
    // Info whose release notes come from the test's server.
    QVFSWUpdateInfo info(qint64 version) {
        QVFSWUpdateInfo info = sampleInfo(version);
        info.setUpdateInfoURL(server_.url("/notes.html"));
        return info;
    }
    // Runs one check of `url` with a new checker; returns its notifications' names.
    QStringList check(const QUrl& url, qint64 currentVersion = 100) {
        const qsizetype before = log_.count();
        checker_ = std::make_unique<QVFSWUpdateChecker>(currentVersion, url);
        EXPECT_TRUE(runEventLoopUntil([&] { return log_.count() >= before + 2; }, 20000));
        return log_.names().mid(before);
    }
    // The same for an answer with `body`.
    QStringList check(const QByteArray& body, qint64 currentVersion = 100) {
        server_.setResponseBody(body);
        return check(server_.url("/update"), currentVersion);
    }

    TestEnvironment env_;
    RecordingHTTPServer server_;
    NotificationLog log_;
    std::unique_ptr<QVFSWUpdateChecker> checker_;
};

}  // namespace

TEST_F(UpdateChecker, ANewerVersionIsFoundAndShownInThePanel) {
    EXPECT_EQ(check(info(101).archivedData()),
              QStringList({QVFUpdateCheckDidStartNotification, QVFNewSoftwareFoundNotification}));
    EXPECT_EQ(log_.last().object, checker_.get());
    ASSERT_TRUE(checker_->updateInfo());
    EXPECT_EQ(checker_->updateInfo()->versionIdentifier(), 101);
    ASSERT_NE(checker_->updatePanel(), nullptr);
    EXPECT_TRUE(checker_->updatePanel()->isVisible());
    EXPECT_EQ(server_.requests().first().method, "GET");
}

TEST_F(UpdateChecker, TheSameVersionIsUpToDateWhateverTheSettingsSay) {
    ASSERT_TRUE(UserDefaults::standard().setObject(PlistValue(50), QVFLastSWUpdateVersionKey));
    EXPECT_EQ(check(info(100).archivedData(), 100).last(), QVFSoftwareUpToDateNotification);
    EXPECT_EQ(checker_->updatePanel(), nullptr);
}

TEST_F(UpdateChecker, ASkippedVersionIsUpToDateAndANewerOneIsFound) {
    ASSERT_TRUE(UserDefaults::standard().setObject(PlistValue(101), QVFLastSWUpdateVersionKey));
    EXPECT_EQ(check(info(101).archivedData()).last(), QVFSoftwareUpToDateNotification);
    EXPECT_EQ(check(info(102).archivedData()).last(), QVFNewSoftwareFoundNotification);
}

TEST_F(UpdateChecker, AVersionForANewerSystemIsNotOffered) {
    QVFSWUpdateInfo newer = info(200);
    newer.setSystemVersion("9999.0");
    EXPECT_EQ(check(newer.archivedData()).last(), QVFSoftwareUpToDateNotification);
}

TEST_F(UpdateChecker, AnEmptyAnswerFailsWithTheServiceError) {
    EXPECT_EQ(check(QByteArray()).last(), QVFUpdateCheckFailedNotificiation);
    const QVariantMap error = log_.last().userInfo.value("NSError").toMap();
    EXPECT_EQ(error.value("domain").toString(), "QVFErrorDomain");
    EXPECT_EQ(error.value("code").toLongLong(), 10000);
    EXPECT_EQ(error.value("localizedDescription").toString(),
              "Information for the latest version is not available at the moment. Please try "
              "again later.");
}

TEST_F(UpdateChecker, AnAnswerThatIsNotAnArchiveFailsWithoutAnError) {
    EXPECT_EQ(check("<html><body>502 Bad Gateway</body></html>").last(),
              QVFUpdateCheckFailedNotificiation);
    EXPECT_TRUE(log_.last().userInfo.isEmpty());
    EXPECT_FALSE(checker_->updateInfo());
}

TEST_F(UpdateChecker, NoConnectionFailsWithTheTransportError) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1/update").arg(port));
    QVFSWUpdateChecker::setAllowedTestOrigin(nowhere);
    EXPECT_EQ(check(nowhere).last(), QVFUpdateCheckFailedNotificiation);
    const QVariantMap error = log_.last().userInfo.value("NSError").toMap();
    EXPECT_NE(error.value("domain").toString(), "QVFErrorDomain");
    EXPECT_FALSE(error.value("localizedDescription").toString().isEmpty());
}

TEST_F(UpdateChecker, AServerThatNeverAnswersFailsAtTheTimeOut) {
    const int savedTimeout = QVFSWUpdateChecker::timeoutInterval();
    QVFSWUpdateChecker::setTimeoutInterval(300);
    server_.setStalled(true);
    const QStringList names = check(QByteArray("never sent"));
    QVFSWUpdateChecker::setTimeoutInterval(savedTimeout);
    EXPECT_EQ(names.last(), QVFUpdateCheckFailedNotificiation);
    EXPECT_EQ(server_.requests().size(), 1);
    EXPECT_NE(log_.last().userInfo.value("NSError").toMap().value("domain").toString(),
              "QVFErrorDomain");
}

namespace {

long errorCode(const QVFNotification& notification) {
    return notification.userInfo.value("NSError").toMap().value("code").toLongLong();
}

}  // namespace

// A hostile feed must not get a file read or a program started: information
// naming anything but https is refused whole, and no panel is made.
TEST_F(UpdateChecker, AFeedWithALinkThatIsNotHttpsIsRefused) {
    for (const QUrl& link : {QUrl("file:///etc/passwd"), QUrl("quorvel-test-handler:run"),
                             QUrl("http://downloads.example.org/Sample.tar.gz")}) {
        QVFSWUpdateInfo hostile = info(101);
        hostile.setDirectDownloadURL(link);
        EXPECT_EQ(check(hostile.archivedData()).last(), QVFUpdateCheckFailedNotificiation);
        EXPECT_EQ(errorCode(log_.last()), QVFSWUpdateRefusedErrorCode)
            << link.toString().toStdString();
        EXPECT_FALSE(checker_->updateInfo());
        EXPECT_EQ(checker_->updatePanel(), nullptr);
    }
}

TEST_F(UpdateChecker, ACheckAddressThatIsNotHttpsIsNeverLoaded) {
    RecordingHTTPServer other;
    other.setResponseBody(info(101).archivedData());
    for (const QUrl& url : {other.url("/update"), QUrl("file:///etc/passwd")}) {
        EXPECT_EQ(check(url).last(), QVFUpdateCheckFailedNotificiation);
        EXPECT_EQ(errorCode(log_.last()), QVFSWUpdateRefusedErrorCode);
    }
    EXPECT_TRUE(other.requests().isEmpty());
}

TEST_F(UpdateChecker, ARedirectToHttpIsRefused) {
    RecordingHTTPServer other;
    other.setResponseBody(info(101).archivedData());
    server_.setRedirect(other.url("/update"));
    EXPECT_EQ(check(server_.url("/update")).last(), QVFUpdateCheckFailedNotificiation);
    EXPECT_EQ(errorCode(log_.last()), QVFSWUpdateRefusedErrorCode);
    EXPECT_TRUE(other.requests().isEmpty());
    EXPECT_EQ(checker_->updatePanel(), nullptr);
}

// 100 MB, announced or not, is refused and the transfer stops long before its
// end: the answer is never read whole into memory.
TEST_F(UpdateChecker, AnAnswerLargerThanTheBoundIsRefusedAndCutOff) {
    constexpr qint64 kHundredMegabytes = 100LL * 1024 * 1024;
    for (const bool announced : {true, false}) {
        RecordingHTTPServer big;
        big.setStreamedBody(kHundredMegabytes, announced);
        QVFSWUpdateChecker::setAllowedTestOrigin(big.url("/"));
        EXPECT_EQ(check(big.url("/update")).last(), QVFUpdateCheckFailedNotificiation);
        EXPECT_EQ(errorCode(log_.last()), QVFSWUpdateRefusedErrorCode) << announced;
        EXPECT_LT(big.streamedBytes(), kHundredMegabytes) << announced;
    }
}

// The archive holds a QVFSWUpdateInfo with URLs as NSURL objects and the
// version as an inline integer, and reads back field for field.
TEST(UpdateInfo, ArchiveKeepsEveryFieldInThePlatformForm) {
    QVFSWUpdateInfo info = sampleInfo(4200000000LL);
    info.setAppStoreURL(QUrl("https://store.example.org/app/sample"));
    const QByteArray data = info.archivedData();

    const std::optional<ArchiveValue> root = KeyedUnarchiver::unarchivedRootObject(data);
    ASSERT_TRUE(root);
    const auto instance = root->toObject<ArchivedInstance>();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->className(), "QVFSWUpdateInfo");
    for (const ArchivedInstance::Field& field : instance->fields()) {
        const bool inlineField = field.key == "versionIdentifier";
        EXPECT_EQ(field.kind == ArchivedInstance::FieldKind::Inline, inlineField)
            << field.key.toStdString();
    }
    EXPECT_EQ(instance->field("directDownloadURL").toObject<ArchivedInstance>()->className(),
              "NSURL");

    const std::optional<QVFSWUpdateInfo> back = QVFSWUpdateInfo::fromArchivedData(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->productIdentifier(), info.productIdentifier());
    EXPECT_EQ(back->productName(), info.productName());
    EXPECT_EQ(back->versionIdentifier(), 4200000000LL);
    EXPECT_EQ(back->versionString(), info.versionString());
    EXPECT_EQ(back->directDownloadURL(), info.directDownloadURL());
    EXPECT_EQ(back->productPageURL(), info.productPageURL());
    EXPECT_EQ(back->updateInfoURL(), info.updateInfoURL());
    EXPECT_EQ(back->appStoreURL(), info.appStoreURL());
    EXPECT_EQ(back->systemVersion(), info.systemVersion());
}

TEST(UpdateInfo, OperatingSystemVersionRule) {
    QVFSWUpdateInfo info;
    const auto compatible = [&](const QString& required, const QString& running) {
        info.setSystemVersion(required);
        return info.isOperatingSystemVersionCompatible(running);
    };
    EXPECT_FALSE(compatible("10.13", "10.12"));
    EXPECT_TRUE(compatible("10.13", "10.13"));
    EXPECT_TRUE(compatible("10.13", "11"));
    EXPECT_FALSE(compatible("10.13.2", "10.13.1"));
    EXPECT_TRUE(compatible("12", "1"));  // no period: compatible
    EXPECT_TRUE(compatible("", "1"));
    EXPECT_TRUE(compatible("12b.4rc", "12.4"));  // parts read as their leading integers
    EXPECT_FALSE(compatible("24.04", "22.04"));
    EXPECT_TRUE(compatible("24.04", "unknown"));
}

TEST(UpdateInfo, VersionsCompareAsNumbersPartByPart) {
    QVFSWUpdateInfo info;
    const auto compatible = [&](const QString& required, const QString& running) {
        info.setSystemVersion(required);
        return info.isOperatingSystemVersionCompatible(running);
    };
    EXPECT_TRUE(compatible("2.9", "2.10"));
    EXPECT_FALSE(compatible("2.10", "2.9"));
    EXPECT_FALSE(compatible("2.36.0.1", "2.36"));  // every part counts
    EXPECT_TRUE(compatible("2.36.0.0", "2.36"));   // a missing part is 0
    EXPECT_TRUE(compatible("2.36", "2.36.0"));
    // Garbage neither crashes nor refuses the update.
    for (const char* garbage : {"..", "-1.5", "99999999999999999999.1", "x.y", " . "})
        EXPECT_TRUE(compatible(QString::fromLatin1(garbage), "2.36")) << garbage;
    EXPECT_TRUE(compatible("2.36", "99999999999999999999"));
    EXPECT_TRUE(compatible("2.36", ""));
}

// Linux distributions number their releases each their own way; the C
// library is what decides where a build runs.
TEST(UpdateInfo, TheRunningSystemVersionIsTheCLibrarys) {
    const QString running = QVFSWUpdateInfo::runningSystemVersion();
    EXPECT_EQ(running, QString::fromLatin1(gnu_get_libc_version()));
    const QStringList parts = running.split(u'.');
    ASSERT_GE(parts.size(), 2);
    QVFSWUpdateInfo info;
    info.setSystemVersion(running);
    EXPECT_TRUE(info.isOperatingSystemVersionCompatible());
    info.setSystemVersion(parts[0] + "." + QString::number(parts[1].toInt() + 1));
    EXPECT_FALSE(info.isOperatingSystemVersionCompatible());
}

namespace {

// Receives the URLs that the panel asks the desktop to open.
class URLRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class UpdatePanel : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(scheme, &recorder_, "open");
        server_.setResponseBody("<html><body><p>New: <a href=\"/more\">more</a></p></body></html>");
        QVFSWUpdateChecker::setAllowedTestOrigin(server_.url("/"));
    }
    void TearDown() override {
        for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
        QVFSWUpdateChecker::setAllowedTestOrigin(QUrl());
    }
    bool showsError() const { return panel_.contentBox()->currentWidget() == panel_.errorView(); }

    // Every scheme a hostile page might try, so that an opened one is seen.
    static constexpr const char* kSchemes[] = {"http", "https", "file", "quorvel-test-handler"};
    QVFSWUpdateInfo infoWithNotes() {
        QVFSWUpdateInfo info = sampleInfo(300);
        info.setUpdateInfoURL(server_.url("/notes.html"));
        return info;
    }
    qint64 rememberedVersion() const {
        return UserDefaults::standard().integerForKey(QVFLastSWUpdateVersionKey);
    }

    TestEnvironment env_;
    RecordingHTTPServer server_;
    URLRecorder recorder_;
    QVFUpdateNotificationPanel panel_;
};

}  // namespace

TEST_F(UpdatePanel, ShowsTheReleaseNotesOnceLoaded) {
    panel_.showWindowForUpdateInfo(infoWithNotes());
    EXPECT_EQ(panel_.contentBox()->currentWidget(), panel_.loadingView());
    ASSERT_TRUE(runEventLoopUntil(
        [&] { return panel_.contentBox()->currentWidget() == panel_.webContainerView(); }, 10000));
    EXPECT_TRUE(panel_.webView()->toPlainText().contains("New: more"));
    EXPECT_FALSE(panel_.webView()->acceptDrops());
    EXPECT_FALSE(panel_.webView()->viewport()->acceptDrops());
}

TEST_F(UpdatePanel, APageThatCannotLoadShowsTheError) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    QVFSWUpdateInfo info = infoWithNotes();
    info.setUpdateInfoURL(
        QUrl(QStringLiteral("http://127.0.0.1:%1/notes").arg(closed.serverPort())));
    closed.close();
    QVFSWUpdateChecker::setAllowedTestOrigin(info.updateInfoURL());
    panel_.showWindowForUpdateInfo(info);
    ASSERT_TRUE(runEventLoopUntil(
        [&] { return panel_.contentBox()->currentWidget() == panel_.errorView(); }, 10000));
    EXPECT_FALSE(panel_.errorText().isEmpty());
}

TEST_F(UpdatePanel, LinksOpenInTheBrowserAndOnlyCopyLinkIsOffered) {
    panel_.showWindowForUpdateInfo(infoWithNotes());
    ASSERT_TRUE(runEventLoopUntil(
        [&] { return panel_.contentBox()->currentWidget() == panel_.webContainerView(); }, 10000));
    emit panel_.webView()->anchorClicked(QUrl("/more"));
    EXPECT_EQ(recorder_.opened, QList<QUrl>({server_.url("/more")}));
    EXPECT_EQ(panel_.contentBox()->currentWidget(), panel_.webContainerView());

    // Over the link: one item; elsewhere: no menu.
    const QTextBrowser* view = panel_.webView();
    QTextCursor cursor = view->document()->find("more");
    const QRect linkRect = view->cursorRect(cursor);
    std::unique_ptr<QMenu> menu(panel_.contextMenuAt(linkRect.center() - QPoint(4, 0)));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().first()->text(), "Copy Link");
    EXPECT_EQ(
        std::unique_ptr<QMenu>(panel_.contextMenuAt(QPoint(2, view->viewport()->height() - 2))),
        nullptr);
}

TEST_F(UpdatePanel, ALinkThatCannotBeOpenedRaisesTheAlert) {
    panel_.showWindowForUpdateInfo(infoWithNotes());
    emit panel_.webView()->anchorClicked(QUrl("nosuchscheme:thing"));
    const QMessageBox* alert = panel_.findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Cannot Open Link");
    EXPECT_EQ(alert->informativeText(), "There was a problem opening the link nosuchscheme:thing.");
}

TEST_F(UpdatePanel, ButtonsOpenTheirPagesAndRememberTheVersionAsGiven) {
    panel_.showWindowForUpdateInfo(infoWithNotes());
    panel_.remindLater();
    EXPECT_FALSE(panel_.isVisible());
    EXPECT_EQ(rememberedVersion(), 0);

    panel_.downloadUpdate();
    EXPECT_EQ(rememberedVersion(), 0);
    EXPECT_EQ(recorder_.opened.last(), QUrl("https://downloads.example.org/Sample-2.1.tar.gz"));

    // The host has no "QVBuildVersion": the product page, not the store.
    QVFSWUpdateInfo withStore = infoWithNotes();
    withStore.setAppStoreURL(QUrl("https://store.example.org/sample"));
    panel_.showWindowForUpdateInfo(withStore);
    panel_.showInfo();
    EXPECT_EQ(recorder_.opened.last(), QUrl("https://example.org/sample"));
    EXPECT_EQ(rememberedVersion(), 300);

    withStore.setVersionIdentifier(301);
    panel_.showWindowForUpdateInfo(withStore);
    panel_.skipUpdate();
    EXPECT_FALSE(panel_.isVisible());
    EXPECT_EQ(rememberedVersion(), 301);
}

TEST_F(UpdatePanel, ReleaseNotesThatAreNotHttpsOrTooLargeShowAnError) {
    RecordingHTTPServer other;
    other.setResponseBody("<p>notes</p>");
    for (const QUrl& notes : {QUrl("file:///etc/hostname"), other.url("/notes.html")}) {
        QVFSWUpdateInfo info = infoWithNotes();
        info.setUpdateInfoURL(notes);
        panel_.showWindowForUpdateInfo(info);
        ASSERT_TRUE(runEventLoopUntil([&] { return showsError(); }, 10000));
        EXPECT_TRUE(panel_.errorText().contains(notes.toString()))
            << panel_.errorText().toStdString();
    }
    EXPECT_TRUE(other.requests().isEmpty());

    server_.setStreamedBody(100LL * 1024 * 1024, false);
    panel_.showWindowForUpdateInfo(infoWithNotes());
    ASSERT_TRUE(runEventLoopUntil([&] { return showsError(); }, 30000));
    EXPECT_LT(server_.streamedBytes(), 100LL * 1024 * 1024);
}

TEST_F(UpdatePanel, LinksAndButtonsThatAreNotHttpsOpenNothing) {
    panel_.showWindowForUpdateInfo(infoWithNotes());
    ASSERT_TRUE(runEventLoopUntil(
        [&] { return panel_.contentBox()->currentWidget() == panel_.webContainerView(); }, 10000));
    for (const QUrl& link : {QUrl("file:///etc/passwd"), QUrl("quorvel-test-handler:run")}) {
        emit panel_.webView()->anchorClicked(link);
        const QMessageBox* alert = panel_.findChild<QMessageBox*>();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), "Cannot Open Link");
        delete alert;
    }
    QVFSWUpdateInfo hostile = infoWithNotes();
    hostile.setDirectDownloadURL(QUrl("file:///usr/bin/env"));
    hostile.setProductPageURL(QUrl("quorvel-test-handler:run"));
    panel_.showWindowForUpdateInfo(hostile);
    panel_.downloadUpdate();
    panel_.showWindowForUpdateInfo(hostile);
    panel_.showInfo();
    EXPECT_TRUE(recorder_.opened.isEmpty());
}

// The notes' view reads no file a page names (an image of /dev/zero would
// read without end).
TEST_F(UpdatePanel, TheNotesViewLoadsNoResources) {
    const QString image = env_.writeFile("picture.png", "not really a picture");
    EXPECT_FALSE(panel_.webView()
                     ->loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(image))
                     .isValid());
    EXPECT_FALSE(panel_.webView()
                     ->loadResource(QTextDocument::StyleSheetResource, QUrl::fromLocalFile(image))
                     .isValid());
}

#include "QVFSWUpdateCheckerTest.moc"
