// The import of one ENEX file that the user picked, without Evernote. The file
// is read twice: a quick counting pass (so that progress can be shown as a
// fraction), then the ENEX parser on this operation's own parser queue, which
// converts the notes. The whole file becomes one group named after the file.
//
// Cancelling the operation also cancels the converting parse; the run then
// ends with exportOperationDidCancel and writes no description.
//
// REQUIRES: the caller keeps the operation alive until one of the three end
// callbacks has arrived, and does not destroy it inside a callback: the
// conversion goes on on the parser queue after main() has returned.
#pragma once

#include <QUrl>

#include "enex/EvernoteXMLParseOperation.h"
#include "import/EvernoteExportOperation.h"

class EvernoteXMLFileExportOperation : public EvernoteExportOperation, private XMLStreamParserDelegate {
public:
    EvernoteXMLFileExportOperation();
    ~EvernoteXMLFileExportOperation() override;

    QUrl exportFileURL() const { return exportFileURL_; }
    void setExportFileURL(const QUrl& url) { exportFileURL_ = url; }
    unsigned long noteCount() const { return noteCount_; }
    // The item dictionaries received, in order.
    PlistArray notebookItemDicts() const { return notebookItemDicts_; }

    // Prepares, refuses to go on when the staging or library folder plainly
    // cannot hold the file's notes (checkFreeSpaceForExportOfSize), counts the
    // notes, then starts the converting parse and returns.
    void main() override;
    // Also cancels the converting parse.
    void cancel() override;
    // Called when the counting pass reaches the end of the document.
    void startExport();
    // Ends the import: hands the description to Pelmora, or reports the error
    // (as a cancellation when the operation was cancelled).
    void exportDidEnd(const Error& error);

private:
    // Counting-parser events.
    void didEndElement(const QString& name) override;
    void parseErrorOccurred(const Error& error) override;
    void didEndDocument() override;

    void itemExported(const std::optional<PlistDictionary>& itemDict, const Error& error);
    void parseCompleted(const Error& error);

    QUrl exportFileURL_;
    OperationQueue parserQueue_{QStringLiteral("ENEX parser")};
    PlistArray notebookItemDicts_;
    XMLStreamParser* xmlParser_ = nullptr;
    unsigned long noteCount_ = 0;
    QString notebookDirectory_;
    PlistDictionary group_;
};
