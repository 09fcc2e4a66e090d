#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/richtext/FileWrapper.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

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
    EXPECT_EQ(readWholeFile(path + QStringLiteral("/Inner/data.bin")),
              QByteArray("\0\1\2binary", 9));

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

TEST(FileWrapper, ManyChildrenOfOneNameAreNumberedInTurnAndARemovedNumberIsReused) {
    FileWrapper folder = FileWrapper::directory();
    folder.addRegularFile("taken", QStringLiteral("3__a.pdf"));
    EXPECT_EQ(folder.addRegularFile("0", QStringLiteral("a.pdf")), QStringLiteral("a.pdf"));
    for (int n = 1; n < 50000; ++n) {  // a quadratic search for the free number would take minutes
        const QString expected = QStringLiteral("%1__a.pdf").arg(n < 3 ? n : n + 1);
        const QString key = folder.addRegularFile("x", QStringLiteral("a.pdf"));
        if (key != expected) {
            ADD_FAILURE() << n << ": " << key.toStdString();
            break;
        }
    }
    EXPECT_TRUE(folder.removeFileWrapper(QStringLiteral("7__a.pdf")));
    EXPECT_EQ(folder.addRegularFile("again", QStringLiteral("a.pdf")), QStringLiteral("7__a.pdf"));
    EXPECT_EQ(folder.addRegularFile("next", QStringLiteral("a.pdf")),
              QStringLiteral("50001__a.pdf"));
}

TEST(FileWrapper, WritingOverAnItemNeedsTheAtomicWrite) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("note.txt"), "old");
    const FileWrapper wrapper = FileWrapper::regularFile("new", QStringLiteral("note.txt"));

    Error error;
    EXPECT_FALSE(wrapper.writeToPath(path, false, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code(), 516);
    EXPECT_EQ(readWholeFile(path), QByteArray("old"));

    ASSERT_TRUE(wrapper.writeToPath(path, true, &error));
    EXPECT_EQ(readWholeFile(path), QByteArray("new"));
    // Nothing of the swap is left beside the item.
    EXPECT_EQ(QDir(env.root())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .filter(QStringLiteral("note.txt")),
              QStringList{QStringLiteral("note.txt")});
}

// The atomic write replaces whatever is at the path: a package (a folder with
// files), a dangling link, an empty folder; nothing of the swap stays behind.
TEST(FileWrapper, AtomicWriteReplacesAnyItemAndLeavesNothingBeside) {
    TestEnvironment env;
    FileWrapper package = FileWrapper::directory();
    package.addRegularFile("new text", QStringLiteral("TXT.rtf"));
    const QString existing = env.path(QStringLiteral("out/Note.pmnote"));
    env.writeFile(QStringLiteral("out/Note.pmnote/TXT.rtf"), "old text");
    env.writeFile(QStringLiteral("out/Note.pmnote/old.png"), "png");
    const QString link = env.path(QStringLiteral("out/Link.pmnote"));
    ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(link).constData()), 0);
    const QString empty = env.path(QStringLiteral("out/Empty.pmnote"));
    ASSERT_TRUE(QDir().mkdir(empty));

    for (const QString& path : {existing, link, empty}) {
        Error error;
        ASSERT_TRUE(package.writeToPath(path, true, &error)) << error.description().toStdString();
        EXPECT_FALSE(QFileInfo(path).isSymLink());
        EXPECT_EQ(readWholeFile(path + QStringLiteral("/TXT.rtf")), QByteArray("new text"));
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("/old.png")));
    }
    EXPECT_EQ(QDir(env.path(QStringLiteral("out")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("Empty.pmnote"), QStringLiteral("Link.pmnote"),
                           QStringLiteral("Note.pmnote")}));

    // A dangling link is an item too: the plain write refuses it.
    const QString other = env.path(QStringLiteral("out/Other"));
    ASSERT_EQ(::symlink("/nonexistent/elsewhere", QFile::encodeName(other).constData()), 0);
    Error error;
    EXPECT_FALSE(package.writeToPath(other, false, &error));
    EXPECT_EQ(error.code(), 516);
    EXPECT_TRUE(QFileInfo(other).isSymLink());
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

// A target name at the limit leaves no room for the staging name's additions;
// they must be made to fit, or no long-titled item could ever be saved.
TEST(FileWrapper, AtomicWritesWorkForNamesAtTheLimit) {
    QString emoji;
    while (emoji.toUtf8().size() + 4 <= 251) emoji += QStringLiteral("\U0001F600");
    for (const QString& name :
         {QString(250, u'a') + QStringLiteral(".note"), emoji + QStringLiteral(".txt")}) {
        TestEnvironment env;
        ASSERT_LE(name.toUtf8().size(), 255);
        ASSERT_GT(name.toUtf8().size(), 250);
        const QString folderPath = env.path(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(folderPath));
        const QString path = folderPath + u'/' + name;
        FileWrapper folder = FileWrapper::directory();
        folder.addRegularFile("one", QStringLiteral("a.txt"));
        Error error;
        ASSERT_TRUE(folder.writeToPath(path, true, &error)) << error.description().toStdString();
        folder.addRegularFile("two", QStringLiteral("b.txt"));
        ASSERT_TRUE(folder.writeToPath(path, true, &error)) << error.description().toStdString();
        EXPECT_EQ(readWholeFile(path + QStringLiteral("/b.txt")), QByteArray("two"));
        // No staging or backup item is left beside it.
        EXPECT_EQ(
            QDir(folderPath).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{name});
    }
}

TEST(FileWrapper, ChildNamesFitTheLimitAndKeepWhiteSpace) {
    FileWrapper folder = FileWrapper::directory();
    const QString longName = QString(200, QChar(0x00E9)) + QStringLiteral(".pdf");
    const QString first = folder.addRegularFile("1", longName);
    const QString second = folder.addRegularFile("2", longName);
    for (const QString& key : {first, second}) {
        EXPECT_LE(key.toUtf8().size(), 255) << qPrintable(key);
        EXPECT_TRUE(key.endsWith(QStringLiteral("\u00E9.pdf"))) << qPrintable(key);
    }
    EXPECT_TRUE(second.startsWith(QStringLiteral("1__\u00E9")));
    EXPECT_NE(first, second);
    for (const QString& name :
         {QStringLiteral("Scan  1.pdf"), QStringLiteral(" Scan\t2.pdf "), QStringLiteral("a\nb")})
        EXPECT_EQ(folder.addRegularFile("x", name), name);
}
