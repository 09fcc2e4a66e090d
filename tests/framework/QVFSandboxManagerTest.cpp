#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <cstdio>

#include "Quorvel/QVFSandboxManager.h"
#include "Quorvel/QVFSandboxPersistedBookmark.h"
#include "framework/src/QVFSandboxBookmarkStore.h"
#include "platform/foundation/Error.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A host's manager: its store in the test's folder, optional extra folders
// and portal, never the session's portal.
class TestSandboxManager : public QVFSandboxManager {
  public:
    explicit TestSandboxManager(QString storePath, QList<QUrl> additional = {},
                                QVFDocumentPortal* portal = nullptr)
        : storePath_(std::move(storePath)), additional_(std::move(additional)), portal_(portal) {}

    QUrl storeFileURL() const override { return QUrl::fromLocalFile(storePath_); }
    QList<QUrl> additionalEntitledDirectoryURLs() const override { return additional_; }
    QVFDocumentPortal* documentPortal() override { return portal_; }

  private:
    QString storePath_;
    QList<QUrl> additional_;
    QVFDocumentPortal* portal_;
};

// Points HOME (the application's container outside a sandbox) into the
// test's folder, and back afterwards.
class HomeGuard {
  public:
    explicit HomeGuard(const QString& home) : saved_(qgetenv("HOME")) {
        QDir().mkpath(home);
        qputenv("HOME", home.toUtf8());
    }
    ~HomeGuard() { qputenv("HOME", saved_); }

  private:
    QByteArray saved_;
};

// Collects what the system log writes while it lives.
class SystemLogCapture {
  public:
    SystemLogCapture() : saved_(::dup(STDERR_FILENO)) {
        file_.open();
        std::fflush(stderr);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~SystemLogCapture() {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QString text() {
        std::fflush(stderr);
        QFile reader(file_.fileName());
        return reader.open(QIODevice::ReadOnly) ? QString::fromUtf8(reader.readAll()) : QString();
    }

  private:
    QTemporaryFile file_;
    int saved_;
};

QUrl fileURL(const QString& path) { return QUrl::fromLocalFile(path); }

qsizetype storedRecordCount(QVFSandboxManager& manager) {
    const auto records = manager.managedObjectContext()->fetchBookmarks();
    return records ? records->size() : -1;
}

class QVFSandboxManagerTest : public ::testing::Test {
  protected:
    std::unique_ptr<TestSandboxManager> launch(QList<QUrl> additional = {}) {
        return QVFSandboxManager::make<TestSandboxManager>(storePath(), std::move(additional));
    }
    QString storePath() const { return env.path("data/Sandbox/Bookmarks.sqlite"); }
    QString outside(const QString& relative) const { return env.path("outside/" + relative); }
    QString write(const QString& relative) const {
        return env.writeFile("outside/" + relative, "text");
    }

    TestEnvironment env;
    HomeGuard home{env.path("home")};
};

}  // namespace

TEST_F(QVFSandboxManagerTest, GrantedFileIsStoredAndReopenedAfterRestart) {
    const QString file = write("notes/a.txt");
    {
        auto manager = launch();
        EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
        manager->appDidObtainPermissionToAccessURL(fileURL(file));
        EXPECT_EQ(manager->allowedFileURLs(), QList<QUrl>{fileURL(file)});
        EXPECT_EQ(manager->accessedURLs(), QList<QUrl>{fileURL(file)});
        EXPECT_FALSE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
        manager->closeAllSecureBookmarks();
        EXPECT_EQ(manager->accessedURLs(), QList<QUrl>{fileURL(file)});
    }
    auto relaunched = launch();
    EXPECT_EQ(relaunched->allowedFileURLs(), QList<QUrl>{fileURL(file)});
    EXPECT_TRUE(relaunched->accessedURLs().isEmpty());
    EXPECT_FALSE(relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
    EXPECT_EQ(relaunched->accessedURLs(), QList<QUrl>{fileURL(file)});
    EXPECT_TRUE(relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(write("notes/b.txt"))));
}

TEST_F(QVFSandboxManagerTest, GrantedFolderCoversEverythingInsideWithoutRecordsOfItsOwn) {
    QDir().mkpath(outside("photos/2026"));
    const QString inside = write("photos/2026/beach.jpg");
    {
        auto manager = launch();
        manager->appDidObtainPermissionToAccessURL(fileURL(outside("photos")));
        manager->appDidObtainPermissionToAccessURL(fileURL(outside("photos")));
        EXPECT_EQ(manager->allowedDirectoryURLs(), QList<QUrl>{fileURL(outside("photos"))});
        EXPECT_EQ(storedRecordCount(*manager), 1);
    }
    auto relaunched = launch();
    EXPECT_FALSE(relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(inside)));
    EXPECT_FALSE(
        relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(outside("photos/2026"))));
    EXPECT_EQ(relaunched->accessedURLs(), QList<QUrl>{fileURL(outside("photos"))});
    EXPECT_EQ(storedRecordCount(*relaunched), 1);
    // A folder whose name only begins with the granted one's is not inside it.
    EXPECT_TRUE(
        relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(write("photos-old/x.jpg"))));
}

TEST_F(QVFSandboxManagerTest, EntitledFoldersAndMissingItemsNeedNoPermissionAndStoreNothing) {
    const QString shared = env.path("shared");
    const QString library = env.path("library");
    const QString extra = env.path("extra");
    auto manager = launch({fileURL(extra)});
    manager->setEntitledDirectoryURLs({fileURL(shared)});
    manager->setReadOnlyEntitledDirectoryURLs({fileURL(library)});
    const QString inHome = env.writeFile("home/Documents/list.txt", "x");
    const QString inShared = env.writeFile("shared/a.txt", "x");
    const QString inLibrary = env.writeFile("library/b.txt", "x");
    const QString inExtra = env.writeFile("extra/c.txt", "x");

    EXPECT_FALSE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(inHome)));
    EXPECT_FALSE(manager->appNeedsToObtainReadOnlyPermissionToAccessURL(fileURL(inExtra)));
    EXPECT_FALSE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(inExtra)));
    EXPECT_FALSE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(inShared)));
    EXPECT_TRUE(manager->appNeedsToObtainReadOnlyPermissionToAccessURL(fileURL(inShared)));
    EXPECT_FALSE(manager->appNeedsToObtainReadOnlyPermissionToAccessURL(fileURL(inLibrary)));
    EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(inLibrary)));
    EXPECT_FALSE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(outside("missing.txt"))));
    // The home folder's prefix alone is not the home folder.
    EXPECT_TRUE(
        manager->appNeedsToObtainPermissionToAccessURL(fileURL(env.writeFile("home2/d.txt", "x"))));

    manager->appDidObtainPermissionToAccessURL(fileURL(inHome));
    manager->appDidObtainPermissionToAccessURL(fileURL(inShared));
    EXPECT_TRUE(manager->allowedFileURLs().isEmpty());
    EXPECT_EQ(storedRecordCount(*manager), 0);
}

TEST_F(QVFSandboxManagerTest, FileMovedWhileClosedIsNotLoadedAndPurgedAtTheNextSave) {
    const QString file = write("report.txt");
    launch()->appDidObtainPermissionToAccessURL(fileURL(file));
    ASSERT_TRUE(QFile::rename(file, outside("moved-report.txt")));

    SystemLogCapture log;
    auto relaunched = launch();
    EXPECT_TRUE(relaunched->allowedFileURLs().isEmpty());
    EXPECT_TRUE(log.text().contains("Error resolving persisted secure bookmark"))
        << log.text().toStdString();
    const auto records = relaunched->managedObjectContext()->fetchBookmarks();
    ASSERT_TRUE(records && records->size() == 1);
    EXPECT_TRUE(records->first()->isUnresolvable());
    EXPECT_TRUE(
        relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(outside("moved-report.txt"))));

    // The next save (any grant) purges the record for good.
    relaunched->appDidObtainPermissionToAccessURL(fileURL(write("other.txt")));
    relaunched.reset();
    auto third = launch();
    EXPECT_EQ(storedRecordCount(*third), 1);
    EXPECT_EQ(third->allowedFileURLs(), QList<QUrl>{fileURL(outside("other.txt"))});
}

TEST_F(QVFSandboxManagerTest, ItemReplacedAtTheGrantedPathMustBeGrantedAgain) {
    const QString file = write("budget.txt");
    launch()->appDidObtainPermissionToAccessURL(fileURL(file));
    // Written beside it and renamed over it, as editors save: a new inode.
    write("budget-new.txt");
    ASSERT_EQ(std::rename(QFile::encodeName(outside("budget-new.txt")).constData(),
                          QFile::encodeName(file).constData()),
              0);

    auto relaunched = launch();
    EXPECT_TRUE(relaunched->allowedFileURLs().isEmpty());
    EXPECT_TRUE(relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
}

TEST_F(QVFSandboxManagerTest, GrantedFolderThatCannotBeReadIsForgottenWhenReopeningFails) {
    QDir().mkpath(outside("projects"));
    const QString file = write("projects/plan.txt");
    auto manager = launch();
    manager->appDidObtainPermissionToAccessURL(fileURL(outside("projects")));
    manager.reset();
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    manager = launch();
    // Reachable but no longer readable: reopening fails and the grant goes.
    ASSERT_TRUE(QFile::setPermissions(outside("projects"),
                                      QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(outside("projects"))));
    QFile::setPermissions(outside("projects"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(manager->allowedDirectoryURLs().isEmpty());
    EXPECT_EQ(storedRecordCount(*manager), 0);
    EXPECT_TRUE(QFile::exists(file));
}

TEST_F(QVFSandboxManagerTest, RemovedGrantIsAskedForAgainAndGoneAfterRestart) {
    const QString file = write("letter.txt");
    auto manager = launch();
    manager->appDidObtainPermissionToAccessURL(fileURL(file));
    manager->removePersistedBookmarkForURL(fileURL(file));
    EXPECT_TRUE(manager->allowedFileURLs().isEmpty());
    EXPECT_TRUE(manager->accessedURLs().isEmpty());
    EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
    manager.reset();
    EXPECT_EQ(storedRecordCount(*launch()), 0);
}

TEST_F(QVFSandboxManagerTest, CorruptStoreIsLoggedDeletedAndMadeAfresh) {
    env.writeFile("data/Sandbox/Bookmarks.sqlite", QByteArray(4096, '\x5a'));
    const QString file = write("a.txt");
    SystemLogCapture log;
    auto manager = launch();
    EXPECT_TRUE(log.text().contains("Unable to open secure bookmarks file at"))
        << log.text().toStdString();
    EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
    manager->appDidObtainPermissionToAccessURL(fileURL(file));
    manager.reset();
    EXPECT_EQ(launch()->allowedFileURLs(), QList<QUrl>{fileURL(file)});
}

TEST_F(QVFSandboxManagerTest, RecordWithDamagedBookmarkDataIsLoggedAndPurged) {
    const QString file = write("a.txt");
    launch()->appDidObtainPermissionToAccessURL(fileURL(file));
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "damage");
        database.setDatabaseName(storePath());
        ASSERT_TRUE(database.open());
        ASSERT_TRUE(QSqlQuery(database).exec("UPDATE Bookmark SET data = x'00ff00ff'"));
        database.close();
    }
    QSqlDatabase::removeDatabase("damage");

    SystemLogCapture log;
    auto relaunched = launch();
    EXPECT_TRUE(relaunched->allowedFileURLs().isEmpty());
    EXPECT_TRUE(log.text().contains("The data is not a bookmark")) << log.text().toStdString();
    EXPECT_TRUE(relaunched->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
    relaunched->appDidObtainPermissionToAccessURL(fileURL(file));
    relaunched.reset();
    auto third = launch();
    EXPECT_EQ(storedRecordCount(*third), 1);
    EXPECT_EQ(third->allowedFileURLs(), QList<QUrl>{fileURL(file)});
}

TEST_F(QVFSandboxManagerTest, StoreOfALaterSchemaIsReplacedRatherThanMisread) {
    {
        QDir().mkpath(env.path("data/Sandbox"));
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "later-schema");
        database.setDatabaseName(storePath());
        ASSERT_TRUE(database.open());
        QSqlQuery(database).exec("CREATE TABLE Bookmark (id INTEGER PRIMARY KEY, blob BLOB)");
        QSqlQuery(database).exec("PRAGMA user_version = 7");
        database.close();
    }
    QSqlDatabase::removeDatabase("later-schema");
    auto manager = launch();
    ASSERT_NE(manager->managedObjectContext(), nullptr);
    EXPECT_TRUE(manager->managedObjectContext()->isOpen());
    EXPECT_EQ(storedRecordCount(*manager), 0);
}

TEST_F(QVFSandboxManagerTest, StoreThatCannotBeMadeLeavesGrantsForThisLaunchOnly) {
    QDir().mkpath(storePath());  // a folder where the file should be
    env.writeFile("data/Sandbox/Bookmarks.sqlite/keep", "x");
    const QString file = write("a.txt");
    SystemLogCapture log;
    auto manager = launch();
    manager->appDidObtainPermissionToAccessURL(fileURL(file));
    EXPECT_TRUE(log.text().contains("Error creating secure persisted bookmark"))
        << log.text().toStdString();
    EXPECT_TRUE(manager->appNeedsToObtainPermissionToAccessURL(fileURL(file)));
}

TEST(QVFSandboxManagerStoreTest, ManagerWithoutStoreLocationThrows) {
    TestEnvironment env;
    EXPECT_THROW(QVFSandboxManager::make<QVFSandboxManager>(), QVFSandboxManagerStoreURLException);
}
