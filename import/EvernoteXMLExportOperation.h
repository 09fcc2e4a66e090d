// The import of Evernote notebooks: for each notebook in turn, Evernote
// exports all its notes as one ENEX file, the file is moved into the
// notebook's "XML" folder in the staging directory, and the ENEX parser runs
// over it on this operation's parser queue. The notebook ends when the parse
// completes, which starts the next notebook or, after the last, the import
// into Pelmora.
//
// Cancelling the operation also cancels the running parse, and a notebook
// that completes after a cancellation ends the run as cancelled; either way
// no description is written. A cancel from any thread at any moment is seen:
// the parser queue lives as long as the operation (cancel() never reads a
// queue that another thread is setting up), and a parse added just after a
// cancel is cancelled at once and still ends its notebook.
//
// REQUIRES: the caller keeps the operation alive until one of the three end
// callbacks has arrived (later notebooks run after main() has returned).
#pragma once

#include "enex/EvernoteXMLParseOperation.h"
#include "import/EvernoteExportOperation.h"

class EvernoteXMLExportOperation : public EvernoteExportOperation {
  public:
    EvernoteXMLExportOperation();
    ~EvernoteXMLExportOperation() override;

    // Also cancels the running parse.
    void cancel() override;

    // Where Evernote writes its exports: inside its own container when that
    // exists ("Ferrymark" in its Application Support), else the temporary folder.
    static QString evernoteContainerPath();

  protected:
    void performExportForNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                  const QString& notebookFilesPath,
                                  const PlistDictionary& targetFolder) override;

  private:
    // Exports and moves the notebook's ENEX file; its final path, or nullopt
    // after the notebook has been ended with the error.
    std::optional<QString> exportNotebookFile(const std::shared_ptr<EvernoteNotebook>& notebook,
                                              const QString& notebookFilesPath);
    void parseNotebook(const std::shared_ptr<EvernoteNotebook>& notebook, const QString& enexPath,
                       const QString& notebookFilesPath, const PlistDictionary& group);

    // Made with the operation and never replaced; cancel() reads it from any thread.
    OperationQueue parserQueue_{QStringLiteral("ENEX parser")};
};
