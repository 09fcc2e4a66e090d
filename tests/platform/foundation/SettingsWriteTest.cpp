// Settings files are replaced whole or not at all, and a damaged settings
// file is never overwritten by a change.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "platform/foundation/FileOperations.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/plist/PlistValue.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

// Everything in `folder`, hidden files included.
QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                  QDir::System);
}

}  // namespace

// The disk fills up (here: the file size limit) in the middle of the write.
TEST(ReplaceFileTest, FailedWriteLeavesTheOldFileByteForByte) {
    TestEnvironment env;
    const QByteArray old = "<plist version=\"1.0\"><dict><key>A</key><true/></dict></plist>\n";
    const QString path = env.writeFile(QStringLiteral("settings/domain.plist"), old);
    Error error;
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(FileOperations::writeFile(path, QByteArray(1024 * 1024, 'x'),
                                               FileOperations::WriteMode::Replace, &error));
    }
    EXPECT_EQ(error.domain(), QStringLiteral("NSPOSIXErrorDomain"));
    EXPECT_EQ(error.code(), EFBIG);
    EXPECT_TRUE(error.localizedDescription().startsWith(path));
    EXPECT_EQ(readWholeFile(path), old);
    EXPECT_EQ(entriesOf(env.path(QStringLiteral("settings"))),
              QStringList{QStringLiteral("domain.plist")});  // no temporary file left

    // Through the property-list writer too.
    PlistDictionary big;
    big.set(QStringLiteral("Pad"), QString(512 * 1024, u'x'));
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(PlistValue(big).writeToFile(path, PlistValue::Format::Xml, &error));
    }
    EXPECT_EQ(error.domain(), QStringLiteral("PlistErrorDomain"));
    ASSERT_NE(error.underlyingError(), nullptr);
    EXPECT_EQ(error.underlyingError()->code(), EFBIG);
    EXPECT_EQ(readWholeFile(path), old);
    EXPECT_EQ(entriesOf(env.path(QStringLiteral("settings"))).size(), 1);
}

TEST(ReplaceFileTest, KeepsPermissionsFollowsLinksAndRefusesFolders) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("private.plist"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_TRUE(FileOperations::writeFile(path, "new", FileOperations::WriteMode::Replace));
    EXPECT_EQ(readWholeFile(path), QByteArray("new"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    const QString link = env.path(QStringLiteral("linked.plist"));
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(FileOperations::writeFile(link, "through", FileOperations::WriteMode::Replace));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readWholeFile(path), QByteArray("through"));

    const QString folder = env.path(QStringLiteral("folder.plist"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inside")));
    Error error;
    EXPECT_FALSE(
        FileOperations::writeFile(folder, "x", FileOperations::WriteMode::Replace, &error));
    EXPECT_EQ(error.code(), EISDIR);
    EXPECT_TRUE(QDir(folder + QStringLiteral("/inside")).exists());
}

// A domain file that cannot be read must not be taken for an empty domain
// and written back with one key: every other setting would be gone.
TEST(UserDefaultsTest, DamagedDomainIsKeptAndNotOverwritten) {
    const QList<QByteArray> damaged = {
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Libr"),
        QByteArray("bplist00\x01\x02garbage", 18),
        QByteArray("<plist version=\"1.0\"><array><string>x</string></array></plist>")};
    for (const QByteArray& bytes : damaged) {
        TestEnvironment env;
        const QString domain = QStringLiteral("com.example.damaged");
        const QString path = UserDefaults::pathForDomain(domain);
        env.writeFile(path.mid(env.root().size() + 1), bytes);
        UserDefaults defaults(domain);
        EXPECT_TRUE(defaults.objectForKey(QStringLiteral("Library")).isNull());
        Error error;
        EXPECT_FALSE(defaults.setObject(true, QStringLiteral("ExportDebug"), &error));
        EXPECT_EQ(error.domain(), QStringLiteral("UserDefaultsErrorDomain"));
        EXPECT_EQ(error.code(), UserDefaults::kDamagedDomainError);
        EXPECT_TRUE(error.localizedDescription().contains(path));
        EXPECT_FALSE(defaults.removeObject(QStringLiteral("ExportDebug"), &error));
        EXPECT_EQ(readWholeFile(path), bytes);
    }
}

TEST(UserDefaultsTest, FailedWriteKeepsEveryOtherSetting) {
    TestEnvironment env;
    const QString domain = QStringLiteral("com.example.full");
    UserDefaults defaults(domain);
    ASSERT_TRUE(defaults.setObject(QStringLiteral("/home/me/Library"), QStringLiteral("Library")));
    const QByteArray before = readWholeFile(UserDefaults::pathForDomain(domain));
    Error error;
    {
        FileSizeLimit limit(8 * 1024);
        EXPECT_FALSE(defaults.setObject(QString(64 * 1024, u'x'), QStringLiteral("Pad"), &error));
    }
    EXPECT_EQ(error.underlyingError() ? error.underlyingError()->code() : 0, EFBIG);
    EXPECT_EQ(readWholeFile(UserDefaults::pathForDomain(domain)), before);
    EXPECT_EQ(UserDefaults(domain).stringForKey(QStringLiteral("Library")),
              QStringLiteral("/home/me/Library"));
    // An empty file holds nothing to keep: it is an empty domain, and writable.
    env.writeFile(UserDefaults::pathForDomain(domain).mid(env.root().size() + 1), QByteArray());
    EXPECT_TRUE(defaults.setObject(true, QStringLiteral("ExportDebug")));
}
