// The exception handler in a real crash: a child program that embeds the
// framework crashes on purpose, and its output, its crash log and the next
// launch's check are examined.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include "Quorvel/QVFCrashReportController.h"
#include "Quorvel/QVFExceptionHandler.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/AddressSanitizer.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct ChildRun {
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = 0;
    QString out;
    QString err;
};

ChildRun runCrashingProgram(const QString& mode, const QProcessEnvironment& environment) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(QUORVEL_CRASHING_PROGRAM), {mode});
    EXPECT_TRUE(child.waitForFinished(60000)) << mode.toStdString();
    return {child.exitStatus(), child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()),
            QString::fromUtf8(child.readAllStandardError())};
}

QString crashLogText() {
    const QDir folder(QVFExceptionHandler::crashLogDirectory());
    QString text;
    for (const QString& name : folder.entryList({"Ferrymark_*.crash"}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
    }
    return text;
}

QStringList crashLogNames() {
    return QDir(QVFExceptionHandler::crashLogDirectory())
        .entryList({"Ferrymark_*.crash"}, QDir::Files, QDir::Name);
}

class ExceptionHandler : public ::testing::Test {
  protected:
    void SetUp() override {
        if (kBuiltWithAddressSanitizer)
            GTEST_SKIP() << "the sanitizer owns fatal signals and malloc";
        // An earlier check, so that the next launch's check looks for new logs.
        ASSERT_TRUE(UserDefaults::standard().setObject(
            PlistValue(static_cast<double>(static_cast<float>(700000000.0))),
            QStringLiteral("QVFCrashReporterLastCrashReportDate")));
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("QT_QPA_PLATFORM", "offscreen");
    }

    TestEnvironment env_;
    QProcessEnvironment environment_;
};

}  // namespace

TEST_F(ExceptionHandler, CrashesLeaveBacktracesAndALogThatTheNextLaunchFinds) {
    if (QStandardPaths::findExecutable("addr2line").isEmpty() &&
        QStandardPaths::findExecutable("eu-addr2line").isEmpty())
        GTEST_SKIP() << "no addr2line to symbolise with";

    const ChildRun segv = runCrashingProgram("segv", environment_);
    EXPECT_EQ(segv.status, QProcess::CrashExit);
    EXPECT_EQ(segv.exitCode, SIGSEGV);
    EXPECT_TRUE(segv.err.contains("Reason:   signal 11 (SIGSEGV) at address 0x0"))
        << segv.err.toStdString();
    EXPECT_TRUE(segv.err.contains(QRegularExpression("\n +1  \\S"))) << segv.err.toStdString();
    EXPECT_TRUE(segv.err.contains("writeThroughNullPointer()")) << segv.err.toStdString();
    EXPECT_TRUE(segv.err.contains("QuorvelCrashingProgram.cpp:")) << segv.err.toStdString();

    const ChildRun thrown = runCrashingProgram("throw", environment_);
    EXPECT_EQ(thrown.status, QProcess::CrashExit);
    EXPECT_EQ(thrown.exitCode, SIGABRT);
    EXPECT_TRUE(
        thrown.err.contains("Reason:   uncaught exception of type std::runtime_error: "
                            "deliberate failure for the crash test"))
        << thrown.err.toStdString();
    EXPECT_TRUE(thrown.err.contains("throwDeliberately()")) << thrown.err.toStdString();
    // The abort that ends the terminate handler is not reported a second time.
    EXPECT_FALSE(thrown.err.contains("SIGABRT")) << thrown.err.toStdString();

    // Standard error and the crash logs tell the same story.
    const QString logs = crashLogText();
    EXPECT_TRUE(logs.contains("writeThroughNullPointer()"));
    EXPECT_TRUE(logs.contains("throwDeliberately()"));
    EXPECT_TRUE(logs.contains("Process:  Ferrymark ["));

    // The next launch finds the newest report.
    const ChildRun check = runCrashingProgram("check", environment_);
    EXPECT_EQ(check.status, QProcess::NormalExit);
    EXPECT_TRUE(check.out.startsWith("found\n")) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains("deliberate failure for the crash test"));
    EXPECT_FALSE(check.out.contains("SIGSEGV"));
}

// The crashing thread may not allocate once it has crashed: the child's malloc
// ends it with status 99 if the handler does.
TEST_F(ExceptionHandler, TheSignalPathDoesNotAllocate) {
    const ChildRun segv = runCrashingProgram("segv-no-allocation", environment_);
    EXPECT_FALSE(segv.err.contains("allocation in the signal path")) << segv.err.toStdString();
    EXPECT_EQ(segv.status, QProcess::CrashExit);
    EXPECT_EQ(segv.exitCode, SIGSEGV);
    EXPECT_TRUE(segv.err.contains("writeThroughNullPointer()") ||
                QStandardPaths::findExecutable("addr2line").isEmpty());
    EXPECT_TRUE(crashLogText().contains("SIGSEGV"));
}

// The handler runs on its own stack, so a stack overflow is reported too.
TEST_F(ExceptionHandler, AStackOverflowIsReported) {
    const ChildRun overflow = runCrashingProgram("overflow", environment_);
    EXPECT_EQ(overflow.status, QProcess::CrashExit);
    EXPECT_EQ(overflow.exitCode, SIGSEGV);
    EXPECT_TRUE(overflow.err.contains("Reason:   signal 11 (SIGSEGV)"))
        << overflow.err.toStdString();
    EXPECT_TRUE(crashLogText().contains("Backtrace:\n   1  "));
}

// Without a symboliser the frames come from backtrace_symbols_fd.
TEST_F(ExceptionHandler, WithoutAddr2lineFramesComeFromTheLoader) {
    environment_.insert("PATH", env_.path("empty-bin"));
    const ChildRun segv = runCrashingProgram("segv", environment_);
    EXPECT_EQ(segv.status, QProcess::CrashExit);
    EXPECT_TRUE(
        segv.err.contains(QRegularExpression("\n +[0-9]+  \\S*quorvel_crashing_program\\(")))
        << segv.err.toStdString();
    EXPECT_TRUE(segv.err.contains(QRegularExpression("\\[0x[0-9a-f]+\\]\n")));
    EXPECT_TRUE(crashLogText().contains("SIGSEGV"));
}

// A program that checks for crashes before it makes its application object,
// started without a display: making a window there would abort, and the abort
// would be the next launch's report. The report waits instead, one line names
// it, no new report appears, and a launch with a display still offers it.
TEST_F(ExceptionHandler, WithoutADisplayAWaitingReportIsKeptAndTheProgramGoesOn) {
    const QString waiting =
        QDir(QVFExceptionHandler::crashLogDirectory()).filePath("Ferrymark_earlier.crash");
    QDir().mkpath(QVFExceptionHandler::crashLogDirectory());
    QFile log(waiting);
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("the earlier crash");
    log.close();
    QProcessEnvironment headless = environment_;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(name);

    for (int launch = 0; launch < 2; ++launch) {
        const ChildRun run = runCrashingProgram("launch", headless);
        EXPECT_EQ(run.status, QProcess::NormalExit) << run.err.toStdString();
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "found\n");
        EXPECT_EQ(run.err.count(waiting), 1) << run.err.toStdString();
    }
    // A command-line program cannot show the window even with a display.
    const ChildRun commandLine = runCrashingProgram("launch-cli", environment_);
    EXPECT_EQ(commandLine.status, QProcess::NormalExit) << commandLine.err.toStdString();
    EXPECT_EQ(commandLine.out, "found\n");
    EXPECT_TRUE(commandLine.err.contains(waiting)) << commandLine.err.toStdString();
    EXPECT_EQ(crashLogNames(), QStringList({"Ferrymark_earlier.crash"}));

    QString shownLog;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<QVFCrashReportController*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        shownLog = window->crashReportLog();
        window->cancel();
    });
    EXPECT_TRUE(QVFCrashReportController::checkForCrashAndReport(true));
    EXPECT_TRUE(shownLog.contains("the earlier crash")) << shownLog.toStdString();
}
