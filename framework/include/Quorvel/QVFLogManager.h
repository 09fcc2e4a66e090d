// The framework's log manager: knows the application's log directory, prunes
// the application's earlier log files, names a log file for this launch, and
// can send the process's standard error into a file.
//
// The application name is the bundle's "CFBundleName", or its
// "CFBundleExecutable" when the name is missing or empty. The log directory is
// <Application Support>/<application name>/Logs ($XDG_DATA_HOME on Linux).
//
// Threading: the shared instance is created on first use (thread-safe); its
// operations are meant for one thread at a time, as the import uses them.
#pragma once

#include <QDateTime>
#include <QString>

#include "Quorvel/QVFExport.h"

class QUORVEL_EXPORT QVFLogManager {
  public:
    // The process's one instance for the main bundle, created on first use
    // and kept until the process ends.
    static QVFLogManager& sharedManager();

    // A manager for the main bundle. Runs rotateLogs, then names the launch
    // log file (applicationLogFile) from the current time.
    QVFLogManager();
    // The same for the application named `applicationName` (as the main
    // bundle's name is found above).
    explicit QVFLogManager(const QString& applicationName);
    QVFLogManager(const QVFLogManager&) = delete;
    QVFLogManager& operator=(const QVFLogManager&) = delete;

    const QString& applicationName() const { return applicationName_; }

    // The log directory, created with intermediate folders first (a failure
    // to create it is ignored; the path is returned all the same).
    QString applicationLogDirectory() const;

    // The path of a log file for this launch: the log directory joined with
    // logFileNameForDate(applicationName(), creation time). Nothing opens or
    // writes it; it is there for callers.
    QString applicationLogFile() const { return applicationLogFile_; }
    void setApplicationLogFile(const QString& path) { applicationLogFile_ = path; }

    // Creates the parent folder of `path` (with intermediate folders) and,
    // only if that succeeds, points the process's standard error (descriptor
    // 2) at `path`: the file is created or truncated, and every later write
    // goes to its end, so another writer appending to the same file (the
    // import log's output stream) is never overwritten. On any failure
    // standard error stays as it was. A later call replaces an earlier one.
    void redirectStandardErrorToFileAtPath(const QString& path);

    // Prunes the log directory: of the files anywhere below it whose relative
    // path begins with "<application name>_", all but the 9 newest by creation
    // date (birth time where the file system records one, else modification
    // time) are deleted. With fewer than 10 nothing is deleted. Other files
    // are never touched; deletion failures are ignored.
    void rotateLogs();

    // "%@_%@.log" with the application name and `date` (local time) in the
    // pattern "yyyy-MM-dd-HHMMSS", where the second "MM" is the month again
    // and "SS" the hundredths of the second: 2026-12-07 09:47:03.456 gives
    // "<name>_2026-12-07-091245.log".
    static QString logFileNameForDate(const QString& applicationName, const QDateTime& date);

  private:
    QString applicationName_;
    QString applicationLogFile_;
};
