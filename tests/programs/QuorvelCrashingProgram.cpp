// A program that embeds the framework and crashes on purpose, for the crash
// tests. It runs in a child process of the test, with the test's folders.
//   segv    installs the exception handler and writes through a null pointer
//   segv-no-allocation  the same, with every allocation on the crashing
//           thread from then on ending the program with status 99 and the
//           message "allocation in the signal path"
//   overflow  installs the exception handler and recurses until the stack
//           runs out
//   throw   installs the exception handler and lets an exception escape main
//   check   runs the launch check without the window and prints "found" or
//           "none", then the collected report text
//   launch  installs the exception handler and runs the launch check with
//           the window before any application object exists, as a program
//           that checks first thing does; prints "found" or "none"
//   launch-cli  the same in a command-line program (a QCoreApplication)
#include <unistd.h>

#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <stdexcept>

#include "Quorvel/QVFCrashReportController.h"
#include "Quorvel/QVFExceptionHandler.h"
#include "Quorvel/QVFLogManager.h"
#include "platform/foundation/UserDefaults.h"

// This program's malloc family stands in for glibc's (which allows that), so
// that an allocation on the crashing thread after the crash can be caught.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

thread_local bool allocationForbidden = false;

void failIfForbidden() {
    if (!allocationForbidden) return;
    static const char message[] = "allocation in the signal path\n";
    ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(99);
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
    failIfForbidden();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    failIfForbidden();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    failIfForbidden();
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
    failIfForbidden();
    return __libc_memalign(alignment, size);
}
}

namespace {

// Null, but the compiler cannot know it, so the write below really happens.
int* volatile nowhere = nullptr;

// Not inlined, so that the backtrace names them.
[[gnu::noinline]] void writeThroughNullPointer() { *nowhere = 42; }

// Never reached; the compiler cannot know, so the recursion below is not
// flagged as endless.
volatile int unreachableDepth = -1;

// Each call keeps a frame alive until the stack runs out.
[[gnu::noinline]] int recurseForever(int depth) {
    if (depth == unreachableDepth) return 0;
    volatile char frame[512];
    frame[depth % sizeof frame] = static_cast<char>(depth);
    return recurseForever(depth + 1) + frame[0];
}

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

int launch() {
    QVFExceptionHandler::sharedHandler();
    const bool found = QVFCrashReportController::checkForCrash();
    std::fputs(found ? "found\n" : "none\n", stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromUtf8(argv[1]) : QString();
    if (mode == QLatin1String("launch")) return launch();
    if (mode == QLatin1String("launch-cli")) {
        QCoreApplication application(argc, argv);
        return launch();
    }
    QApplication application(argc, argv);
    if (mode == QLatin1String("check")) return check();
    QVFExceptionHandler::sharedHandler();
    if (mode == QLatin1String("segv")) writeThroughNullPointer();
    if (mode == QLatin1String("segv-no-allocation")) {
        allocationForbidden = true;
        writeThroughNullPointer();
    }
    if (mode == QLatin1String("overflow")) return recurseForever(0);
    if (mode == QLatin1String("throw")) throwDeliberately();
    std::fputs(
        "usage: quorvel_crashing_program "
        "segv|segv-no-allocation|overflow|throw|check|launch|launch-cli\n",
        stderr);
    return 2;
}
