#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "Quorvel/QVFDocumentPortal.h"
#include "Quorvel/QVFSandboxManager.h"
#include "framework/src/QVFSandboxBookmarkStore.h"
#include "platform/foundation/Error.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kService = "org.freedesktop.portal.Documents";
const QString kObjectPath = "/org/freedesktop/portal/documents";

// A stand-in for the desktop's document store: registers the items it is
// given (by descriptor) under "<mount>/<id>/<name>", as links to the
// originals, and tells their paths back. When `silent`, it never answers.
class MockDocumentStore : public QDBusVirtualObject {
  public:
    explicit MockDocumentStore(QString mountPoint) : mountPoint_(std::move(mountPoint)) {}

    void setSilent(bool silent) {
        QMutexLocker lock(&mutex_);
        silent_ = silent;
    }
    void forget(const QString& id) {
        QMutexLocker lock(&mutex_);
        documents_.remove(id);
    }
    QStringList grantedPermissions() {
        QMutexLocker lock(&mutex_);
        return permissions_;
    }
    int messagesReceived() {
        QMutexLocker lock(&mutex_);
        return messagesReceived_;
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QMutexLocker lock(&mutex_);
        ++messagesReceived_;
        if (silent_) return true;
        connection.send(answer(message));
        return true;
    }

  private:
    QDBusMessage answer(const QDBusMessage& message) {
        const QString member = message.member();
        if (member == "GetMountPoint") {
            return message.createReply(QVariant(QFile::encodeName(mountPoint_) + '\0'));
        }
        if (member == "AddFull") return add(message);
        if (member == "Info") {
            const QString id = message.arguments().value(0).toString();
            if (!documents_.contains(id)) {
                return message.createErrorReply("org.freedesktop.portal.Error.NotFound",
                                                "Invalid ID passed");
            }
            QDBusMessage reply =
                message.createReply(QVariant(QFile::encodeName(documents_.value(id)) + '\0'));
            reply << QVariant::fromValue(QMap<QString, QStringList>());
            return reply;
        }
        return message.createErrorReply("org.freedesktop.DBus.Error.UnknownMethod", member);
    }

    QDBusMessage add(const QDBusMessage& message) {
        const auto descriptors = qdbus_cast<QList<QDBusUnixFileDescriptor>>(
            message.arguments().value(0).value<QDBusArgument>());
        if (descriptors.size() != 1) {
            return message.createErrorReply("org.freedesktop.portal.Error.InvalidArgument",
                                            "one item");
        }
        const QString original =
            QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(descriptors.first().fileDescriptor()))
                .symLinkTarget();
        permissions_ = message.arguments().value(3).toStringList();
        QString id = documents_.key(original);
        if (id.isEmpty()) {
            id = QStringLiteral("doc%1").arg(documents_.size() + 1);
            documents_.insert(id, original);
            QDir().mkpath(mountPoint_ + '/' + id);
            QFile::link(original, mountPoint_ + '/' + id + '/' + QFileInfo(original).fileName());
        }
        QDBusMessage reply = message.createReply(QVariant(QStringList{id}));
        reply << QVariant::fromValue(QVariantMap());
        return reply;
    }

    QMutex mutex_;
    QString mountPoint_;
    bool silent_ = false;
    int messagesReceived_ = 0;
    QHash<QString, QString> documents_;
    QStringList permissions_;
};

// A private session bus with the mock store on it, answering from its own
// thread so that the portal's blocking calls on the main thread get through.
class PrivateDocumentBus {
  public:
    explicit PrivateDocumentBus(const QString& mountPoint) : store_(mountPoint) {
        qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
        qDBusRegisterMetaType<QMap<QString, QStringList>>();
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1",
                                      "--address=unix:dir=" + QDir::tempPath()});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QDBusConnection storeSide = QDBusConnection::connectToBus(address_, "mock-document-store");
        thread_.start();
        store_.moveToThread(&thread_);
        if (!storeSide.registerVirtualObject(kObjectPath, &store_) ||
            !storeSide.registerService(kService)) {
            address_.clear();
        }
    }
    ~PrivateDocumentBus() {
        QDBusConnection::disconnectFromBus("mock-document-store");
        QDBusConnection::disconnectFromBus("portal-client");
        thread_.quit();
        thread_.wait();
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    static bool isAvailable() { return !QStandardPaths::findExecutable("dbus-daemon").isEmpty(); }
    bool isRunning() const { return !address_.isEmpty(); }
    QDBusConnection clientConnection() const {
        return QDBusConnection::connectToBus(address_, "portal-client");
    }
    MockDocumentStore& store() { return store_; }

  private:
    QProcess daemon_;
    QString address_;
    QThread thread_;
    MockDocumentStore store_;
};

class PortalSandboxManager : public QVFSandboxManager {
  public:
    PortalSandboxManager(QString storePath, QVFDocumentPortal* portal)
        : storePath_(std::move(storePath)), portal_(portal) {}
    QUrl storeFileURL() const override { return QUrl::fromLocalFile(storePath_); }
    QVFDocumentPortal* documentPortal() override { return portal_; }

  private:
    QString storePath_;
    QVFDocumentPortal* portal_;
};

class QVFDocumentPortalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PrivateDocumentBus::isAvailable()) GTEST_SKIP() << "dbus-daemon is not installed";
        bus_ = std::make_unique<PrivateDocumentBus>(env.path("doc"));
        if (!bus_->isRunning()) GTEST_SKIP() << "the private bus did not start";
        QDir().mkpath(env.path("doc"));
    }
    void TearDown() override {
        bus_.reset();
        qputenv("HOME", savedHome_);
    }

    TestEnvironment env;
    // The application's own folder is elsewhere, so the test's items need grants.
    QByteArray savedHome_ = qgetenv("HOME");
    bool homeSet_ = qputenv("HOME", env.path("container").toUtf8());
    std::unique_ptr<PrivateDocumentBus> bus_;
};

}  // namespace

TEST_F(QVFDocumentPortalTest, RegisteredItemIsFoundAgainBelowTheMountPoint) {
    QVFDocumentPortal portal(bus_->clientConnection(), "org.example.Notes", 5000);
    const QString file = env.writeFile("home/report.txt", "text");
    Error error;
    const auto id = portal.addDocument(file, false, true, &error);
    ASSERT_TRUE(id) << error.description().toStdString();
    EXPECT_EQ(bus_->store().grantedPermissions(), QStringList{"read"});
    EXPECT_EQ(portal.addDocument(file, false, false), id);  // reused, now writable too
    EXPECT_EQ(bus_->store().grantedPermissions(), (QStringList{"read", "write"}));

    const auto path = portal.documentPath(*id, &error);
    ASSERT_TRUE(path) << error.description().toStdString();
    EXPECT_EQ(*path, env.path("doc/" + *id + "/report.txt"));

    bus_->store().forget(*id);
    EXPECT_FALSE(portal.documentPath(*id, &error));
    EXPECT_EQ(error.domain(), QVFDocumentPortal::errorDomain());
}

TEST_F(QVFDocumentPortalTest, SandboxedGrantPersistsAsDocumentAndIsReopenedAfterRestart) {
    QVFDocumentPortal portal(bus_->clientConnection(), "org.example.Notes", 5000);
    const QString store = env.path("data/Bookmarks.sqlite");
    const QString file = env.writeFile("home/letter.txt", "text");
    {
        auto manager = QVFSandboxManager::make<PortalSandboxManager>(store, &portal);
        manager->appDidObtainPermissionToAccessURL(QUrl::fromLocalFile(file));
        EXPECT_EQ(manager->accessedURLs(), QList<QUrl>{QUrl::fromLocalFile(file)});
    }
    auto relaunched = QVFSandboxManager::make<PortalSandboxManager>(store, &portal);
    const QString documentPath = env.path("doc/doc1/letter.txt");
    EXPECT_EQ(relaunched->allowedFileURLs(), QList<QUrl>{QUrl::fromLocalFile(documentPath)});
    EXPECT_FALSE(
        relaunched->appNeedsToObtainPermissionToAccessURL(QUrl::fromLocalFile(documentPath)));
}

TEST_F(QVFDocumentPortalTest, SilentPortalFailsAfterItsTimeOutAndIsNotAskedAgain) {
    QVFDocumentPortal portal(bus_->clientConnection(), "org.example.Notes", 300);
    bus_->store().setSilent(true);
    const QString file = env.writeFile("home/a.txt", "text");
    QElapsedTimer clock;
    clock.start();
    Error error;
    EXPECT_FALSE(portal.addDocument(file, false, false, &error));
    EXPECT_EQ(error.code(), QVFDocumentPortal::PortalUnavailable);
    EXPECT_GE(clock.elapsed(), 200);  // the bus rounds its timer

    // Once it has gone silent, the portal is not asked again.
    const int asked = bus_->store().messagesReceived();
    auto manager =
        QVFSandboxManager::make<PortalSandboxManager>(env.path("data/B.sqlite"), &portal);
    manager->appDidObtainPermissionToAccessURL(QUrl::fromLocalFile(file));
    EXPECT_TRUE(manager->allowedFileURLs().isEmpty());
    EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(QUrl::fromLocalFile(file)));
    EXPECT_EQ(bus_->store().messagesReceived(), asked);
}

TEST_F(QVFDocumentPortalTest, GrantOutlivesASilentPortalButNotAForgottenDocument) {
    const QString store = env.path("data/Bookmarks.sqlite");
    const QString file = env.writeFile("home/letter.txt", "text");
    const QString other = env.writeFile("home/other.txt", "text");
    const auto launch = [&](QVFDocumentPortal& portal) {
        return QVFSandboxManager::make<PortalSandboxManager>(store, &portal);
    };
    {
        QVFDocumentPortal portal(bus_->clientConnection(), "org.example.Notes", 300);
        launch(portal)->appDidObtainPermissionToAccessURL(QUrl::fromLocalFile(file));
    }
    {
        QVFDocumentPortal silent(bus_->clientConnection(), "org.example.Notes", 300);
        bus_->store().setSilent(true);
        auto manager = launch(silent);
        EXPECT_TRUE(manager->allowedFileURLs().isEmpty());
        manager->removePersistedBookmarkForURL(QUrl::fromLocalFile(other));  // saves the store
        bus_->store().setSilent(false);
    }
    QVFDocumentPortal portal(bus_->clientConnection(), "org.example.Notes", 300);
    EXPECT_EQ(launch(portal)->allowedFileURLs().size(), 1);

    bus_->store().forget("doc1");
    auto manager = launch(portal);
    EXPECT_TRUE(manager->allowedFileURLs().isEmpty());
    manager->removePersistedBookmarkForURL(QUrl::fromLocalFile(other));
    manager.reset();
    EXPECT_EQ(launch(portal)->managedObjectContext()->fetchBookmarks()->size(), 0);
}
