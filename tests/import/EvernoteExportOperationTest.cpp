#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>

#include "import/EvernoteExportOperation.h"
#include "import/PelmoraLookup.h"
#include "platform/apps/EvernoteStandIn.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/import/DescriptionCopy.h"
#include "tests/support/Applications.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

class FakeNotebook : public EvernoteNotebook {
  public:
    FakeNotebook(QString name, int count) : name_(std::move(name)), count_(count) {}
    QString name() const override { return name_; }
    QList<EvernoteNote> notes() const override { return QList<EvernoteNote>(count_); }

  private:
    QString name_;
    int count_;
};

// Ends every notebook at once, with `failure` when set.
class EndingOperation : public EvernoteExportOperation {
  public:
    Error failure;
    QStringList directories;
    void performExportForNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                  const QString& path, const PlistDictionary&) override {
        directories << path;
        exportNotebookDidEnd(notebook, failure);
    }
};

struct ImportRun {
    RecordingDelegate delegate;
    std::shared_ptr<EndingOperation> operation = std::make_shared<EndingOperation>();
    DescriptionCopy description{*operation};
    OperationQueue queue;

    void start(const EvernoteNotebookList& notebooks) {
        operation->setNotebooks(notebooks);
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        ASSERT_TRUE(runEventLoopUntil([this] { return delegate.ended.load(); }));
        queue.waitUntilAllOperationsAreFinished();
    }
};

std::shared_ptr<EvernoteNotebook> notebook(const QString& name, int count = 2) {
    return std::make_shared<FakeNotebook>(name, count);
}

QString readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

TEST(EvernoteExportOperationTest, RunsNotebooksInOrderAndHandsDescriptionToPelmora) {
    TestEnvironment env;
    const QString pelmora =
        installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                           QStringLiteral("3.5"));
    PelmoraStandIn::setLibraryPathOverride(env.path(QStringLiteral("library")));
    ImportRun run;
    run.start({notebook(QStringLiteral("Work/Notes")), notebook(QStringLiteral(".hidden"), 3)});
    PelmoraStandIn::setLibraryPathOverride(QString());

    EXPECT_EQ(run.delegate.calls,
              (QStringList{QStringLiteral("notebook Work/Notes 2"),
                           QStringLiteral("notebook .hidden 3"), QStringLiteral("end")}));
    EXPECT_TRUE(run.delegate.allOnMainThread);
    const QString staging = env.tempDir() + QStringLiteral("/Evernote");
    EXPECT_EQ(run.operation->directories, (QStringList{staging + QStringLiteral("/Work-Notes"),
                                                       staging + QStringLiteral("/-hidden")}));

    const PlistDictionary description = run.description.read();
    EXPECT_EQ(description.value(QStringLiteral("ExporterVersion")).toInteger(), 353);
    EXPECT_EQ(description.value(QStringLiteral("RemoveFileOnCompletion")).toString(), staging);
    const PlistDictionary folders = description.value(QStringLiteral("Entities"))
                                        .toDictionary()
                                        .value(QStringLiteral("Folder"))
                                        .toDictionary();
    ASSERT_EQ(folders.size(), 2);
    for (const auto& [identifier, value] : folders.entries()) {
        const PlistDictionary group = value.toDictionary();
        EXPECT_EQ(identifier.size(), 36);
        EXPECT_EQ(group.value(QStringLiteral("identifier")).toString(), identifier);
        EXPECT_EQ(group.value(QStringLiteral("groupType")).toInteger(), 70);
        EXPECT_EQ(group.value(QStringLiteral("parent")).toString(), QStringLiteral("RootFolder"));
        EXPECT_TRUE(group.value(QStringLiteral("comments"))
                        .toString()
                        .startsWith(QStringLiteral("Imported from Evernote, ")));
    }
    // Pelmora removed the staging folder after importing the groups.
    EXPECT_FALSE(QDir(staging).exists());
    EXPECT_TRUE(QDir(env.path(QStringLiteral("library/Work-Notes"))).exists());
    EXPECT_TRUE((ApplicationRecord{pelmora, PlistDictionary()}).isRunning());  // activated

    const QString log =
        readFile(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
    EXPECT_TRUE(log.contains(QStringLiteral(" Ferrymark ")));
    EXPECT_TRUE(log.contains(QStringLiteral(" Pelmora Version 3.5 Evernote Version ")));
    EXPECT_TRUE(log.contains(QStringLiteral(" Exporting to directory: ") + staging));
    EXPECT_TRUE(log.contains(QStringLiteral("*** Export started for notebook: Work/Notes")));
    EXPECT_TRUE(log.contains(QStringLiteral("*** Export ended for notebook: .hidden")));
}

// The window stays open between imports with both stand-ins activated in its
// one process: every import still goes to Pelmora's own library, and the log
// names Pelmora's version, not Evernote's (whose bundle sorts first).
TEST(EvernoteExportOperationTest, ImportsGoToPelmoraWhileEvernoteRunsInTheSameProcess) {
    TestEnvironment env;
    installEvernote(env, env.path(QStringLiteral("notebooks")), QStringLiteral("10.0"));
    installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                       QStringLiteral("3.7"),
                       QStringLiteral("<key>PelmoraLibraryPath</key><string>%1</string>")
                           .arg(env.path(QStringLiteral("configured"))));
    EvernoteApplication::applicationWithBundleIdentifier()->activate();
    PelmoraApplication::applicationWithBundleIdentifier(QStringLiteral("com.quorvel.Pelmora3"))
        ->activate();
    const QString log = env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log");
    for (const QString& name : {QStringLiteral("First"), QStringLiteral("Second")}) {
        ImportRun run;
        run.start({notebook(name)});
        EXPECT_EQ(run.delegate.calls.last(), QStringLiteral("end")) << name.toStdString();
        EXPECT_TRUE(QDir(env.path(QStringLiteral("configured/") + name)).exists())
            << name.toStdString();
        // Each import writes the log afresh.
        EXPECT_TRUE(
            readFile(log).contains(QStringLiteral(" Pelmora Version 3.7 Evernote Version ")))
            << readFile(log).toStdString();
    }
    EXPECT_FALSE(QDir(env.dataHome() + QStringLiteral("/Pelmora 3/Library")).exists());
}

TEST(EvernoteExportOperationTest, DescriptionIsReadableByPlistlib) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) GTEST_SKIP() << "python3 not installed";
    TestEnvironment env;
    // A running sandboxed edition wins over an installed plain one; its staging
    // folder is inside its container and is kept because it never imports.
    const QString sandboxed =
        installApplication(env, QStringLiteral("PelmoraMAS"),
                           QStringLiteral("com.quorvel.Pelmora3.mac"), QStringLiteral("4.0"),
                           QStringLiteral("<key>PelmoraLibraryPath</key><string>%1</string>")
                               .arg(env.path(QStringLiteral("lib"))));
    installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                       QStringLiteral("3.6"));
    markApplicationRunning(sandboxed);
    ImportRun run;
    run.operation->failure = Error();
    auto a = notebook(QStringLiteral("A"));
    // Keep the description: end the run, then read it before the import removed it.
    run.start({a});
    ASSERT_EQ(run.delegate.calls.last(), QStringLiteral("end"));
    const QString container =
        env.dataHome() +
        QStringLiteral(
            "/Containers/com.quorvel.Pelmora3.mac/Data/Library/Application Support/Pelmora 3");
    EXPECT_TRUE(QFile::exists(container + QStringLiteral("/Logs/Evernote Export.log")));
    const QString description = run.description.path();
    ASSERT_TRUE(QFile::exists(description));
    QProcess p;
    p.start(python,
            {QStringLiteral("-c"),
             QStringLiteral(
                 "import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb')); "
                 "f=list(d['Entities']['Folder'].values())[0]; "
                 "print(d['ExporterVersion'], f['name'], f['groupType'], d['Entities']['Item'])"),
             description});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
              QStringLiteral("353 A 70 {}"));
}

TEST(EvernoteExportOperationTest, RefusesMissingOrOldPelmora) {
    TestEnvironment env;
    struct Case {
        QString version;
        long code;
    };
    for (const Case& c : {Case{QStringLiteral("3.4.9"), 10002}, Case{QStringLiteral("2.9"), 10002},
                          Case{QStringLiteral("3.5"), 0}, Case{QStringLiteral("3.5.0"), 0},
                          Case{QStringLiteral("4.0"), 0}}) {
        installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                           c.version);
        PelmoraLookup operation;
        Error error;
        const auto identifier = operation.getPelmoraApplicationBundleIdentifier(&error);
        EXPECT_EQ(identifier.has_value(), c.code == 0) << c.version.toStdString();
        if (c.code) {
            EXPECT_EQ(error.code(), c.code);
            EXPECT_EQ(error.localizedDescription(),
                      QStringLiteral("Pelmora 3.5 or later is required."));
        }
    }
    QDir(env.applicationsDir()).removeRecursively();
    QDir().mkpath(env.applicationsDir());
    installApplication(env, QStringLiteral("Other"), QStringLiteral("com.quorvel.Pelmora3.mac"),
                       QStringLiteral("3.6"));
    QFile::remove(env.applicationsDir() +
                  QStringLiteral("/Other.app/Contents/Info.plist"));  // broken bundle
    installApplication(env, QStringLiteral("Sandboxed"), QStringLiteral("com.quorvel.Pelmora3.mac"),
                       QStringLiteral("3.6"));
    PelmoraLookup operation;
    EXPECT_EQ(operation.getPelmoraApplicationBundleIdentifier().value_or(QString()),
              QStringLiteral("com.quorvel.Pelmora3.mac"));
}

TEST(EvernoteExportOperationTest, OldSandboxedEditionIsRefusedThroughTheDelegate) {
    TestEnvironment env;
    installApplication(env, QStringLiteral("Old"), QStringLiteral("com.quorvel.Pelmora3.mac"),
                       QStringLiteral("3.1"));
    ImportRun run;
    run.start({notebook(QStringLiteral("A"))});
    EXPECT_EQ(run.delegate.calls, QStringList{QStringLiteral("error 10002")});
}

TEST(EvernoteExportOperationTest, SameNotebookNameTwiceStopsWithDirectoryError) {
    TestEnvironment env;
    PelmoraStandIn::setLibraryPathOverride(env.path(QStringLiteral("library")));
    env.writeFile(QStringLiteral("tmp/Evernote/leftover.txt"), "old run");
    ImportRun run;
    run.start({notebook(QStringLiteral("Same")), notebook(QStringLiteral("Same"))});
    PelmoraStandIn::setLibraryPathOverride(QString());
    EXPECT_EQ(run.delegate.calls,
              (QStringList{QStringLiteral("notebook Same 2"), QStringLiteral("error 10004")}));
    EXPECT_EQ(run.delegate.error.localizedDescription(),
              QStringLiteral("Unable to create the temporary directory to export files."));
    EXPECT_FALSE(QFile::exists(env.path(QStringLiteral("tmp/Evernote/leftover.txt"))));
    EXPECT_FALSE(QFile::exists(env.path(QStringLiteral("tmp/Evernote/Evernote.pmlibxml"))));
    const QString log =
        readFile(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to create notebook directory")));
    EXPECT_TRUE(log.contains(QStringLiteral("Error: Error Domain=EvernoteExport Code=10004")));
}

TEST(EvernoteExportOperationTest, ErrorAfterCancellationIsReportedAsCancellation) {
    TestEnvironment env;
    ImportRun run;
    run.operation->failure = Error(QStringLiteral("Test"), 1, QStringLiteral("stopped"));
    run.operation->cancel();  // marked cancelled before the notebook ends
    // A cancelled operation does not start at all through a queue; run it by hand.
    run.operation->setNotebooks({notebook(QStringLiteral("A"))});
    run.operation->setDelegate(&run.delegate);
    OperationQueue worker;
    worker.addOperationWithBlock([op = run.operation] { op->main(); });
    ASSERT_TRUE(runEventLoopUntil([&] { return run.delegate.ended.load(); }));
    worker.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(run.delegate.calls,
              (QStringList{QStringLiteral("notebook A 2"), QStringLiteral("cancel")}));
    EXPECT_FALSE(QFile::exists(env.path(QStringLiteral("tmp/Evernote/Evernote.pmlibxml"))));
}

// Only errors that will fail every later note alike end a run: a full disk,
// a quota or a read-only file system anywhere among the underlying errors, or
// a notebook folder that is gone. A note's own fault does not.
TEST(EvernoteExportOperationTest, OnlyErrorsThatFailEveryLaterNoteEndTheRun) {
    TestEnvironment env;
    EvernoteExportOperation operation;
    const QString folder = env.path(QStringLiteral("notebook"));
    QDir().mkpath(folder);
    const Error own(QStringLiteral("EvernoteXMLResourceErrorDomain"), 2,
                    QStringLiteral("Invalid content data for resource."));
    EXPECT_FALSE(operation.noteErrorEndsRun(own, folder).has_value());
    EXPECT_FALSE(
        operation.noteErrorEndsRun(posixError(ENOENT, folder + QStringLiteral("/x.png")), folder)
            .has_value());
    EXPECT_TRUE(operation.runStopError().isNull());

    for (const int code : {ENOSPC, EDQUOT, EROFS}) {
        const Error write(QStringLiteral("NSCocoaErrorDomain"), 512,
                          QStringLiteral("The file couldn’t be saved."),
                          posixError(code, folder + QStringLiteral("/Note.pmnote")));
        const auto stop =
            operation.noteErrorEndsRun(Error(QStringLiteral("Outer"), 1, QString(), write), folder);
        ASSERT_TRUE(stop.has_value()) << code;
        EXPECT_EQ(stop->code(), EvernoteExportFolderCannotTakeNotes);
        EXPECT_TRUE(stop->localizedDescription().contains(folder));
    }
    // The first stop is the one the run reports.
    EXPECT_EQ(operation.runStopError().underlyingError()->code(), ENOSPC);

    EvernoteExportOperation other;
    QDir(folder).removeRecursively();
    const auto gone = other.noteErrorEndsRun(own, folder);
    ASSERT_TRUE(gone.has_value());
    EXPECT_EQ(gone->underlyingError()->code(), ENOENT);
}
