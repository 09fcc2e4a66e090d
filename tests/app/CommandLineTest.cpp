#include <Quorvel/QVFCrashReportController.h>
#include <Quorvel/QVFExceptionHandler.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "app/CommandLine.h"
#include "app/DefaultsCommand.h"
#include "app/ImportCommand.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/AddressSanitizer.h"
#include "tests/support/Applications.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/RefusingLibrary.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Output {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

int defaults(Output& o, const QStringList& args) {
    return runDefaultsCommand(args, o.outStream, o.errStream);
}

}  // namespace

TEST(DefaultsCommandTest, WritesReadsAndDeletesTypedValues) {
    TestEnvironment env;
    Output o;
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("com.quorvel.Ferrymark"),
                           QStringLiteral("ExportDebug"), QStringLiteral("YES")}),
              0);
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("com.quorvel.Pelmora3"),
                           QStringLiteral("DefaultNoteFontSize"), QStringLiteral("-float"),
                           QStringLiteral("14")}),
              0);
    EXPECT_TRUE(UserDefaults(QStringLiteral("com.quorvel.Ferrymark"))
                    .boolForKey(QStringLiteral("ExportDebug")));
    EXPECT_EQ(UserDefaults(QStringLiteral("com.quorvel.Pelmora3"))
                  .objectForKey(QStringLiteral("DefaultNoteFontSize"))
                  .type(),
              PlistValue::Type::Real);
    EXPECT_EQ(defaults(o, {QStringLiteral("read"), QStringLiteral("com.quorvel.Ferrymark"),
                           QStringLiteral("ExportDebug")}),
              0);
    EXPECT_EQ(o.out, QStringLiteral("1\n"));
    EXPECT_EQ(defaults(o, {QStringLiteral("delete"), QStringLiteral("com.quorvel.Ferrymark"),
                           QStringLiteral("ExportDebug")}),
              0);
    EXPECT_EQ(defaults(o, {QStringLiteral("read"), QStringLiteral("com.quorvel.Ferrymark"),
                           QStringLiteral("ExportDebug")}),
              1);
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("com.quorvel.Ferrymark")}), 2);
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("d"), QStringLiteral("k"),
                           QStringLiteral("-int"), QStringLiteral("x")}),
              2);
}

TEST(ImportCommandTest, BadInputGivesAClearErrorAndWritesNothing) {
    TestEnvironment env;
    PelmoraStandIn::setLibraryPathOverride(env.path(QStringLiteral("library")));
    const QString binary =
        env.writeFile(QStringLiteral("binary.enex"), QByteArray("\x00\x01\xff\xfe garbage", 12));
    const QString empty = env.writeFile(QStringLiteral("empty.enex"), QByteArray());
    QByteArray truncated = buildENEX({{QStringLiteral("T"), QStringLiteral("<div>text</div>")}});
    truncated.chop(40);
    const QString cut = env.writeFile(QStringLiteral("cut.enex"), truncated);
    QDir().mkpath(env.path(QStringLiteral("folder.enex")));
    const struct {
        QString path;
        int status;
    } cases[] = {{env.path(QStringLiteral("missing.enex")), 1},
                 {env.path(QStringLiteral("folder.enex")), 1},
                 {binary, 1},
                 {empty, 1},
                 {cut, 1},
                 {QString(), 2}};
    for (const auto& c : cases) {
        Output o;
        QStringList args;
        if (!c.path.isEmpty()) args << c.path;
        EXPECT_EQ(runImportCommand(args, o.outStream, o.errStream), c.status)
            << c.path.toStdString();
        EXPECT_FALSE(QFile::exists(env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
        EXPECT_FALSE(QDir(env.path(QStringLiteral("library"))).exists()) << c.path.toStdString();
    }
    PelmoraStandIn::setLibraryPathOverride(QString());
}

TEST(ImportCommandTest, ImportsAFileAndSaysWhereTheItemsWent) {
    TestEnvironment env;
    const QString file =
        env.writeFile(QStringLiteral("Notes.enex"),
                      buildENEX({{QStringLiteral("Hello"), QStringLiteral("<div>world</div>")}}));
    Output o;
    const QString library = env.path(QStringLiteral("library"));
    EXPECT_EQ(
        runImportCommand({file, QStringLiteral("--library"), library}, o.outStream, o.errStream), 0)
        << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Exporting notes from \"Notes.enex\"")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("1 of 1 notes exported")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("Imported 1 of 1 notes into ") + library));
    EXPECT_TRUE(QDir(library + QStringLiteral("/Notes/Hello.pmnote")).exists());
    PelmoraStandIn::setLibraryPathOverride(QString());
}

namespace {

QString importLog(const TestEnvironment& env) {
    QFile f(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TestNote pdfNote(const QString& title) {
    TestNote note{title, QStringLiteral("%MEDIA0%")};
    note.attachments = {{title.toUtf8() + " bytes", QStringLiteral("application/pdf"),
                         title + QStringLiteral(".pdf")}};
    return note;
}

}  // namespace

// A note whose conversion fails is skipped (here its attachment is larger than
// this process may write): the summary says so, and the run exits 3, never 0.
TEST(ImportCommandTest, SkippedNoteGivesExitStatusThree) {
    TestEnvironment env;
    TestNote big = pdfNote(QStringLiteral("Broken"));
    big.attachments.first().bytes = QByteArray(2 * 1024 * 1024, 'x');
    const QByteArray enex = buildENEX({pdfNote(QStringLiteral("Fine")), big});
    const QString file = env.writeFile(QStringLiteral("Notes.enex"), enex);
    FileSizeLimit limit(1024 * 1024);
    Output o;
    const QString library = env.path(QStringLiteral("library"));
    EXPECT_EQ(
        runImportCommand({file, QStringLiteral("--library"), library}, o.outStream, o.errStream), 3)
        << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Imported 1 of 2 notes into ") + library))
        << o.out.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("1 notes were skipped")));
    // The reason follows, as the window's alert gives it.
    EXPECT_TRUE(o.out.contains(QStringLiteral("\n  “Broken” was skipped: ")))
        << o.out.toStdString();
    EXPECT_FALSE(o.out.contains(QStringLiteral("“Fine”")));
    PelmoraStandIn::setLibraryPathOverride(QString());
}

// With --recover a damaged note and a file that is not ENEX end neither their
// file nor the run: the summary gives a line per damaged file accounting for
// its notes, and the run exits 3. Without it the first error ends the run (1).
TEST(ImportCommandTest, RecoverImportsPastDamageAndExitsThree) {
    TestEnvironment env;
    QByteArray enex = buildENEX({pdfNote(QStringLiteral("One")), pdfNote(QStringLiteral("Two")),
                                 pdfNote(QStringLiteral("Three"))});
    enex.replace("<title>Two</title>", "<title>Two</title><created>x</wrong>");
    const QString damaged = env.writeFile(QStringLiteral("Damaged.enex"), enex);
    const QString junk = env.writeFile(QStringLiteral("Junk.enex"), "not XML\n");
    const QString library = env.path(QStringLiteral("library"));
    Output without;
    EXPECT_EQ(runImportCommand({damaged, junk, QStringLiteral("--library"), library},
                               without.outStream, without.errStream),
              1);
    Output o;
    EXPECT_EQ(runImportCommand({damaged, junk, QStringLiteral("--library"), library,
                                QStringLiteral("--recover")},
                               o.outStream, o.errStream),
              3)
        << o.err.toStdString();
    UserDefaults::standard().setVolatileValue(PlistValue(), QStringLiteral("RecoverDamagedNotes"));
    EXPECT_TRUE(o.out.contains(QStringLiteral("Imported 2 of ")));
    EXPECT_TRUE(o.out.contains(damaged + QStringLiteral(": 3 notes found: 2 imported, 0 repaired, "
                                                        "1 lost to damage, 0 skipped.")))
        << o.out.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("“") + junk +
                               QStringLiteral("” could not be read as an ENEX file")));
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Damaged/One.pdf")));
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Damaged/Three.pdf")));
    PelmoraStandIn::setLibraryPathOverride(QString());
}

// An item the library refuses (here its index entry cannot be written) is not
// counted as imported, stays in the staging folder, is named in the log with
// the reason, and the run exits 3.
TEST(ImportCommandTest, RefusedItemStaysInStagingAndGivesExitStatusThree) {
    TestEnvironment env;
    const QString library = env.path(QStringLiteral("library"));
    ASSERT_TRUE(makeLibraryThatRefusesItem(library, QStringLiteral("Refused"),
                                           QStringLiteral("database or disk is full")));
    const QString file = env.writeFile(
        QStringLiteral("Notes.enex"),
        buildENEX({pdfNote(QStringLiteral("Taken")), pdfNote(QStringLiteral("Refused"))}));
    Output o;
    EXPECT_EQ(
        runImportCommand({file, QStringLiteral("--library"), library}, o.outStream, o.errStream), 3)
        << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Imported 1 of 2 notes into ") + library))
        << o.out.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("1 notes were refused by the library")));
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Notes/Taken.pdf")));
    EXPECT_FALSE(QFile::exists(library + QStringLiteral("/Notes/Refused.pdf")));
    EXPECT_TRUE(QFile::exists(env.tempDir() + QStringLiteral("/Evernote/Notes/Refused.pdf")));
    const QString log = importLog(env);
    EXPECT_TRUE(log.contains(QStringLiteral("Not imported by Pelmora: Refused (")));
    EXPECT_TRUE(log.contains(QStringLiteral("database or disk is full")));

    // The next run sets the unfinished staging folder aside instead of deleting it.
    Output again;
    runImportCommand({file, QStringLiteral("--library"), library}, again.outStream,
                     again.errStream);
    const QStringList aside =
        QDir(env.tempDir()).entryList({QStringLiteral("Evernote (not imported *")}, QDir::Dirs);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(
        QFile::exists(env.tempDir() + u'/' + aside.first() + QStringLiteral("/Notes/Refused.pdf")));
    PelmoraStandIn::setLibraryPathOverride(QString());
}

// The command line runs with the framework's exception handler: an import that
// dies of a fatal signal (here sent while it waits for its ENEX file, a pipe
// that the test holds) leaves a crash log, which the next window launch's
// check finds, even when the window never ran before.
TEST(CommandLineCrashTest, ACrashOfTheCommandLineIsOfferedByTheNextWindowLaunch) {
    if (kBuiltWithAddressSanitizer) GTEST_SKIP() << "the sanitizer owns fatal signals";
    TestEnvironment env;
    const QString pipe = env.path(QStringLiteral("Notes.enex"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QProcess child;
    child.start(QStringLiteral(FERRYMARK_PROGRAM), {QStringLiteral("import"), pipe});
    ASSERT_TRUE(child.waitForStarted());
    // Opening the pipe for writing succeeds once the import has opened it to read.
    int writer = -1;
    while (writer < 0 && child.state() != QProcess::NotRunning) {
        writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (writer < 0) child.waitForFinished(10);
    }
    ASSERT_GE(writer, 0) << child.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGSEGV);
    ASSERT_TRUE(child.waitForFinished(60000));
    ::close(writer);
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    const QStringList logs = QDir(QVFExceptionHandler::crashLogDirectory())
                                 .entryList({QStringLiteral("Ferrymark_*.crash")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    // The command line made the crash reporter's first check, so that this
    // crash counts as new for the window...
    const PlistValue firstCheck =
        UserDefaults(QStringLiteral("com.quorvel.Ferrymark"))
            .objectForKey(QStringLiteral("QVFCrashReporterLastCrashReportDate"));
    ASSERT_FALSE(firstCheck.isNull());
    // ...and the window's check finds it (the time set back past the stored
    // time's float rounding, which is the reporter's own).
    const double anHourAgo = double(QDateTime::currentSecsSinceEpoch() - 3600 - 978307200);
    ASSERT_TRUE(UserDefaults::standard().setObject(
        PlistValue(anHourAgo), QStringLiteral("QVFCrashReporterLastCrashReportDate")));
    EXPECT_TRUE(QVFCrashReportController::checkForCrashAndReport(false));
    EXPECT_TRUE(QVFCrashReportController::getLatestCrashLogs().join(u' ').contains(logs.first()));
}

// Pid files or lock files left behind name processes that may be alive now
// (pid 1 and this test's parent are): they make neither application running,
// so the import goes to the installed Pelmora's configured library, and the
// log names its version, not the Evernote stand-in's.
TEST(ImportCommandTest, StaleProcessIdentifiersDoNotMisleadTheLookup) {
    TestEnvironment env;
    installApplication(env, QStringLiteral("Evernote"), QStringLiteral("com.evernote.Evernote"),
                       QStringLiteral("10.0"));
    installApplication(env, QStringLiteral("Pelmora"), QStringLiteral("com.quorvel.Pelmora3"),
                       QStringLiteral("3.7"),
                       QStringLiteral("<key>PelmoraLibraryPath</key><string>%1</string>")
                           .arg(env.path(QStringLiteral("configured"))));
    for (const qint64 pid : {qint64(1), qint64(::getppid())}) {
        for (const QString& name : {QStringLiteral("Evernote"), QStringLiteral("Pelmora")})
            for (const QString& file : {QStringLiteral("pid"), QStringLiteral("lock")})
                env.writeFile(QStringLiteral("Applications/%1.app/Contents/%2").arg(name, file),
                              QByteArray::number(pid));
        const QString enex = env.writeFile(
            QStringLiteral("Notes %1.enex").arg(pid),
            // A note of its own each time: the same note again would be left out as a duplicate.
            buildENEX({{QStringLiteral("Hello"), QStringLiteral("<div>world %1</div>").arg(pid)}}));
        Output o;
        EXPECT_EQ(runImportCommand({enex}, o.outStream, o.errStream), 0) << o.err.toStdString();
        EXPECT_TRUE(
            QDir(env.path(QStringLiteral("configured/Notes %1/Hello.pmnote").arg(pid))).exists())
            << o.out.toStdString();
        EXPECT_TRUE(importLog(env).contains(QStringLiteral(" Pelmora Version 3.7 ")))
            << importLog(env).toStdString();
    }
    EXPECT_FALSE(QDir(env.dataHome() + QStringLiteral("/Pelmora 3/Library")).exists());
}

// The words that open the window on a desktop: none, or files (as the desktop
// entry's "Open with" passes them); a command or an option is the command line's.
TEST(FilesToOpenInWindowTest, FilesOpenTheWindowAndCommandsOrOptionsDoNot) {
    const QString program = QStringLiteral("ferrymark");
    EXPECT_EQ(filesToOpenInWindow({program}), QStringList{});
    EXPECT_EQ(filesToOpenInWindow(
                  {program, QStringLiteral("/tmp/a b.enex"), QStringLiteral("/tmp/c.enex")}),
              (QStringList{QStringLiteral("/tmp/a b.enex"), QStringLiteral("/tmp/c.enex")}));
    // A relative name is the current folder's: the window changes no folder, but
    // the import runs later.
    EXPECT_EQ(filesToOpenInWindow({program, QStringLiteral("Notes.enex")}),
              QStringList{QDir::current().absoluteFilePath(QStringLiteral("Notes.enex"))});
    for (const QString& command : {QStringLiteral("import"), QStringLiteral("notebooks"),
                                   QStringLiteral("import-notebooks"), QStringLiteral("defaults")})
        EXPECT_EQ(filesToOpenInWindow({program, command, QStringLiteral("/tmp/a.enex")}),
                  std::nullopt)
            << command.toStdString();
    EXPECT_EQ(filesToOpenInWindow({program, QStringLiteral("--version")}), std::nullopt);
    EXPECT_EQ(filesToOpenInWindow({program, QStringLiteral("/tmp/a.enex"), QStringLiteral("-h")}),
              std::nullopt);
    // After "--" every word is a file, a command's name and a dash too.
    EXPECT_EQ(filesToOpenInWindow({program, QStringLiteral("--"), QStringLiteral("/tmp/import"),
                                   QStringLiteral("/tmp/-x")}),
              (QStringList{QStringLiteral("/tmp/import"), QStringLiteral("/tmp/-x")}));
    // A command's name after a file is a file too.
    EXPECT_EQ(filesToOpenInWindow(
                  {program, QStringLiteral("/tmp/a.enex"), QStringLiteral("/tmp/import")}),
              (QStringList{QStringLiteral("/tmp/a.enex"), QStringLiteral("/tmp/import")}));
}

// Without a display a file is no command: the usage, status 2, and nothing imported.
TEST(FilesToOpenInWindowTest, WithoutADisplayAFileGivesTheUsage) {
    TestEnvironment env;
    const QString file = env.writeFile(
        QStringLiteral("Lone.enex"),
        buildENEX({TestNote{QStringLiteral("Lone"), QStringLiteral("<div>x</div>")}}));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(FERRYMARK_PROGRAM), {file});
    ASSERT_TRUE(child.waitForFinished(120000));
    EXPECT_EQ(child.exitCode(), 2);
    EXPECT_TRUE(child.readAllStandardError().contains("usage:"));
    EXPECT_FALSE(QDir(env.dataHome() + QStringLiteral("/Pelmora 3/Library/Lone")).exists());
}

// Importing the same file twice: the second run imports nothing, says how many
// notes the library held already, and exits 0 (nothing is missing); with
// --allow-duplicates every note is imported again.
TEST(ImportCommandTest, ImportingTheSameFileAgainAddsNothingAndExitsZero) {
    TestEnvironment env;
    const QString file =
        env.writeFile(QStringLiteral("Notes.enex"),
                      buildENEX({pdfNote(QStringLiteral("One")),
                                 {QStringLiteral("Two"), QStringLiteral("<div>two</div>")}}));
    const QString library = env.path(QStringLiteral("library"));
    const QStringList args{file, QStringLiteral("--library"), library};
    Output first;
    ASSERT_EQ(runImportCommand(args, first.outStream, first.errStream), 0)
        << first.err.toStdString();
    Output again;
    EXPECT_EQ(runImportCommand(args, again.outStream, again.errStream), 0)
        << again.err.toStdString() << again.out.toStdString();
    EXPECT_TRUE(again.out.contains(QStringLiteral("Imported 0 of 2 notes into ") + library))
        << again.out.toStdString();
    EXPECT_TRUE(again.out.contains(
        QStringLiteral("2 notes were already in the library and were not imported again")))
        << again.out.toStdString();
    EXPECT_TRUE(importLog(env).contains(QStringLiteral("Duplicate, not imported: \"One\"")));
    EXPECT_FALSE(QFile::exists(library + QStringLiteral("/Notes 2")));

    Output allowed;
    EXPECT_EQ(runImportCommand(args + QStringList{QStringLiteral("--allow-duplicates")},
                               allowed.outStream, allowed.errStream),
              0)
        << allowed.err.toStdString();
    UserDefaults::standard().setVolatileValue(PlistValue(), QStringLiteral("AllowDuplicates"));
    EXPECT_TRUE(allowed.out.contains(QStringLiteral("Imported 2 of 2 notes into ") + library))
        << allowed.out.toStdString();
    EXPECT_FALSE(allowed.out.contains(QStringLiteral("already in the library")));
    EXPECT_TRUE(QFile::exists(library + QStringLiteral("/Notes 2/One.pdf")));
    PelmoraStandIn::setLibraryPathOverride(QString());
}
