// Where one import run works: the staging directory that receives the items
// and the description, and the import log ("Evernote Export.log"), both
// chosen by the Pelmora edition (inside the sandboxed edition's container,
// where it can read them). A staging directory left by an earlier run that
// still holds a description Pelmora did not finish is set aside, never
// removed; any other is replaced.
#pragma once

#include <QString>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/foundation/OutputStream.h"

class ImportStaging {
  public:
    // The staging and log directories for a Pelmora edition.
    static QString stagingDirectoryForIdentifier(const QString& identifier);
    static QString logDirectoryForIdentifier(const QString& identifier);

    // A fresh staging directory for the edition `identifier`. Error 10004
    // (domain "EvernoteExport") with the cause.
    bool prepareDirectory(const QString& identifier, Error* error = nullptr);
    // Opens a new log (the old one is replaced), sends standard error into it,
    // and writes the header lines: the program's and the system's versions,
    // Pelmora's and Evernote's, the staging directory, and where an earlier
    // unfinished staging directory went.
    void openLog(const QString& identifier, const QString& pelmoraVersion,
                 const QString& evernoteVersion);

    // The staging directory; empty before prepareDirectory.
    QString path() const { return path_; }
    // The open log, or null.
    OutputStream* logStream() const { return logStream_.get(); }
    // Appends a time-stamped line to the log (nothing when it is not open).
    void log(const QString& line) const;
    void closeLog();

  private:
    QString path_;
    QString setAsidePath_;
    std::unique_ptr<OutputStream> logStream_;
};
