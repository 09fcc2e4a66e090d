#include "Quorvel/QVFExceptionHandler.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/StandardPaths.h"

extern char** environ;

namespace {

constexpr int kMaxFrames = 64;
constexpr size_t kPathCapacity = 4096;
// A symboliser that has printed nothing for this long is given up on.
constexpr int kSymbolizerSilenceMs = 10000;
const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// The symboliser's script, run by /bin/sh with the tool, the crashed process's
// id and the return addresses. awk finds each address's mapped file in
// /proc/<pid>/maps and its offset from the file's load base (one byte back
// for a return address, so that the call itself is named); the tool names the
// function and source line; each frame becomes one numbered line.
constexpr const char kSymbolizerScript[] = R"sh(tool=$1; pid=$2; shift 2
awk -v addresses="$*" '
function hex(s,   i, n) {
  s = tolower(s); sub(/^0x/, "", s); n = 0
  for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
  return n
}
{
  split($1, range, "-"); count++; low[count] = hex(range[1]); high[count] = hex(range[2])
  file = $0; for (k = 1; k <= 5; k++) sub(/^[^ ]+ +/, "", file)
  if (NF < 6) file = ""
  if (hex($3) == 0) { base = low[count]; basePath = file }
  path[count] = (file != "" && file == basePath) ? file : ""; start[count] = base
}
END {
  n = split(addresses, list, " ")
  for (i = 1; i <= n; i++) {
    a = hex(list[i]); module = ""; offset = 0
    for (j = 1; j <= count; j++) if (a >= low[j] && a < high[j]) {
      module = path[j]; if (module != "") offset = a - start[j] - (i > 1 ? 1 : 0); break
    }
    printf "%d %s 0x%x %s\n", i, list[i], offset, module
  }
}' "/proc/$pid/maps" | while read -r n address lookup module; do
  function='??'; location=
  if [ -n "$module" ] && [ -r "$module" ]; then
    { read -r function; read -r location; } <<EOF
$("$tool" -f -C -e "$module" "$lookup" 2>/dev/null)
EOF
  fi
  case $location in ''|'??:0'|'??:?') where= ;; *) where=" at $location" ;; esac
  printf '%4d  %s%s (%s) [%s]\n' "$n" "${function:-??}" "$where" "${module##*/}" "$address"
done
)sh";

// Everything the handlers need, prepared at installation so that the signal
// path only reads it.
struct CrashState {
    char applicationName[256] = "";
    char logPathPrefix[kPathCapacity] = "";  // "<folder>/<AppName>_"
    char logPathSuffix[300] = "";            // "_<host>.crash"
    char hostName[256] = "";
    char executablePath[kPathCapacity] = "";
    char symbolizer[kPathCapacity] = "";  // "" without one
    std::atomic<long> handlingThread{0};  // the thread reporting a crash, or 0
};
CrashState gState;

// ---- Async-signal-safe output -------------------------------------------------

void writeAll(int fd, const char* text, size_t length) {
    if (fd < 0) return;
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written <= 0) return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

// Writes to standard error and, when open, the crash log.
struct CrashOutput {
    int logFd = -1;
    void write(const char* text, size_t length) const {
        writeAll(STDERR_FILENO, text, length);
        writeAll(logFd, text, length);
    }
    void write(const char* text) const { write(text, std::strlen(text)); }
};

// Appends `text` to the buffer at *cursor, never past `end` (one byte is kept
// for the terminating zero).
void append(char*& cursor, char* end, const char* text) {
    while (*text && cursor + 1 < end) *cursor++ = *text++;
    *cursor = '\0';
}

void appendNumber(char*& cursor, char* end, unsigned long long value, unsigned base, int width) {
    char digits[32];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value > 0 && count < 32);
    while (count < width && count < 32) digits[count++] = '0';
    while (count > 0 && cursor + 1 < end) *cursor++ = digits[--count];
    *cursor = '\0';
}

// Proleptic Gregorian date of a count of days since 1970-01-01.
void civilFromDays(long long days, int* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = static_cast<int>(static_cast<long long>(yearOfEra) + era * 400 + (*month <= 2));
}

// The current UTC time as "yyyy-MM-dd<between>HHmmss" with `timeSeparator`
// between hours, minutes and seconds.
void appendDate(char*& cursor, char* end, const char* between, const char* timeSeparator) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long seconds = now.tv_sec;
    const long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const long long secondOfDay = seconds - days * 86400;
    int year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, &year, &month, &day);
    appendNumber(cursor, end, static_cast<unsigned long long>(year), 10, 4);
    append(cursor, end, "-");
    appendNumber(cursor, end, month, 10, 2);
    append(cursor, end, "-");
    appendNumber(cursor, end, day, 10, 2);
    append(cursor, end, between);
    appendNumber(cursor, end, static_cast<unsigned long long>(secondOfDay / 3600), 10, 2);
    append(cursor, end, timeSeparator);
    appendNumber(cursor, end, static_cast<unsigned long long>(secondOfDay / 60 % 60), 10, 2);
    append(cursor, end, timeSeparator);
    appendNumber(cursor, end, static_cast<unsigned long long>(secondOfDay % 60), 10, 2);
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

long currentThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

// ---- Crash log ------------------------------------------------------------------

// Opens (or continues) this second's crash log; -1 when it cannot be made.
// A file that already holds a report gets the report separator first.
int openCrashLog() {
    if (gState.logPathPrefix[0] == '\0') return -1;
    char path[kPathCapacity + 400];
    char* cursor = path;
    char* end = path + sizeof path;
    append(cursor, end, gState.logPathPrefix);
    appendDate(cursor, end, "-", "");
    append(cursor, end, gState.logPathSuffix);
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        // QVFCrashReportController::reportSeparator(), as a literal for the signal path.
        static const char kSeparator[] =
            "\n\n**************************************************"
            "******************************\n\n";
        writeAll(fd, kSeparator, sizeof kSeparator - 1);
    }
    return fd;
}

void writeHeader(const CrashOutput& out, const char* reason) {
    char line[kPathCapacity + 600];
    char* cursor = line;
    char* end = line + sizeof line;
    append(cursor, end, "Process:  ");
    append(cursor, end, gState.applicationName);
    append(cursor, end, " [");
    appendNumber(cursor, end, static_cast<unsigned long long>(::getpid()), 10, 1);
    append(cursor, end, "]\nPath:     ");
    append(cursor, end, gState.executablePath);
    append(cursor, end, "\nHost:     ");
    append(cursor, end, gState.hostName);
    append(cursor, end, "\nDate:     ");
    appendDate(cursor, end, " ", ":");
    append(cursor, end, " +0000\nThread:   ");
    appendNumber(cursor, end, static_cast<unsigned long long>(currentThreadId()), 10, 1);
    append(cursor, end, "\nReason:   ");
    out.write(line, static_cast<size_t>(cursor - line));
    out.write(reason);
    out.write("\n\nBacktrace:\n");
}

// ---- Frames ---------------------------------------------------------------------

// Runs the symboliser script over the frames with its output going to `out`;
// false when it could not run or printed nothing (the caller falls back).
bool printSymbolizedFrames(void* const* frames, int count, const CrashOutput& out) {
    if (gState.symbolizer[0] == '\0') return false;
    static char pidText[24];
    static char addressTexts[kMaxFrames][24];
    static char* argv[kMaxFrames + 7];
    char* cursor = pidText;
    appendNumber(cursor, pidText + sizeof pidText, static_cast<unsigned long long>(::getpid()), 10,
                 1);
    int argc = 0;
    argv[argc++] = const_cast<char*>("/bin/sh");
    argv[argc++] = const_cast<char*>("-c");
    argv[argc++] = const_cast<char*>(kSymbolizerScript);
    argv[argc++] = const_cast<char*>("quorvel-symbolize");
    argv[argc++] = gState.symbolizer;
    argv[argc++] = pidText;
    for (int i = 0; i < count; ++i) {
        char* text = addressTexts[i];
        cursor = text;
        append(cursor, text + sizeof addressTexts[i], "0x");
        appendNumber(cursor, text + sizeof addressTexts[i],
                     reinterpret_cast<unsigned long long>(frames[i]), 16, 1);
        argv[argc++] = text;
    }
    argv[argc] = nullptr;

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    // _Fork runs no fork handlers and takes no locks, unlike fork().
    const pid_t child = ::_Fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execve("/bin/sh", argv, environ);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    bool printed = false;
    char chunk[512];
    struct pollfd readable = {pipeFds[0], POLLIN, 0};
    while (::poll(&readable, 1, kSymbolizerSilenceMs) > 0) {
        const ssize_t got = ::read(pipeFds[0], chunk, sizeof chunk);
        if (got <= 0) break;
        out.write(chunk, static_cast<size_t>(got));
        printed = true;
    }
    ::close(pipeFds[0]);
    ::kill(child, SIGKILL);  // a no-op when it has finished; ends a hung tool
    int status = 0;
    ::waitpid(child, &status, 0);
    return printed;
}

void printFrames(void* const* frames, int count, const CrashOutput& out) {
    if (printSymbolizedFrames(frames, count, out)) return;
    for (int i = 0; i < count; ++i) {
        char number[16];
        char* cursor = number;
        char* end = number + sizeof number;
        const int n = i + 1;
        append(cursor, end, n < 10 ? "   " : n < 100 ? "  " : " ");
        appendNumber(cursor, end, static_cast<unsigned long long>(n), 10, 1);
        append(cursor, end, "  ");
        out.write(number, static_cast<size_t>(cursor - number));
        ::backtrace_symbols_fd(&frames[i], 1, STDERR_FILENO);
        if (out.logFd >= 0) ::backtrace_symbols_fd(&frames[i], 1, out.logFd);
    }
}

// Prints the reason and the calling thread's backtrace to standard error and a
// new crash log. Allocates nothing.
void reportCrash(const char* reason) {
    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    CrashOutput out;
    out.logFd = openCrashLog();
    writeHeader(out, reason);
    printFrames(frames, count, out);
    if (out.logFd >= 0) ::close(out.logFd);
}

// True for the first thread to report a crash. Another thread that crashes
// meanwhile waits for the process to die; a fault inside the report itself
// (the same thread again) is left to the default action.
bool claimReport() {
    long expected = 0;
    const long self = currentThreadId();
    if (gState.handlingThread.compare_exchange_strong(expected, self)) return true;
    if (expected != self) {
        for (;;) ::pause();
    }
    return false;
}

void onFatalSignal(int signal, siginfo_t* info, void*) {
    if (claimReport()) {
        char reason[128];
        char* cursor = reason;
        char* end = reason + sizeof reason;
        append(cursor, end, "signal ");
        appendNumber(cursor, end, static_cast<unsigned long long>(signal), 10, 1);
        append(cursor, end, " (");
        append(cursor, end, signalName(signal));
        append(cursor, end, ")");
        if (signal == SIGSEGV || signal == SIGBUS) {
            append(cursor, end, " at address 0x");
            appendNumber(cursor, end, reinterpret_cast<unsigned long long>(info->si_addr), 16, 1);
        }
        reportCrash(reason);
    }
    // SA_RESETHAND put the default action back; it runs once this returns.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The uncaught exception's type (demangled) and message.
QByteArray describeCurrentException() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type) return "std::terminate called without an active exception";
    QByteArray name = type->name();
    int status = 0;
    if (char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status)) {
        name = demangled;
        std::free(demangled);
    }
    QByteArray text = "uncaught exception of type " + name;
    try {
        throw;
    } catch (const std::exception& exception) {
        text += ": ";
        text += exception.what();
    } catch (...) {
    }
    return text;
}

[[noreturn]] void onTerminate() {
    if (claimReport()) {
        // Not a signal handler: the exception's description may allocate.
        const QByteArray reason = describeCurrentException();
        reportCrash(reason.constData());
    }
    ::signal(SIGABRT, SIG_DFL);
    std::abort();
}

void copyInto(char* target, size_t capacity, const QByteArray& text) {
    const size_t length = std::min(static_cast<size_t>(text.size()), capacity - 1);
    std::memcpy(target, text.constData(), length);
    target[length] = '\0';
}

QString findSymbolizer() {
    for (const char* name : {"addr2line", "eu-addr2line"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) return path;
    }
    return {};
}

QByteArray shortHostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    QByteArray host(name);
    const qsizetype dot = host.indexOf('.');
    return dot > 0 ? host.left(dot) : host;
}

void installSignalHandlers() {
    // An alternate stack lets a stack overflow be reported (on this thread).
    static char alternateStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace

QVFExceptionHandler& QVFExceptionHandler::sharedHandler() {
    static QVFExceptionHandler handler;
    return handler;
}

QVFExceptionHandler::QVFExceptionHandler() {
    const QString name = Bundle::main().applicationName();
    const QString folder = crashLogDirectory();
    QDir().mkpath(folder);
    copyInto(gState.applicationName, sizeof gState.applicationName, name.toUtf8());
    copyInto(gState.logPathPrefix, sizeof gState.logPathPrefix,
             QFile::encodeName(folder + u'/' + name + u'_'));
    const QByteArray host = shortHostName();
    copyInto(gState.hostName, sizeof gState.hostName, host);
    copyInto(gState.logPathSuffix, sizeof gState.logPathSuffix, "_" + host + ".crash");
    copyInto(gState.executablePath, sizeof gState.executablePath,
             QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()));
    copyInto(gState.symbolizer, sizeof gState.symbolizer, QFile::encodeName(findSymbolizer()));

    // The first backtrace() loads the unwinder, which allocates: do it now.
    void* warmUp[2];
    ::backtrace(warmUp, 2);
    std::set_terminate(onTerminate);
    installSignalHandlers();
}

QString QVFExceptionHandler::crashLogDirectory() {
    return StandardPaths::stateDirectory() + QStringLiteral("/Quorvel/CrashReporter");
}

QString QVFExceptionHandler::diagnosticReportsDirectory() {
    return StandardPaths::stateDirectory() + QStringLiteral("/Quorvel/DiagnosticReports");
}

QString QVFExceptionHandler::symbolizerPath() const { return QFile::decodeName(gState.symbolizer); }
