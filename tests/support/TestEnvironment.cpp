#include "tests/support/TestEnvironment.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const char* const kVariables[5] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR",
                                   "FERRYMARK_APPLICATIONS", "XDG_STATE_HOME"};
}

TestEnvironment::TestEnvironment() : savedStandardError_(::dup(STDERR_FILENO)) {
    for (int i = 0; i < 5; ++i) saved_[i] = qgetenv(kVariables[i]);
    QDir().mkpath(dataHome());
    QDir().mkpath(configHome());
    QDir().mkpath(tempDir());
    QDir().mkpath(applicationsDir());
    QDir().mkpath(stateHome());
    qputenv("XDG_STATE_HOME", stateHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("TMPDIR", tempDir().toUtf8());
    qputenv("FERRYMARK_APPLICATIONS", applicationsDir().toUtf8());
}

TestEnvironment::~TestEnvironment() {
    // An import run redirects standard error into its log; give it back.
    if (savedStandardError_ >= 0) {
        ::dup2(savedStandardError_, STDERR_FILENO);
        ::close(savedStandardError_);
    }
    for (int i = 0; i < 5; ++i) {
        if (saved_[i].isNull())
            qunsetenv(kVariables[i]);
        else
            qputenv(kVariables[i], saved_[i]);
    }
}

QString TestEnvironment::writeFile(const QString& relative, const QByteArray& contents) const {
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(contents);
    return file;
}

bool runEventLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
