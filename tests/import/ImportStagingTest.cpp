#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "import/ImportStaging.h"
#include "platform/apps/PelmoraApplication.h"
#include "platform/foundation/PrivateDirectory.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kEdition = QString::fromLatin1(PelmoraApplication::kBundleIdentifier);

}  // namespace

// The staging folder holds the user's notes in a folder every user can write
// to: it is owner-only from the moment it exists, whatever the umask.
TEST(ImportStagingTest, StagingFolderIsOwnerOnlyFromTheStart) {
    TestEnvironment env;
    ImportStaging staging;
    const mode_t previous = ::umask(0);
    const bool prepared = staging.prepareDirectory(kEdition);
    ::umask(previous);
    ASSERT_TRUE(prepared);
    EXPECT_EQ(staging.path(), env.tempDir() + QStringLiteral("/Evernote"));
    EXPECT_TRUE(PrivateDirectory::isPrivate(staging.path()));
}

// A link left in the staging folder's place is replaced by a folder of our
// own; what it pointed to is not written into.
TEST(ImportStagingTest, ALinkInTheStagingFoldersPlaceIsNotFollowed) {
    TestEnvironment env;
    const QString elsewhere = env.path(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    env.writeFile(QStringLiteral("elsewhere/kept.txt"), "kept");
    ASSERT_TRUE(QFile::link(elsewhere, env.tempDir() + QStringLiteral("/Evernote")));
    ImportStaging staging;
    ASSERT_TRUE(staging.prepareDirectory(kEdition));
    EXPECT_FALSE(QFileInfo(staging.path()).isSymLink());
    EXPECT_TRUE(PrivateDirectory::isPrivate(staging.path()));
    EXPECT_TRUE(QFile::exists(elsewhere + QStringLiteral("/kept.txt")));
}
