#include "import/EvernoteXMLExportOperation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/foundation/SystemLog.h"
#include "util/FileNameRules.h"

namespace {

Error cancelledError() { return Error(kEvernoteExportErrorDomain, EvernoteExportCancelled); }

// The error a notebook ends with once its parse has completed. A parse that
// was complete when the cancellation came still stops the run; what stopped
// the run itself (a full disk, say) names its folder already; the parser's
// own error gets the notebook's name, since among several notebooks the user
// must know which one could not be read.
Error notebookEndError(const QString& notebookName, const Error& parseError, bool cancelled) {
    if (parseError.isNull()) return cancelled ? cancelledError() : Error();
    if (parseError.domain() == kEvernoteExportErrorDomain) return parseError;
    return Error(parseError.domain(), parseError.code(),
                 stringWithFormat(localizedString("The notebook “%@” could not be read: %@"),
                                  {notebookName, parseError.localizedDescription()}),
                 parseError);
}

QString uniqueENEXPath(const QString& folder, const QString& baseName) {
    return folder + u'/' +
           QVExtensions::makeFilenameUniqueInDirectoryAtURL(baseName + QStringLiteral(".enex"),
                                                            folder);
}

}  // namespace

EvernoteXMLExportOperation::EvernoteXMLExportOperation() = default;

// The parser queue, destroyed first, cancels a parse still running and waits
// for it, so its calls back into the operation find the operation whole.
EvernoteXMLExportOperation::~EvernoteXMLExportOperation() = default;

QString EvernoteXMLExportOperation::evernoteContainerPath() {
    return StandardPaths::libraryDirectory() + QStringLiteral("/Containers/com.evernote.Evernote");
}

// Marked cancelled before the queue is cancelled, so that a parse that
// parseNotebook adds meanwhile is either cancelled here or sees the mark there.
void EvernoteXMLExportOperation::cancel() {
    EvernoteExportOperation::cancel();
    parserQueue_.cancelAllOperations();
}

void EvernoteXMLExportOperation::performExportForNotebook(
    const std::shared_ptr<EvernoteNotebook>& notebook, const QString& notebookFilesPath,
    const PlistDictionary& group) {
    if (isCancelled()) {
        exportNotebookDidEnd(notebook, cancelledError());
        return;
    }
    if (const auto enex = exportNotebookFile(notebook, notebookFilesPath))
        parseNotebook(notebook, *enex, notebookFilesPath, group);
}

std::optional<QString> EvernoteXMLExportOperation::exportNotebookFile(
    const std::shared_ptr<EvernoteNotebook>& notebook, const QString& notebookFilesPath) {
    const QString xmlFolder = notebookFilesPath + QStringLiteral("/XML");
    Error error;
    if (!FileOperations::makeDirectory(xmlFolder, true, &error)) {
        exportNotebookDidEnd(notebook, error);
        return std::nullopt;
    }
    QString exportFolder = StandardPaths::temporaryDirectory();
    bool ownExportFolder = false;
    if (QDir(evernoteContainerPath()).exists()) {
        exportFolder =
            evernoteContainerPath() + QStringLiteral("/Data/Library/Application Support/Ferrymark");
        if (!FileOperations::makeDirectory(exportFolder, true, &error)) {
            log(stringWithFormat(QStringLiteral("Cannot create directory: %@"), {error}));
            exportNotebookDidEnd(notebook, error);
            return std::nullopt;
        }
        ownExportFolder = true;
    }
    const QString name =
        QVExtensions::safeFileName(QVExtensions::stringSanitizedForFileName(notebook->name()));
    const QString target = uniqueENEXPath(exportFolder, name);
    if (debugMode()) log(stringWithFormat(QStringLiteral("Exporting ENEX to: %@"), {target}));
    evernoteApp()->exportNotes(notebook->notes(), QUrl::fromLocalFile(target), true,
                               kEvernoteExportFormatENEX);

    const QString final = uniqueENEXPath(xmlFolder, name);
    if (debugMode()) log(stringWithFormat(QStringLiteral("Moving exported file to: %@"), {final}));
    if (!FileOperations::moveItem(target, final, &error)) {
        systemLog(stringWithFormat(QStringLiteral("Error moving exported XML: %@"), {error}));
        exportNotebookDidEnd(notebook, error);
        return std::nullopt;
    }
    if (ownExportFolder) QDir(exportFolder).removeRecursively();
    if (!checkFreeSpaceForExportOfSize(QFileInfo(final).size(), &error)) {
        exportNotebookDidEnd(notebook, error);
        return std::nullopt;
    }
    return final;
}

void EvernoteXMLExportOperation::parseNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                               const QString& enexPath,
                                               const QString& notebookFilesPath,
                                               const PlistDictionary& group) {
    const auto parse = makeParseOperation(
        QUrl::fromLocalFile(enexPath), notebookFilesPath, group,
        [this, notebook](const Error& error) {
            exportNotebookDidEnd(notebook,
                                 notebookEndError(notebook->name(), error, isCancelled()));
        });
    parserQueue_.addOperation(parse);
    // A cancel that came while Evernote exported found no parse to stop.
    if (isCancelled()) parse->cancel();
}
