// The import of one ENEX file that the user picked, without Evernote. A byte
// scan counts the notes first (so that progress can be shown as a fraction)
// and refuses a file whose elements do not nest; then the ENEX parser, on
// this operation's own parser queue, converts the notes. The whole file
// becomes one group named after the file.
//
// A file that the scan passes but the parser finds not well-formed ends the
// run with the parser's error once the notes before the fault are converted;
// no description is written.
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

    QUrl exportFileURL() const { return exportFileURL_; }
    void setExportFileURL(const QUrl& url) { exportFileURL_ = url; }
    unsigned long noteCount() const { return noteCount_; }

    // Prepares, refuses to go on when the staging or library folder plainly
    // cannot hold the file's notes (checkFreeSpaceForExportOfSize), counts the
    // notes, then starts the converting parse and returns.
    void main() override;
    // Also cancels the converting parse.
    void cancel() override;

private:
    // Makes the group and its folder, announces the count, starts the parse.
    void startExport();
    void parseCompleted(const Error& error);

    QUrl exportFileURL_;
    OperationQueue parserQueue_{QStringLiteral("ENEX parser")};
    unsigned long noteCount_ = 0;
};
