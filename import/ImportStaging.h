// Where one import run works: the staging directory that receives the items
// and the description, and the import log ("Evernote Export.log"), both
// chosen by the Pelmora edition (inside the sandboxed edition's container,
// where it can read them).
//
// The run holds its staging directory's lock (StagingLock) from the moment it
// is made until the run ends, so no other run ever touches it: a run that
// finds the edition's staging directory ("Evernote") held by a live run uses
// the next free one ("Evernote 2", "Evernote 3", …). A staging directory of
// the edition that no live run holds was left by a run that ended or died:
//  - one that still holds a finished description ("Evernote.pmlibxml") is
//    where Pelmora left items it refused, or was importing when the run died:
//    the user may want those files, so it is set aside beside it ("… (not
//    imported DATE)"), never removed;
//  - any other (a run killed or crashed before its description was finished:
//    its items never reached the library) is removed.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "import/StagingLock.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/OutputStream.h"

class ImportStaging {
  public:
    // The staging and log directories for a Pelmora edition.
    static QString stagingDirectoryForIdentifier(const QString& identifier);
    static QString logDirectoryForIdentifier(const QString& identifier);

    // A fresh staging directory for the edition `identifier`, locked for this
    // run, after the leftovers of dead runs are cleared (above). Error 10004
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
    // Lets the staging directory's lock go: the run has ended.
    void releaseLock() { lock_.release(); }
    // How many staging directories of dead runs the last prepareDirectory removed.
    int removedLeftovers() const { return removedLeftovers_; }

  private:
    // Sets aside or removes what a dead run left at `path` (see above).
    bool clearLeftover(const QString& path, Error* error);

    QString path_;
    QStringList setAsidePaths_;
    StagingLock lock_;
    int removedLeftovers_ = 0;
    std::unique_ptr<OutputStream> logStream_;
};
