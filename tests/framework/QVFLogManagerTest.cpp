#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>

#include "Quorvel/QVFLogManager.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/OutputStream.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Puts standard error back where it was when the test ends, pass or fail.
class StandardErrorGuard {
  public:
    StandardErrorGuard() : saved_(::dup(STDERR_FILENO)) {}
    ~StandardErrorGuard() {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }

  private:
    int saved_;
};

ino_t standardErrorInode() {
    struct stat info {};
    ::fstat(STDERR_FILENO, &info);
    return info.st_ino;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Creates a file whose modification time is `modified`.
void createFile(const QString& path, const QDateTime& modified) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("log\n");
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

}  // namespace

TEST(QVFLogManager, LaunchLogNameUsesThePatternUnchanged) {
    const QDateTime date(QDate(2026, 12, 7), QTime(9, 47, 3, 456));
    EXPECT_EQ(QVFLogManager::logFileNameForDate("Ferrymark", date),
              "Ferrymark_2026-12-07-091245.log");
}

// The bundle has no "CFBundleName": its executable's name names the folder
// and the prefix. Eleven earlier logs, created oldest first but named in the
// opposite order, lose the two oldest; other files stay however old they are.
TEST(QVFLogManager, PruningKeepsTheNineNewestLogsOfThisApplication) {
    TestEnvironment env;
    const QString plist =
        env.writeFile("Info.plist",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                      "<key>CFBundleName</key><string></string>"
                      "<key>CFBundleExecutable</key><string>ferrytool</string></dict></plist>");
    const QString logs = env.dataHome() + "/ferrytool/Logs";
    const QDateTime start = QDateTime::currentDateTime().addDays(-30);
    createFile(logs + "/Other.log", start.addYears(-5));
    createFile(logs + "/nested/ferrytool_old.log", start.addYears(-5));
    QStringList created;
    for (int i = 0; i < 11; ++i) {
        created << logs + "/ferrytool_" + QChar(u'z' - i) + ".log";
        createFile(created.last(), start.addSecs(3600 * i));
        QThread::msleep(20);  // distinct birth times where the file system keeps them
    }

    QVFLogManager manager{Bundle(plist).applicationName()};

    EXPECT_EQ(manager.applicationName(), "ferrytool");
    EXPECT_FALSE(QFile::exists(created[0]));
    EXPECT_FALSE(QFile::exists(created[1]));
    for (int i = 2; i < 11; ++i) EXPECT_TRUE(QFile::exists(created[i])) << qPrintable(created[i]);
    EXPECT_TRUE(QFile::exists(logs + "/Other.log"));
    EXPECT_TRUE(QFile::exists(logs + "/nested/ferrytool_old.log"));

    const QFileInfo launchLog(manager.applicationLogFile());
    EXPECT_EQ(launchLog.absolutePath(), QFileInfo(logs).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression("^ferrytool_\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.log$")
                    .match(launchLog.fileName())
                    .hasMatch())
        << qPrintable(launchLog.fileName());

    // A second launch with nine logs left deletes nothing.
    QVFLogManager again{Bundle(plist).applicationName()};
    for (int i = 2; i < 11; ++i) EXPECT_TRUE(QFile::exists(created[i]));
}

// The import log's append-mode stream and the redirected standard error write
// the same file; neither may overwrite what the other wrote.
TEST(QVFLogManager, RedirectedStandardErrorAppendsBesideTheLogStream) {
    TestEnvironment env;
    StandardErrorGuard guard;
    const QString path = env.path("Logs/Run/Import.log");  // parent folders do not exist yet
    QVFLogManager manager;

    manager.redirectStandardErrorToFileAtPath(path);
    OutputStream stream(path);
    ASSERT_TRUE(stream.open());
    stream.write("header\n");
    std::fputs("from standard error\n", stderr);
    stream.write("after\n");
    std::fputs("again\n", stderr);
    std::fflush(stderr);

    EXPECT_EQ(contentsOf(path), "header\nfrom standard error\nafter\nagain\n");

    // A later redirection truncates and replaces the earlier one.
    manager.redirectStandardErrorToFileAtPath(path);
    std::fputs("fresh\n", stderr);
    std::fflush(stderr);
    EXPECT_EQ(contentsOf(path), "fresh\n");
}

TEST(QVFLogManager, FailedRedirectionLeavesStandardErrorAlone) {
    TestEnvironment env;
    StandardErrorGuard guard;
    const QString blocker = env.writeFile("blocker", "a file, not a folder");
    const ino_t before = standardErrorInode();

    QVFLogManager manager;
    manager.redirectStandardErrorToFileAtPath(blocker + "/Logs/Import.log");

    EXPECT_EQ(standardErrorInode(), before);
    EXPECT_EQ(contentsOf(blocker), "a file, not a folder");
}
