#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "platform/foundation/FileOperations.h"
#include "tests/support/TestEnvironment.h"

// A full device must say so: the system's errno and its text, never a stand-in.
TEST(FileOperationsTest, WriteFailureKeepsTheSystemsReason) {
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full";
    Error error;
    EXPECT_FALSE(FileOperations::writeFile(QStringLiteral("/dev/full"), QByteArray(100000, 'x'),
                                           FileOperations::WriteMode::Truncate, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSPOSIXErrorDomain"));
    EXPECT_EQ(error.code(), ENOSPC);
    EXPECT_TRUE(
        error.localizedDescription().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << error.localizedDescription().toStdString();
    EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("/dev/full")));
}

TEST(FileOperationsTest, DirectoriesFilesAndMovesReportRealCauses) {
    TestEnvironment env;
    const QString file = env.writeFile(QStringLiteral("plain"), "x");
    Error error;
    // A folder below a file: ENOTDIR, not a guessed "permission denied".
    EXPECT_FALSE(FileOperations::makeDirectory(file + QStringLiteral("/a/b"), true, &error));
    EXPECT_EQ(error.code(), ENOTDIR);
    EXPECT_TRUE(FileOperations::makeDirectory(env.path(QStringLiteral("x/y/z")), true, &error));
    EXPECT_TRUE(FileOperations::makeDirectory(env.path(QStringLiteral("x/y/z")), true));
    EXPECT_FALSE(FileOperations::makeDirectory(env.path(QStringLiteral("x/y/z")), false, &error));
    EXPECT_EQ(error.code(), EEXIST);

    EXPECT_FALSE(FileOperations::writeFile(file, "y", FileOperations::WriteMode::NewOnly, &error));
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_TRUE(FileOperations::writeFile(file, "new", FileOperations::WriteMode::Truncate));

    // A move never replaces what is there, and leaves the source alone when it fails.
    env.writeFile(QStringLiteral("x/y/z/inner.txt"), "inner");
    EXPECT_FALSE(FileOperations::moveItem(env.path(QStringLiteral("x")), file, &error));
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("x/y/z/inner.txt"))));
    EXPECT_TRUE(
        FileOperations::moveItem(env.path(QStringLiteral("x")), env.path(QStringLiteral("moved"))));
    EXPECT_TRUE(QFile::exists(env.path(QStringLiteral("moved/y/z/inner.txt"))));
    EXPECT_FALSE(FileOperations::moveItem(env.path(QStringLiteral("gone")),
                                          env.path(QStringLiteral("to")), &error));
    EXPECT_EQ(error.code(), ENOENT);

    EXPECT_TRUE(FileOperations::removeItem(env.path(QStringLiteral("moved"))));
    EXPECT_FALSE(QFileInfo::exists(env.path(QStringLiteral("moved"))));
    EXPECT_TRUE(
        FileOperations::removeItem(env.path(QStringLiteral("moved"))));  // nothing there is success

    // Free space of a path not made yet is that of its nearest existing folder.
    const auto available = FileOperations::availableBytes(env.path(QStringLiteral("not/yet/here")));
    ASSERT_TRUE(available.has_value());
    EXPECT_GT(*available, 0);
}

// /dev/shm is a separate file system on Linux: there a move is a copy, and the
// copy must be complete and the original gone.
TEST(FileOperationsTest, MoveAcrossFileSystemsCopiesThenRemoves) {
    TestEnvironment env;
    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isWritable() || FileOperations::isSameFileSystem(env.root(), shm))
        GTEST_SKIP() << "no second file system to move across";
    env.writeFile(QStringLiteral("pkg/TXT.rtf"), "{\\rtf1 x}");
    env.writeFile(QStringLiteral("pkg/.hidden"), "h");
    const QString target =
        shm + QStringLiteral("/ferrymark-move-test-") + QString::number(::getpid());
    ASSERT_TRUE(FileOperations::moveItem(env.path(QStringLiteral("pkg")), target));
    EXPECT_FALSE(QFileInfo::exists(env.path(QStringLiteral("pkg"))));
    QFile rtf(target + QStringLiteral("/TXT.rtf"));
    ASSERT_TRUE(rtf.open(QIODevice::ReadOnly));
    EXPECT_EQ(rtf.readAll(), QByteArray("{\\rtf1 x}"));
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/.hidden")));
    FileOperations::removeItem(target);
}

namespace {

bool setUserAttribute(const QString& path, const char* name, const QByteArray& value) {
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                      size_t(value.size()), 0) == 0;
}

QByteArray userAttribute(const QString& path, const char* name) {
    char buffer[256];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, buffer, sizeof buffer);
    return n < 0 ? QByteArray("<absent>") : QByteArray(buffer, n);
}

}  // namespace

// Tags, dates and note attributes live in extended attributes: a copy, and a
// move that copies, keep them on files and folders (a package) alike.
TEST(FileOperationsTest, CopiesAndMovesKeepTheUsersExtendedAttributes) {
    TestEnvironment env;
    const QString file = env.writeFile(QStringLiteral("pkg/TXT.rtf"), "{\\rtf1 x}");
    const QString package = env.path(QStringLiteral("pkg"));
    if (!setUserAttribute(file, "user.ferrymark.latitude", "52.5"))
        GTEST_SKIP() << "no extended attributes here";
    ASSERT_TRUE(setUserAttribute(package, "user.xdg.creator", "someone"));
    const QString copy = env.path(QStringLiteral("copy.rtf"));
    ASSERT_TRUE(FileOperations::copyFile(file, copy));
    EXPECT_EQ(userAttribute(copy, "user.ferrymark.latitude"), "52.5");

    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isWritable() || FileOperations::isSameFileSystem(env.root(), shm))
        GTEST_SKIP() << "no second file system to move across";
    const QString probe =
        shm + QStringLiteral("/ferrymark-xattr-probe-") + QString::number(::getpid());
    QFile(probe).open(QIODevice::WriteOnly);
    const bool shmKeepsAttributes = setUserAttribute(probe, "user.probe", "1");
    QFile::remove(probe);
    if (!shmKeepsAttributes) GTEST_SKIP() << "the second file system keeps no extended attributes";
    const QString target =
        shm + QStringLiteral("/ferrymark-xattr-move-") + QString::number(::getpid());
    ASSERT_TRUE(FileOperations::moveItem(package, target));
    EXPECT_EQ(userAttribute(target, "user.xdg.creator"), "someone");
    EXPECT_EQ(userAttribute(target + QStringLiteral("/TXT.rtf"), "user.ferrymark.latitude"),
              "52.5");
    FileOperations::removeItem(target);
}

// A rename that must not replace: a plain rename() would replace a file, a
// dangling link or an empty folder without a word.
TEST(FileOperationsTest, RenameNoReplaceRefusesEveryKindOfItemAtTheTarget) {
    TestEnvironment env;
    const QString source = env.writeFile(QStringLiteral("source.txt"), "new");
    const QString file = env.writeFile(QStringLiteral("file.txt"), "old");
    const QString link = env.path(QStringLiteral("link"));
    ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(link).constData()), 0);
    const QString folder = env.path(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& taken : {file, link, folder}) {
        Error error;
        EXPECT_FALSE(FileOperations::renameNoReplace(source, taken, &error)) << taken.toStdString();
        EXPECT_EQ(error.code(), EEXIST);
        EXPECT_TRUE(error.localizedDescription().startsWith(taken));
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old"));

    EXPECT_TRUE(FileOperations::renameNoReplace(source, env.path(QStringLiteral("free.txt"))));
    EXPECT_FALSE(QFileInfo::exists(source));
    Error error;
    EXPECT_FALSE(
        FileOperations::renameNoReplace(source, env.path(QStringLiteral("other.txt")), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

// Across file systems a move copies; an item already at the target must
// survive it untouched (the copy's clean-up must never remove it).
TEST(FileOperationsTest, MoveAcrossFileSystemsNeverReplacesTheTarget) {
    TestEnvironment env;
    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isWritable() || FileOperations::isSameFileSystem(env.root(), shm))
        GTEST_SKIP() << "no second file system to move across";
    const QString source = env.writeFile(QStringLiteral("pkg/TXT.rtf"), "new");
    const QString target =
        shm + QStringLiteral("/ferrymark-move-taken-") + QString::number(::getpid());
    ASSERT_TRUE(FileOperations::writeFile(target, "old", FileOperations::WriteMode::NewOnly));
    Error error;
    EXPECT_FALSE(FileOperations::moveItem(env.path(QStringLiteral("pkg")), target, &error));
    EXPECT_EQ(error.code(), EEXIST);
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old"));
    EXPECT_TRUE(QFileInfo::exists(source));
    FileOperations::removeItem(target);
}
