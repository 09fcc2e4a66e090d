#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "platform/apps/EvernoteStandIn.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/apps/Workspace.h"
#include "tests/support/Applications.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

const QString kPelmora = QStringLiteral("com.quorvel.Pelmora3");
const QString kEvernote = QStringLiteral("com.evernote.Evernote");

}  // namespace

// The window keeps both stand-ins activated in its one process: a lookup of
// Pelmora by that process must not come back with Evernote, which sorts first.
TEST(WorkspaceTest, LookupByProcessNamesOnlyTheAskedApplication) {
    TestEnvironment env;
    const QString evernote = installEvernote(env, env.path(QStringLiteral("notebooks")));
    installApplication(env, QStringLiteral("Pelmora"), kPelmora, QStringLiteral("3.7"));
    EvernoteStandIn(Workspace::installedApplications(kEvernote).first()).activate();
    PelmoraStandIn(Workspace::installedApplications(kPelmora).first()).activate();

    const qint64 self = ::getpid();
    ASSERT_EQ(Workspace::runningApplications(kEvernote).size(), 1);
    ASSERT_EQ(Workspace::runningApplications(kPelmora).size(), 1);
    const auto pelmora = Workspace::applicationWithProcessIdentifier(self, {kPelmora});
    ASSERT_TRUE(pelmora.has_value());
    EXPECT_EQ(pelmora->bundleIdentifier(), kPelmora);
    const auto app = PelmoraApplication::applicationWithProcessIdentifier(self);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->version(), QStringLiteral("3.7"));
    const auto evernoteRecord = Workspace::applicationWithProcessIdentifier(self, {kEvernote});
    ASSERT_TRUE(evernoteRecord.has_value());
    EXPECT_EQ(evernoteRecord->bundlePath, evernote);
    EXPECT_FALSE(Workspace::applicationWithProcessIdentifier(
                     self, {QStringLiteral("com.quorvel.Pelmora3.mac")})
                     .has_value());
}

// A pid written by a process that has ended may belong to a live one now
// (pid 1 always is): no file's contents alone make an application running.
TEST(WorkspaceTest, StaleProcessIdentifiersNeverMarkAnApplicationRunning) {
    TestEnvironment env;
    const QString bundle =
        installApplication(env, QStringLiteral("Pelmora"), kPelmora, QStringLiteral("3.7"));
    for (const QByteArray& pid : {QByteArray("1"), QByteArray::number(qint64(::getpid()))}) {
        env.writeFile(QStringLiteral("Applications/Pelmora.app/Contents/pid"), pid);
        env.writeFile(QStringLiteral("Applications/Pelmora.app/Contents/lock"), pid);
        EXPECT_TRUE(Workspace::runningApplications(kPelmora).isEmpty()) << pid.constData();
        EXPECT_FALSE(Workspace::applicationWithProcessIdentifier(pid.toLongLong(), {kPelmora}))
            << pid.constData();
    }
    // Activating takes the lock over and names this process.
    ASSERT_TRUE(markApplicationRunning(bundle));
    EXPECT_EQ(readWholeFile(bundle + QStringLiteral("/Contents/lock")).trimmed(),
              QByteArray::number(qint64(::getpid())));
    EXPECT_TRUE((ApplicationRecord{bundle, PlistDictionary()}).isRunning());
}

TEST(WorkspaceTest, DamagedOrHostileLockFilesAreRefusedOrTakenOver) {
    TestEnvironment env;
    const QString held = installApplication(
        env, QStringLiteral("Held"), QStringLiteral("org.example.Held"), QStringLiteral("1.0"));
    ASSERT_TRUE(markApplicationRunning(held));
    const QByteArray heldLock = readWholeFile(held + QStringLiteral("/Contents/lock"));
    const QString bundle =
        installApplication(env, QStringLiteral("Pelmora"), kPelmora, QStringLiteral("3.7"));
    const QString lock = bundle + QStringLiteral("/Contents/lock");
    const ApplicationRecord record{bundle, PlistDictionary()};

    // Regular files, whatever they hold, are not running and are taken over.
    for (const QByteArray& contents :
         {QByteArray(), QByteArray("\x01\xffgarbage\n", 10), QByteArray(4 * 1024 * 1024, '7')}) {
        QFile::remove(lock);
        env.writeFile(QStringLiteral("Applications/Pelmora.app/Contents/lock"), contents);
        EXPECT_FALSE(record.isRunning()) << contents.size();
    }
    // A link (even to a held lock), a folder or a pipe is neither running nor taken.
    const auto refused = [&](const char* what) {
        EXPECT_FALSE(record.isRunning()) << what;
        EXPECT_EQ(record.processIdentifier(), 0) << what;
        Error error;
        EXPECT_FALSE(Workspace::markRunning(record, &error)) << what;
        EXPECT_EQ(error.domain(), QStringLiteral("NSPOSIXErrorDomain")) << what;
    };
    QFile::remove(lock);
    ASSERT_TRUE(QFile::link(held + QStringLiteral("/Contents/lock"), lock));
    refused("link");
    EXPECT_EQ(readWholeFile(held + QStringLiteral("/Contents/lock")), heldLock);
    QFile::remove(lock);
    ASSERT_TRUE(QDir().mkdir(lock));
    refused("folder");
    ASSERT_TRUE(QDir().rmdir(lock));
    ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
    refused("pipe");
    QFile::remove(lock);

    env.writeFile(QStringLiteral("Applications/Pelmora.app/Contents/lock"),
                  QByteArray(4 * 1024 * 1024, '7'));
    ASSERT_TRUE(Workspace::markRunning(record));
    EXPECT_TRUE(record.isRunning());
    EXPECT_EQ(record.processIdentifier(), qint64(::getpid()));
}

// A bundle whose Info.plist cannot be trusted is skipped, and since it may be
// the user's own Pelmora, the built-in one (with a library of its own) is not
// offered in its place.
TEST(WorkspaceTest, DamagedInfoPlistIsSkippedAndKeepsTheBuiltInPelmoraAway) {
    const QByteArray pelmoraPlist =
        "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
        "<string>com.quorvel.Pelmora3</string><key>Pad</key><string>";
    const QByteArray end = "</string></dict></plist>";
    enum class Kind { Missing, File, Folder, Link };
    const struct {
        const char* what;
        Kind kind;
        QByteArray bytes;
    } cases[] = {
        {"missing", Kind::Missing, {}},
        {"empty", Kind::File, {}},
        {"garbage", Kind::File, pelmoraPlist.left(60)},
        {"not a dictionary", Kind::File,
         "<plist version=\"1.0\"><array><string>com.quorvel.Pelmora3</string></array></plist>"},
        {"huge", Kind::File, pelmoraPlist + QByteArray(Workspace::kMaxInfoPlistBytes, 'x') + end},
        {"folder", Kind::Folder, {}},
        {"link", Kind::Link, pelmoraPlist + end},
    };
    for (const auto& c : cases) {
        TestEnvironment env;
        installApplication(env, QStringLiteral("Good"), QStringLiteral("org.example.Good"),
                           QStringLiteral("1.0"));
        const QString relative = QStringLiteral("Applications/Pelmora.app/Contents/Info.plist");
        const QString path = env.path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (c.kind == Kind::File) env.writeFile(relative, c.bytes);
        if (c.kind == Kind::Folder) QDir().mkpath(path);
        if (c.kind == Kind::Link) {
            ASSERT_TRUE(
                QFile::link(env.writeFile(QStringLiteral("elsewhere.plist"), c.bytes), path));
        }

        EXPECT_TRUE(Workspace::installedApplications(kPelmora).isEmpty()) << c.what;
        EXPECT_EQ(Workspace::installedApplications(QStringLiteral("org.example.Good")).size(), 1)
            << c.what;
        EXPECT_EQ(Workspace::unreadableApplications(),
                  QStringList{env.applicationsDir() + QStringLiteral("/Pelmora.app")})
            << c.what;
        EXPECT_EQ(PelmoraApplication::applicationWithBundleIdentifier(kPelmora), nullptr) << c.what;
    }
}
