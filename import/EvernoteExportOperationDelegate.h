// The receiver of an import run's progress: all seven callbacks are delivered
// on the main thread, in the order issued, each exactly once. The run waits
// until each has returned, except exportOperationDidExportRecord, which
// follows the run without holding it (see ExportDelegateRelay); every record
// still arrives before any later callback. A run ends with exactly one of
// exportOperationDidEncounterError, exportOperationDidCancel or
// exportOperationDidEnd. A run set to ask for passphrases also asks
// passphrasesForEncryptedPassages, at most once, and waits for the answer.
#pragma once

#include <QString>
#include <QUrl>
#include <memory>

#include "platform/foundation/Error.h"

class EvernoteExportOperation;
class PassphraseList;

class EvernoteExportOperationDelegate {
  public:
    virtual ~EvernoteExportOperationDelegate() = default;
    // The run started (sent only through informDelegateDidStart).
    virtual void exportOperationDidStart(EvernoteExportOperation* operation) = 0;
    // A notebook has been prepared and holds `count` notes.
    virtual void exportOperationWillExportRecordsFromNotebook(EvernoteExportOperation* operation,
                                                              unsigned long count,
                                                              const QString& notebookName) = 0;
    // A file import has counted its `count` notes.
    virtual void exportOperationWillExportRecordsFromFileAtURL(EvernoteExportOperation* operation,
                                                               unsigned long count,
                                                               const QUrl& fileURL) = 0;
    // One item has been finished, successfully or not.
    virtual void exportOperationDidExportRecord(EvernoteExportOperation* operation) = 0;
    // The run stopped with a failure.
    virtual void exportOperationDidEncounterError(EvernoteExportOperation* operation,
                                                  const Error& error) = 0;
    // The run stopped after cancellation.
    virtual void exportOperationDidCancel(EvernoteExportOperation* operation) = 0;
    // Pelmora has been asked to import.
    virtual void exportOperationDidEnd(EvernoteExportOperation* operation) = 0;
    // The export holds `count` encrypted passages and the run has no
    // passphrases: the ones to try, or null to leave the passages hidden.
    // The default answers null.
    virtual std::shared_ptr<const PassphraseList> passphrasesForEncryptedPassages(
        EvernoteExportOperation* /*operation*/, unsigned long /*count*/) {
        return nullptr;
    }
};
