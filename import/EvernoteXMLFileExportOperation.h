// The import of ENEX files that the user picked, without Evernote: usually
// one, or several in one run, one after another. For each file a byte scan
// counts the notes first (so that progress can be shown as a fraction) and
// refuses a file whose elements do not nest; then the ENEX parser, on this
// operation's own parser queue, converts the notes. Each file becomes one
// group named after the file (its folder in the staging directory made unique
// when two files share a name).
//
// A file that the scan passes but the parser finds not well-formed ends the
// run with the parser's error once the notes before the fault are converted;
// no description is written. With recoversDamagedNotes, damage ends neither
// the file nor the run: a file that the scan refuses is counted note by note
// (ENEXNoteSplitter) and read on past its damage, and a file that is not ENEX
// or cannot be read is reported (damageReports) while the next one starts.
//
// Before the first note converts, the scan runs over every file of the run,
// so that a link to a note in a later file, or later in the same file, leads
// to it (EvernoteNoteLinks): the titles and link evidence of all files go
// into one index, and each file's count is kept for its turn.
//
// Cancelling the operation also cancels the converting parse; the run then
// ends with exportOperationDidCancel and writes no description.
//
// REQUIRES: the caller keeps the operation alive until one of the three end
// callbacks has arrived, and does not destroy it inside a callback: the
// conversion goes on on the parser queue after main() has returned.
#pragma once

#include <QUrl>

#include "import/EvernoteExportOperation.h"

class EvernoteXMLFileExportOperation : public EvernoteExportOperation {
  public:
    EvernoteXMLFileExportOperation();
    ~EvernoteXMLFileExportOperation() override;

    // The first file to import (an empty URL when there is none).
    QUrl exportFileURL() const { return exportFileURLs_.value(0); }
    // Imports this one file.
    void setExportFileURL(const QUrl& url) { exportFileURLs_ = {url}; }
    // The files to import, in order. Set before the run.
    QList<QUrl> exportFileURLs() const { return exportFileURLs_; }
    void setExportFileURLs(const QList<QUrl>& urls) { exportFileURLs_ = urls; }
    // The notes counted in the file being imported (the last one, after the run).
    unsigned long noteCount() const { return noteCount_; }

    // Prepares, refuses to go on when the staging or library folder plainly
    // cannot hold the files' notes (checkFreeSpaceForExportOfSize), counts the
    // first file's notes, then starts its converting parse and returns; each
    // later file starts when the one before it has been converted.
    void main() override;
    // Also cancels the converting parse.
    void cancel() override;

  private:
    // Scans every file (ENEXNoteCounter) into the run's link index and keeps
    // each file's count or error for exportFile.
    void scanFiles();
    // Counts the notes of file `index`, makes its group and folder, announces
    // the count and starts its parse; ends the run on failure.
    void exportFile(qsizetype index);
    void startExport(qsizetype index);
    // With recovery: the notes of a file the scan refused, or nullopt after
    // the file has been reported as not ENEX.
    std::optional<unsigned long> countNotesOfDamagedFile(const QString& path,
                                                         const Error& countError);
    // Starts the file after `index`, or ends the run after the last.
    void exportNextFile(qsizetype index);
    void parseCompleted(qsizetype index, const Error& error);

    QList<QUrl> exportFileURLs_;
    OperationQueue parserQueue_{QStringLiteral("ENEX parser")};
    unsigned long noteCount_ = 0;
    struct FileScan {
        std::optional<unsigned long> noteCount;
        Error error;
    };
    QList<FileScan> scans_;  // one per file, from scanFiles
};
