// The framework's exception handler: when a process that embeds the framework
// dies of an uncaught C++ exception or a fatal signal, it prints a numbered,
// demangled backtrace to standard error and writes a crash log that the crash
// reporter (QVFCrashReportController) offers to send at the next launch.
//
// Linux in place of the desktop platform's exception service:
// - uncaught exceptions reach a std::terminate handler, which names the
//   exception's type and message, prints the backtrace of the throwing thread,
//   then aborts as the default handler would;
// - SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT reach a signal handler on an
//   alternate stack (so a stack overflow is reported too), which prints the
//   backtrace and then lets the signal kill the process as it would have.
// Frames are symbolised by addr2line (binutils, or elfutils' eu-addr2line),
// run in a child process that reads this process's memory map; without it,
// glibc's backtrace_symbols_fd prints module, mangled symbol and address.
//
// Crash logs go to crashLogDirectory() as "<AppName>_<date>_<host>.crash",
// the date in UTC as "yyyy-MM-dd-HHmmss" and the host name up to its first
// period. A second crash in the same second appends a report to the same
// file, after a line of 80 asterisks framed by blank lines, the separator the
// crash reporter splits on.
//
// Signal safety: everything the handlers need (paths, host name, the
// symboliser's command line) is prepared when the handler is installed; the
// signal path only uses async-signal-safe calls and fixed buffers, and never
// allocates.
#pragma once

#include <QString>

#include "Quorvel/QVFExport.h"

class QUORVEL_EXPORT QVFExceptionHandler {
  public:
    // The process's one handler, installed on first use (terminate handler,
    // fatal signals, crash-log folder created). Call it early, on the main
    // thread, once the application's Info.plist resource is available (its
    // name names the crash logs). The handler lives until the process ends.
    static QVFExceptionHandler& sharedHandler();

    QVFExceptionHandler(const QVFExceptionHandler&) = delete;
    QVFExceptionHandler& operator=(const QVFExceptionHandler&) = delete;

    // Where crash logs of this framework go: $XDG_STATE_HOME/Quorvel/CrashReporter.
    static QString crashLogDirectory();
    // Where reports collected from the system go (for example exported from
    // coredumpctl by the host): $XDG_STATE_HOME/Quorvel/DiagnosticReports.
    static QString diagnosticReportsDirectory();

    // The symboliser found at installation (a path to addr2line or
    // eu-addr2line), or empty when frames are printed by backtrace_symbols_fd.
    QString symbolizerPath() const;

  private:
    QVFExceptionHandler();
};
