// Staging folders and the runs that own them: a folder held by a live run is
// never touched by another run, in this process or another; one left by a
// run that died is removed at the next start, unless it holds items the
// library refused, which are set aside for the user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "import/ImportStaging.h"
#include "import/StagingLock.h"
#include "platform/apps/PelmoraApplication.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kEdition = QString::fromLatin1(PelmoraApplication::kBundleIdentifier);

// A child process that holds the lock of `folder` until it is killed; its pid.
pid_t childHoldingLock(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder + u'/' + StagingLock::kFileName);
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        // Only system calls from here on: the child of a threaded process.
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0600);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char answer = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char answer = 'n';
    const bool told = ::read(ready[0], &answer, 1) == 1;
    ::close(ready[0]);
    return told && answer == 'y' ? child : -1;
}

void kill(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

}  // namespace

// A staging folder whose run was killed before its description was finished
// goes at the next start, and the new run takes its place.
TEST(StagingLockTest, StagingOfAKilledRunIsRemovedAtTheNextStart) {
    TestEnvironment env;
    const QString base = ImportStaging::stagingDirectoryForIdentifier(kEdition);
    env.writeFile(QStringLiteral("tmp/Evernote/Book/half.pdf"), "decoded before the kill");
    const pid_t child = childHoldingLock(base);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(StagingLock::isHeld(base));
    kill(child);
    EXPECT_FALSE(StagingLock::isHeld(base));

    ImportStaging staging;
    ASSERT_TRUE(staging.prepareDirectory(kEdition));
    EXPECT_EQ(staging.path(), base);
    EXPECT_FALSE(QFile::exists(base + QStringLiteral("/Book/half.pdf")));
    EXPECT_EQ(staging.removedLeftovers(), 1);
    EXPECT_TRUE(StagingLock::isHeld(base));  // now this run's
}

// While the run that holds a staging folder lives, in another process or in
// this one, a new run leaves it alone and works in a folder of its own; once
// that run is gone its folder is cleared like any leftover.
TEST(StagingLockTest, StagingOfALiveRunIsNeverTouched) {
    TestEnvironment env;
    const QString base = ImportStaging::stagingDirectoryForIdentifier(kEdition);
    env.writeFile(QStringLiteral("tmp/Evernote/Book/live.pdf"), "being converted");
    const pid_t child = childHoldingLock(base);
    ASSERT_GT(child, 0);

    ImportStaging second;
    ASSERT_TRUE(second.prepareDirectory(kEdition));
    EXPECT_EQ(second.path(), base + QStringLiteral(" 2"));
    EXPECT_TRUE(QFile::exists(base + QStringLiteral("/Book/live.pdf")));
    // A third run, in this process, passes over both live runs.
    ImportStaging third;
    ASSERT_TRUE(third.prepareDirectory(kEdition));
    EXPECT_EQ(third.path(), base + QStringLiteral(" 3"));
    EXPECT_TRUE(QFileInfo(second.path()).isDir());

    kill(child);
    second.releaseLock();
    third.releaseLock();
    ImportStaging next;
    ASSERT_TRUE(next.prepareDirectory(kEdition));
    EXPECT_EQ(next.path(), base);
    EXPECT_FALSE(QFile::exists(base + QStringLiteral("/Book/live.pdf")));
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral(" 2")));
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral(" 3")));
}

// A dead run's folder that still holds a finished description keeps the
// files the library refused: it is set aside with them, never removed.
TEST(StagingLockTest, StagingWithRefusedItemsIsSetAsideNotRemoved) {
    TestEnvironment env;
    const QString base = ImportStaging::stagingDirectoryForIdentifier(kEdition);
    env.writeFile(QStringLiteral("tmp/Evernote/Evernote.pmlibxml"), "<plist/>");
    env.writeFile(QStringLiteral("tmp/Evernote/Book/refused.pdf"), "refused by the library");
    ImportStaging staging;
    ASSERT_TRUE(staging.prepareDirectory(kEdition));
    EXPECT_EQ(staging.path(), base);
    const QStringList aside = QDir(env.tempDir())
                                  .entryList({QStringLiteral("Evernote (not imported *")},
                                             QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(
        QFile::exists(env.tempDir() + u'/' + aside.first() + QStringLiteral("/Book/refused.pdf")));
    EXPECT_EQ(staging.removedLeftovers(), 0);
}

// A lock file that is a symbolic link is never opened through, and the folder
// reads as not held.
TEST(StagingLockTest, ALinkedLockFileIsNotFollowed) {
    TestEnvironment env;
    const QString folder = env.path(QStringLiteral("staging"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = env.writeFile(QStringLiteral("elsewhere"), "kept");
    ASSERT_TRUE(QFile::link(target, folder + u'/' + StagingLock::kFileName));
    EXPECT_FALSE(StagingLock::isHeld(folder));
    StagingLock lock;
    EXPECT_FALSE(lock.acquire(folder));
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("kept"));
}
