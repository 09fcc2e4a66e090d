#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cerrno>

#include "platform/foundation/PrivateDirectory.h"
#include "tests/support/TestEnvironment.h"

namespace {

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

long refusalCode(const QString& path) {
    Error error;
    EXPECT_FALSE(PrivateDirectory::isPrivate(path, &error)) << path.toStdString();
    return error.code();
}

}  // namespace

// Under a umask that takes nothing away, a folder made 0777 and narrowed
// afterwards would be open for a moment; this one never is, and the owner
// keeps its bits under a umask that would take them.
TEST(PrivateDirectoryTest, IsMadeOwnerOnlyWhateverTheUmask) {
    TestEnvironment env;
    for (const mode_t mask : {mode_t(0), mode_t(0022), mode_t(0700)}) {
        const QString path = env.path(QStringLiteral("private-%1").arg(mask, 0, 8));
        const mode_t previous = ::umask(mask);
        const bool made = PrivateDirectory::make(path);
        ::umask(previous);
        ASSERT_TRUE(made);
        EXPECT_EQ(modeOf(path), 0700u) << mask;
        EXPECT_TRUE(PrivateDirectory::isPrivate(path));
    }
}

TEST(PrivateDirectoryTest, OnlyARealOwnerOnlyFolderCountsAsPrivate) {
    TestEnvironment env;
    const QString open = env.path(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    EXPECT_EQ(refusalCode(open), EACCES);
    const QString ours = env.path(QStringLiteral("ours"));
    ASSERT_TRUE(PrivateDirectory::make(ours));
    const QString link = env.path(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(ours, link));
    EXPECT_EQ(refusalCode(link), ENOTDIR);  // even to a private folder of ours
    const QString file = env.writeFile(QStringLiteral("file"), "x");
    EXPECT_EQ(refusalCode(file), ENOTDIR);
    EXPECT_EQ(refusalCode(env.path(QStringLiteral("missing"))), ENOENT);
    if (::getuid() != 0) {
        EXPECT_EQ(refusalCode(QStringLiteral("/")), EPERM);  // root's
    }
}

TEST(PrivateDirectoryTest, ProvideMakesOrAcceptsButNeverTakesOverWhatIsThere) {
    TestEnvironment env;
    const QString path = env.path(QStringLiteral("folder"));
    EXPECT_TRUE(PrivateDirectory::provide(path));
    EXPECT_TRUE(PrivateDirectory::provide(path));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0755), 0);
    Error error;
    EXPECT_FALSE(PrivateDirectory::provide(path, &error));
    EXPECT_EQ(error.code(), EACCES);
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("0755")));
    EXPECT_EQ(modeOf(path), 0755u);  // refused, not changed
    Error made;
    EXPECT_FALSE(PrivateDirectory::make(path, &made));
    EXPECT_EQ(made.code(), EEXIST);
}
