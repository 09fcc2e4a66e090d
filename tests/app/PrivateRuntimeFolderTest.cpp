#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <functional>

#include "app/PrivateRuntimeFolder.h"
#include "platform/foundation/PrivateDirectory.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A test folder, with XDG_RUNTIME_DIR unset for the test and restored after.
class RuntimeFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", saved_); }

    // Makes the folder again from `err`'s point of view and says what it chose.
    QString choose() {
        QTextStream stream(&err_);
        PrivateRuntimeFolder folder(stream);
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), folder.path());
        return folder.path();
    }

    TestEnvironment env_;
    QString err_;
    QByteArray saved_;
};

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

}  // namespace

TEST_F(RuntimeFolder, IsMadeOwnerOnlyAndKeptForTheNextLaunch) {
    const mode_t previous = ::umask(0);  // a mode of 0777 narrowed later would show
    const QString first = choose();
    ::umask(previous);
    EXPECT_EQ(first, env_.tempDir() + QStringLiteral("/runtime-") + QString::number(::getuid()));
    EXPECT_EQ(modeOf(first), 0700u);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(choose(), first);
    EXPECT_TRUE(err_.isEmpty()) << err_.toStdString();
}

TEST_F(RuntimeFolder, AFolderOpenToOthersOrALinkIsRefused) {
    const QString preferred = PrivateRuntimeFolder::preferredPath();
    const QString elsewhere = env_.path(QStringLiteral("elsewhere"));
    ASSERT_TRUE(PrivateDirectory::make(elsewhere));
    const struct {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"mode 0777",
         [&] {
             ASSERT_TRUE(QDir().mkdir(preferred));
             ASSERT_EQ(::chmod(QFile::encodeName(preferred).constData(), 0777), 0);
         }},
        {"symbolic link", [&] { ASSERT_TRUE(QFile::link(elsewhere, preferred)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        err_.clear();
        qunsetenv("XDG_RUNTIME_DIR");
        QString chosen;
        {
            QTextStream stream(&err_);
            PrivateRuntimeFolder folder(stream);
            chosen = folder.path();
            ASSERT_FALSE(chosen.isEmpty());
            EXPECT_NE(chosen, preferred);
            EXPECT_TRUE(PrivateDirectory::isPrivate(chosen));
            EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), chosen);
        }
        EXPECT_FALSE(QFileInfo::exists(chosen));  // the stand-in goes with the program
        EXPECT_TRUE(err_.contains(QStringLiteral("not using ") + preferred)) << err_.toStdString();
        EXPECT_TRUE(QFileInfo(elsewhere).isDir());
        ASSERT_TRUE(QFile::remove(preferred) || QDir().rmdir(preferred));
    }
}

TEST_F(RuntimeFolder, ASessionFolderIsLeftAlone) {
    qputenv("XDG_RUNTIME_DIR", "/run/user/somewhere");
    QTextStream stream(&err_);
    PrivateRuntimeFolder folder(stream);
    EXPECT_TRUE(folder.path().isEmpty());
    EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/somewhere"));
    EXPECT_FALSE(QFileInfo::exists(PrivateRuntimeFolder::preferredPath()));
}
