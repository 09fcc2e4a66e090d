// Crash reports that the system kept for the application (systemd-coredump,
// read with coredumpctl when it is installed): the crashes that the
// framework's own handler did not see, such as those before it was installed.
// They are copied into the diagnostic reports folder, where the crash
// reporter finds them like its own logs.
//
// Main thread or any one thread at a time; runs coredumpctl with a time-out.
#pragma once

#include <QDateTime>
#include <QString>

class SystemCrashReports {
  public:
    // Asks coredumpctl for the reports of `executablePath` newer than `since`
    // and, when there are any, writes them to
    // "<folder>/<applicationName>_system_<host>.crash" (one report after
    // another, newest last, separated as the crash reporter expects), which
    // replaces the file an earlier call wrote. Without coredumpctl, or without
    // new reports, nothing is written. True when the file was written;
    // failures are logged.
    static bool collect(const QString& applicationName, const QString& executablePath,
                        const QDateTime& since, const QString& folder);
};
