// A program that embeds the framework and crashes on purpose, for the crash
// tests. It runs in a child process of the test, with the test's folders.
//   segv    installs the exception handler and writes through a null pointer
//   throw   installs the exception handler and lets an exception escape main
//   check   runs the launch check without the window and prints "found" or
//           "none", then the collected report text
#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <stdexcept>

#include "Quorvel/QVFCrashReportController.h"
#include "Quorvel/QVFExceptionHandler.h"
#include "Quorvel/QVFLogManager.h"
#include "platform/foundation/UserDefaults.h"

namespace {

// Null, but the compiler cannot know it, so the write below really happens.
int* volatile nowhere = nullptr;

// Not inlined, so that the backtrace names them.
[[gnu::noinline]] void writeThroughNullPointer() { *nowhere = 42; }

[[gnu::noinline]] void throwDeliberately() {
    throw std::runtime_error("deliberate failure for the crash test");
}

int check() {
    const bool found = QVFCrashReportController::checkForCrashAndReport(false);
    QTextStream out(stdout);
    out << (found ? "found" : "none") << '\n';
    const double lastCheck =
        UserDefaults::standard()
            .objectForKey(QStringLiteral("QVFCrashReporterLastCrashReportDate"))
            .toReal();
    out << QVFCrashReportController::crashReportText(QVFCrashReportController::getLatestCrashLogs(),
                                                     lastCheck);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QString mode = argc > 1 ? QString::fromUtf8(argv[1]) : QString();
    if (mode == QLatin1String("check")) return check();
    QVFExceptionHandler::sharedHandler();
    if (mode == QLatin1String("segv")) writeThroughNullPointer();
    if (mode == QLatin1String("throw")) throwDeliberately();
    std::fputs("usage: quorvel_crashing_program segv|throw|check\n", stderr);
    return 2;
}
