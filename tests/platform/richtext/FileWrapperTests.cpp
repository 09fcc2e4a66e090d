#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/richtext/FileWrapper.h"
#include "tests/support/TestEnvironment.h"

namespace {
QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}  // namespace

TEST(FileWrapper, FolderTreesSurviveWritingAndReading) {
    TestEnvironment env;
    FileWrapper inner = FileWrapper::directory();
    inner.addRegularFile(QByteArray("\0\1\2binary", 9), QStringLiteral("data.bin"));
    FileWrapper package = FileWrapper::directory();
    package.addRegularFile("text", QStringLiteral("a.txt"));
    inner.setPreferredFilename(QStringLiteral("Inner"));
    package.addFileWrapper(inner);

    const QString path = env.path(QStringLiteral("Package"));
    Error error;
    ASSERT_TRUE(package.writeToPath(path, false, &error)) << error.description().toStdString();
    EXPECT_EQ(readAll(path + QStringLiteral("/Inner/data.bin")), QByteArray("\0\1\2binary", 9));

    const std::optional<FileWrapper> read = FileWrapper::readFromPath(path, &error);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->fileWrappers(), package.fileWrappers());
    EXPECT_EQ(read->fileWrappers().value(QStringLiteral("a.txt")).filename(),
              QStringLiteral("a.txt"));
}

TEST(FileWrapper, ChildNamesAreMadeSafeAndUnique) {
    FileWrapper folder = FileWrapper::directory();
    EXPECT_EQ(folder.addRegularFile("1", QStringLiteral("pic.png")), QStringLiteral("pic.png"));
    EXPECT_EQ(folder.addRegularFile("2", QStringLiteral("pic.png")), QStringLiteral("1__pic.png"));
    EXPECT_EQ(folder.addRegularFile("3", QStringLiteral("pic.png")), QStringLiteral("2__pic.png"));
    EXPECT_EQ(folder.addRegularFile("4", QStringLiteral("../../etc/passwd")),
              QStringLiteral(".._.._etc_passwd"));
    EXPECT_EQ(folder.addRegularFile("5", QStringLiteral("..")), QStringLiteral("Attachment"));
    EXPECT_EQ(folder.addRegularFile("6", QString()), QStringLiteral("1__Attachment"));
    EXPECT_EQ(FileWrapper::regularFile("x").addRegularFile("y", QStringLiteral("z")), QString());
}

TEST(FileWrapper, WritingOverAnItemNeedsTheAtomicWrite) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("note.txt"), "old");
    const FileWrapper wrapper = FileWrapper::regularFile("new", QStringLiteral("note.txt"));

    Error error;
    EXPECT_FALSE(wrapper.writeToPath(path, false, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code(), 516);
    EXPECT_EQ(readAll(path), QByteArray("old"));

    ASSERT_TRUE(wrapper.writeToPath(path, true, &error));
    EXPECT_EQ(readAll(path), QByteArray("new"));
    // Nothing of the swap is left beside the item.
    EXPECT_EQ(QDir(env.root())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .filter(QStringLiteral("note.txt")),
              QStringList{QStringLiteral("note.txt")});
}

TEST(FileWrapper, ReadingReportsMissingFilesAndSkipsLinks) {
    TestEnvironment env;
    Error error;
    EXPECT_FALSE(FileWrapper::readFromPath(env.path(QStringLiteral("missing")), &error));
    EXPECT_EQ(error.code(), 260);

    const QString secret = env.writeFile(QStringLiteral("secret.txt"), "secret");
    env.writeFile(QStringLiteral("Folder/kept.txt"), "kept");
    ASSERT_TRUE(QFile::link(secret, env.path(QStringLiteral("Folder/link.txt"))));
    const std::optional<FileWrapper> folder =
        FileWrapper::readFromPath(env.path(QStringLiteral("Folder")));
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->fileWrappers().keys(), QStringList{QStringLiteral("kept.txt")});
}
