#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <functional>

#include "platform/foundation/Bundle.h"
#include "tests/support/TestEnvironment.h"
#include "util/FileManagerExtensions.h"

using namespace QVExtensions;

namespace {

// Points HOME at a folder of the test for as long as it lives.
class HomeOverride {
  public:
    explicit HomeOverride(const QString& home) : saved_(qgetenv("HOME")) {
        QDir().mkpath(home);
        qputenv("HOME", home.toUtf8());
    }
    ~HomeOverride() { qputenv("HOME", saved_); }

  private:
    QByteArray saved_;
};

QUrl fileURL(const QString& path) { return QUrl::fromLocalFile(path); }

// Runs `check` in a child process under an unprivileged user (permissions do
// not stop root) and returns its answer.
bool asUnprivilegedUser(const std::function<bool()>& check) {
    std::fflush(nullptr);  // the child must not print what the parent buffered
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void makeLink(const QString& target, const QString& link) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
}

}  // namespace

TEST(FileManagerItems, PackagesCountAsFilesAndLinksAreFollowed) {
    TestEnvironment env;
    for (const char* folder : {"plain", "Note.pmnote", "Tool.APP", "Doc.rtfd", "Page.webarchive"})
        QDir().mkpath(env.path(QLatin1String(folder)));
    EXPECT_TRUE(isDirectoryAtPath(env.path(QStringLiteral("plain"))));
    for (const char* package : {"Note.pmnote", "Tool.APP", "Doc.rtfd", "Page.webarchive"}) {
        EXPECT_FALSE(isDirectoryAtPath(env.path(QLatin1String(package)))) << package;
        EXPECT_TRUE(isPackageAtPath(env.path(QLatin1String(package)))) << package;
    }
    // A web archive that is a file is no package.
    EXPECT_FALSE(isPackageAtPath(env.writeFile(QStringLiteral("Clip.webarchive"), "bplist00")));
    EXPECT_FALSE(isDirectoryAtPath(env.path(QStringLiteral("missing"))));
    makeLink(env.path(QStringLiteral("plain")), env.path(QStringLiteral("link")));
    EXPECT_TRUE(isDirectoryAtPath(env.path(QStringLiteral("link"))));
    EXPECT_TRUE(isSymbolicLinkAtPath(env.path(QStringLiteral("link"))));
    EXPECT_FALSE(isSymbolicLinkAtPath(env.path(QStringLiteral("plain"))));
}

TEST(FileManagerItems, HiddenMeansALeadingDot) {
    TestEnvironment env;
    EXPECT_TRUE(isHiddenFileAtPath(QStringLiteral(".cache")));  // relative, not on disk
    EXPECT_TRUE(isHiddenFileAtPath(env.writeFile(QStringLiteral(".secret"), "x")));
    EXPECT_FALSE(isHiddenFileAtPath(env.writeFile(QStringLiteral("a.txt"), "x")));
    EXPECT_FALSE(isHiddenFileAtPath(env.path(QStringLiteral(".missing"))));
}

TEST(FileManagerAliases, SymbolicLinksAndDesktopLinks) {
    TestEnvironment env;
    const QString target = env.writeFile(QStringLiteral("target.txt"), "x");
    makeLink(target, env.path(QStringLiteral("first")));
    makeLink(env.path(QStringLiteral("first")), env.path(QStringLiteral("second")));
    const QString link =
        env.writeFile(QStringLiteral("Site.desktop"),
                      "[Desktop Entry]\nType=Link\nName=Site\nURL=https://example.org/a\n");
    const QString app = env.writeFile(QStringLiteral("App.desktop"),
                                      "[Desktop Entry]\nType=Application\nExec=true\n");

    EXPECT_TRUE(isAliasAtURL(fileURL(env.path(QStringLiteral("second")))));
    EXPECT_TRUE(isAliasAtURL(fileURL(link)));
    EXPECT_FALSE(isAliasAtURL(fileURL(app)));
    EXPECT_FALSE(isAliasAtURL(fileURL(target)));

    EXPECT_EQ(originalURLForAliasAtURL(fileURL(env.path(QStringLiteral("second")))),
              fileURL(target));
    EXPECT_EQ(originalURLForAliasAtURL(fileURL(link)),
              QUrl(QStringLiteral("https://example.org/a")));

    Error error;
    bool flag = true;
    EXPECT_FALSE(isAlias(&flag, fileURL(env.path(QStringLiteral("missing"))), &error));
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(originalURLForAliasAtURL(fileURL(target), &error));
    EXPECT_EQ(error.code(), EINVAL);
    makeLink(env.path(QStringLiteral("gone")), env.path(QStringLiteral("dangling")));
    EXPECT_FALSE(originalURLForAliasAtURL(fileURL(env.path(QStringLiteral("dangling"))), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

TEST(FileManagerTrash, ItemsBelowATrashFolderButNotItsNamesakes) {
    TestEnvironment env;
    const QString trash = env.dataHome() + QStringLiteral("/Trash");
    EXPECT_TRUE(trashFolderPaths().contains(trash));
    EXPECT_TRUE(isURLInTrash(fileURL(trash + QStringLiteral("/files/a/b/c.txt"))));
    EXPECT_TRUE(isURLInTrash(fileURL(trash)));
    EXPECT_FALSE(isURLInTrash(fileURL(trash + QStringLiteral("-old/c.txt"))));
    EXPECT_FALSE(isURLInTrash(fileURL(trash + QStringLiteral("/../Trashcan"))));
    EXPECT_FALSE(isURLInTrash(fileURL(env.dataHome() + QStringLiteral("/Notes/x"))));
    const QString uid = QString::number(::getuid());
    EXPECT_TRUE(
        isURLInTrash(fileURL(QStringLiteral("/.Trash-") + uid + QStringLiteral("/files/x"))));
    EXPECT_FALSE(isURLInTrash(QUrl(QStringLiteral("https://example.org") + trash)));
}

TEST(FileManagerTemporaryFolder, CreatedOnceAndRefusedWhenAFileIsInTheWay) {
    TestEnvironment env;
    const QString expected = env.tempDir() + u'/' + Bundle::main().applicationName();
    EXPECT_EQ(temporaryDirectoryForApplication(), expected);
    EXPECT_EQ(QFileInfo(expected).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
    EXPECT_EQ(temporaryDirectoryForApplication(), expected);
    ASSERT_TRUE(QDir(expected).removeRecursively());

    env.writeFile(expected.mid(env.root().size() + 1), "a file");
    EXPECT_EQ(temporaryDirectoryForApplication(), std::nullopt);
    QFile blocker(expected);
    ASSERT_TRUE(blocker.open(QIODevice::ReadOnly));
    EXPECT_EQ(blocker.readAll(), "a file");  // left alone
    ASSERT_TRUE(QFile::remove(expected));

    makeLink(env.root(), expected);  // someone else's pointer into elsewhere
    EXPECT_EQ(temporaryDirectoryForApplication(), std::nullopt);
}

TEST(FileManagerCloudFolders, DropboxInfoWithOnlyAPersonalFolder) {
    TestEnvironment env;
    HomeOverride home(env.path(QStringLiteral("home")));
    env.writeFile(QStringLiteral("home/.dropbox/info.json"),
                  R"json({"personal": {"path": "/home/me/Dropbox", "host": 1}})json");
    EXPECT_EQ(prohibitedFolderURLsForCloudLibraries(),
              (QList<QUrl>{fileURL(QStringLiteral("/home/me/Dropbox"))}));

    env.writeFile(QStringLiteral("home/.dropbox/info.json"),
                  R"json({"business": {"path": ""}, "personal": {"path": ""}})json");
    EXPECT_EQ(prohibitedFolderURLsForCloudLibraries(), QList<QUrl>());
    for (const char* notAnObject : {"[1, 2]", "\"text\"", "{\"personal\": \"x\"}", "{broken", ""}) {
        env.writeFile(QStringLiteral("home/.dropbox/info.json"), notAnObject);
        EXPECT_EQ(prohibitedFolderURLsForCloudLibraries(), QList<QUrl>()) << notAnObject;
    }
}

TEST(FileManagerCloudFolders, AllServicesInOrderAndTheUbiquityOfDocuments) {
    TestEnvironment env;
    const QString homePath = env.path(QStringLiteral("home"));
    HomeOverride home(homePath);
    QDir().mkpath(homePath + QStringLiteral("/Google Drive"));
    env.writeFile(
        QStringLiteral("home/.dropbox/info.json"),
        R"json({"business": {"path": "/srv/Dropbox (Work)"}, "personal": {"path": "/home/me/Dropbox"}})json");
    env.writeFile(QStringLiteral("config/Nextcloud/nextcloud.cfg"),
                  "[General]\nx=1\n\n[Accounts]\n0\\Folders\\1\\localPath=" + homePath.toUtf8() +
                      "/Nextcloud/\n0\\Folders\\1\\paused=false\n");
    env.writeFile(QStringLiteral("config/ownCloud/owncloud.cfg"),
                  "[Accounts]\n0\\Folders\\2\\localPath=/data/ownCloud\n");
    EXPECT_EQ(prohibitedFolderURLsForCloudLibraries(),
              (QList<QUrl>{fileURL(homePath + QStringLiteral("/Google Drive")),
                           fileURL(QStringLiteral("/srv/Dropbox (Work)")),
                           fileURL(QStringLiteral("/home/me/Dropbox")),
                           fileURL(homePath + QStringLiteral("/Nextcloud")),
                           fileURL(QStringLiteral("/data/ownCloud"))}));

    // Documents in ~/Documents is not synchronised; moved into Nextcloud it is.
    QDir().mkpath(homePath + QStringLiteral("/Documents"));
    EXPECT_FALSE(isUbiquityEnabledForDesktopAndDocumentsFolders());
    QDir().mkpath(homePath + QStringLiteral("/Nextcloud/Documents"));
    env.writeFile(QStringLiteral("config/user-dirs.dirs"),
                  "XDG_DOCUMENTS_DIR=\"$HOME/Nextcloud/Documents\"\n");
    EXPECT_EQ(userDocumentsFolder(), homePath + QStringLiteral("/Nextcloud/Documents"));
    EXPECT_TRUE(isUbiquityEnabledForDesktopAndDocumentsFolders());
}

TEST(FileManagerSizes, FolderSumsVisibleChildrenOnly) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("tree/.hidden"), QByteArray(1000, 'h'));
    env.writeFile(QStringLiteral("tree/.git/objects"), QByteArray(1000, 'g'));
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree")))), 0u);
    Error error;
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree"))), &error), 0u);

    env.writeFile(QStringLiteral("tree/a.txt"), QByteArray(10, 'a'));
    env.writeFile(QStringLiteral("tree/sub/b.txt"), QByteArray(20, 'b'));
    env.writeFile(QStringLiteral("tree/Note.pmnote/TXT.rtf"), QByteArray(30, 'c'));
    // A name that is not UTF-8 counts too.
    FILE* latin1 =
        std::fopen(QFile::encodeName(env.path(QStringLiteral("tree"))) + "/caf\xe9", "w");
    ASSERT_TRUE(latin1);
    std::fputs("12345", latin1);
    std::fclose(latin1);
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree")))), 65u);
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree/a.txt")))), 10u);
    QDir().mkpath(env.path(QStringLiteral("empty")));
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("empty")))), 0u);
}

TEST(FileManagerSizes, LinksAreNotFollowedOutOfTheTreeOrIntoLoops) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("outside/big"), QByteArray(100000, 'x'));
    env.writeFile(QStringLiteral("tree/a.txt"), QByteArray(10, 'a'));
    const QString outsideLink = env.path(QStringLiteral("tree/out"));
    makeLink(env.path(QStringLiteral("outside")), outsideLink);
    makeLink(env.path(QStringLiteral("tree")), env.path(QStringLiteral("tree/loop")));
    const quint64 linkSizes = QFile::encodeName(env.path(QStringLiteral("outside"))).size() +
                              QFile::encodeName(env.path(QStringLiteral("tree"))).size();
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree")))), 10u + linkSizes);
}

TEST(FileManagerSizes, UnreadableItemsFollowTheFailureRules) {
    TestEnvironment env;
    env.writeFile(QStringLiteral("tree/a.txt"), QByteArray(10, 'a'));
    env.writeFile(QStringLiteral("tree/locked/b.txt"), QByteArray(20, 'b'));
    env.writeFile(QStringLiteral("unsearchable/c.txt"), QByteArray(30, 'c'));
    ::chmod(QFile::encodeName(env.root()).constData(), 0755);
    ::chmod(QFile::encodeName(env.path(QStringLiteral("tree/locked"))).constData(), 0);
    ::chmod(QFile::encodeName(env.path(QStringLiteral("unsearchable"))).constData(), 0444);
    const bool followed = asUnprivilegedUser([&] {
        Error error;
        const bool lockedFails =
            !sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree/locked"))), &error) &&
            error.code() == EACCES;
        // Listed but its children cannot be looked at: the whole size is unknown.
        const bool unsearchableFails =
            !sizeOfFileAtURL(fileURL(env.path(QStringLiteral("unsearchable"))), &error) &&
            error.code() == EACCES;
        // A sub-folder that cannot be listed adds nothing.
        const bool treeCounts = sizeOfFileAtURL(fileURL(env.path(QStringLiteral("tree")))) == 10u;
        return lockedFails && unsearchableFails && treeCounts;
    });
    ::chmod(QFile::encodeName(env.path(QStringLiteral("tree/locked"))).constData(), 0755);
    ::chmod(QFile::encodeName(env.path(QStringLiteral("unsearchable"))).constData(), 0755);
    EXPECT_TRUE(followed);
}

TEST(FileManagerSizes, MissingItemIsUnknown) {
    TestEnvironment env;
    Error error;
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("missing"))), &error), std::nullopt);
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_EQ(sizeOfFileAtURL(fileURL(env.path(QStringLiteral("missing")))), 0u);
}

TEST(FileManagerBusy, ALockHeldElsewhereMakesTheFileBusy) {
    TestEnvironment env;
    const QString file = env.writeFile(QStringLiteral("doc.txt"), "text");
    EXPECT_FALSE(itemIsBusyAtPath(file));
    // An open-file-description lock belongs to its descriptor, not the process,
    // so it stands for another program's lock.
    const int holder = ::open(QFile::encodeName(file).constData(), O_RDWR);
    ASSERT_GE(holder, 0);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(holder, F_OFD_SETLK, &lock), 0);
    EXPECT_TRUE(itemIsBusyAtPath(file));
    ::close(holder);
    EXPECT_FALSE(itemIsBusyAtPath(file));
    EXPECT_FALSE(itemIsBusyAtPath(env.path(QStringLiteral("missing"))));
}

TEST(FileManagerVolume, FreeSpaceOfTheDocumentsFolder) {
    TestEnvironment env;
    HomeOverride home(env.path(QStringLiteral("home")));
    Error error;
    EXPECT_EQ(getFreeDiskspace(&error), std::nullopt) << "no Documents folder yet";
    EXPECT_EQ(error.code(), ENOENT);
    QDir().mkpath(env.path(QStringLiteral("home/Documents")));
    const auto free = getFreeDiskspace();
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0u);
}

TEST(FileManagerKinds, NamesFromTheTypeRegistry) {
    EXPECT_EQ(kindStringForExtension(QStringLiteral("pdf")), "PDF document");
    EXPECT_EQ(kindStringForExtension(QStringLiteral("xyzzy")), "xyzzy");
    EXPECT_EQ(kindStringForExtension(QStringLiteral("'PDF '")), "'PDF '");
}
