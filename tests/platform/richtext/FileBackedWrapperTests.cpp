// Regular file wrappers whose contents stay in a file on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "platform/richtext/FileWrapper.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

struct stat statOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

}  // namespace

// Inside a package on the same file system the file is linked, not copied:
// the package's entry is the source file itself, which may then go.
TEST(FileBackedWrapper, PackageLinksTheFileAndReadsItOnlyWhenAsked) {
    TestEnvironment env;
    const QByteArray bytes("\0\1large attachment", 18);
    const QString source = env.writeFile(QStringLiteral(".spool"), bytes);
    const FileWrapper file =
        FileWrapper::regularFileWithContentsOfPath(source, QStringLiteral("big.pdf"));
    EXPECT_TRUE(file.isRegularFile());
    EXPECT_EQ(file.contentsPath(), source);
    EXPECT_EQ(file.regularFileContents(), bytes);

    FileWrapper package = FileWrapper::directory();
    package.addFileWrapper(file);
    const QString path = env.path(QStringLiteral("Note.rtfd"));
    Error error;
    ASSERT_TRUE(package.writeToPath(path, true, &error)) << error.description().toStdString();
    const QString written = path + QStringLiteral("/big.pdf");
    EXPECT_EQ(statOf(written).st_ino, statOf(source).st_ino);
    QFile::remove(source);
    EXPECT_EQ(readWholeFile(written), bytes);
}

TEST(FileBackedWrapper, MissingSourceFailsTheWriteAndLeavesNothing) {
    TestEnvironment env;
    FileWrapper package = FileWrapper::directory();
    package.addFileWrapper(FileWrapper::regularFileWithContentsOfPath(
        env.path(QStringLiteral("gone")), QStringLiteral("a.bin")));
    const QString path = env.path(QStringLiteral("Note.rtfd"));
    Error error;
    EXPECT_FALSE(package.writeToPath(path, true, &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(FileWrapper::regularFileWithContentsOfPath(env.path(QStringLiteral("gone")))
                    .regularFileContents()
                    .isEmpty());
}
