#include "import/EvernoteXMLExportOperation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/foundation/Format.h"
#include "platform/foundation/StandardPaths.h"
#include "platform/foundation/SystemLog.h"
#include "util/FileNameRules.h"

namespace {

Error cancelledError() { return Error(kEvernoteExportErrorDomain, EvernoteExportCancelled); }

QString uniqueENEXPath(const QString& folder, const QString& baseName) {
    return folder + u'/' +
           QVExtensions::makeFilenameUniqueInDirectoryAtURL(baseName + QStringLiteral(".enex"), folder);
}

}  // namespace

EvernoteXMLExportOperation::EvernoteXMLExportOperation() = default;

EvernoteXMLExportOperation::~EvernoteXMLExportOperation() {
    if (!parserQueue_) return;
    parserQueue_->cancelAllOperations();
    parserQueue_->waitUntilAllOperationsAreFinished();
}

QString EvernoteXMLExportOperation::evernoteContainerPath() {
    return StandardPaths::libraryDirectory() + QStringLiteral("/Containers/com.evernote.Evernote");
}

void EvernoteXMLExportOperation::cancel() {
    if (parserQueue_) parserQueue_->cancelAllOperations();
    EvernoteExportOperation::cancel();
}

void EvernoteXMLExportOperation::performExportForNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                                          const QString& notebookFilesPath,
                                                          const PlistDictionary& group) {
    if (isCancelled()) {
        exportNotebookDidEnd(notebook, cancelledError());
        return;
    }
    if (const auto enex = exportNotebookFile(notebook, notebookFilesPath))
        parseNotebook(notebook, *enex, notebookFilesPath, group);
}

std::optional<QString> EvernoteXMLExportOperation::exportNotebookFile(const std::shared_ptr<EvernoteNotebook>& notebook,
                                                                      const QString& notebookFilesPath) {
    const QString xmlFolder = notebookFilesPath + QStringLiteral("/XML");
    if (!QDir().mkpath(xmlFolder)) {
        exportNotebookDidEnd(notebook, posixError(EACCES, xmlFolder));
        return std::nullopt;
    }
    QString exportFolder = StandardPaths::temporaryDirectory();
    bool ownExportFolder = false;
    if (QDir(evernoteContainerPath()).exists()) {
        exportFolder = evernoteContainerPath() + QStringLiteral("/Data/Library/Application Support/Ferrymark");
        if (!QDir().mkpath(exportFolder)) {
            const Error error = posixError(EACCES, exportFolder);
            log(stringWithFormat(QStringLiteral("Cannot create directory: %@"), {error}));
            exportNotebookDidEnd(notebook, error);
            return std::nullopt;
        }
        ownExportFolder = true;
    }
    const QString name = QVExtensions::safeFileName(QVExtensions::stringSanitizedForFileName(notebook->name()));
    const QString target = uniqueENEXPath(exportFolder, name);
    if (debugMode()) log(stringWithFormat(QStringLiteral("Exporting ENEX to: %@"), {target}));
    evernoteApp()->exportNotes(notebook->notes(), QUrl::fromLocalFile(target), true, kEvernoteExportFormatENEX);

    const QString final = uniqueENEXPath(xmlFolder, name);
    if (debugMode()) log(stringWithFormat(QStringLiteral("Moving exported file to: %@"), {final}));
    if (!QFile::rename(target, final) && !(QFile::copy(target, final) && QFile::remove(target))) {
        const Error error = posixError(QFileInfo::exists(target) ? EIO : ENOENT, target);
        systemLog(stringWithFormat(QStringLiteral("Error moving exported XML: %@"), {error}));
        exportNotebookDidEnd(notebook, error);
        return std::nullopt;
    }
    if (ownExportFolder) QDir(exportFolder).removeRecursively();
    return final;
}

void EvernoteXMLExportOperation::parseNotebook(const std::shared_ptr<EvernoteNotebook>& notebook,
                                               const QString& enexPath, const QString& notebookFilesPath,
                                               const PlistDictionary& group) {
    if (!parserQueue_) parserQueue_ = std::make_unique<OperationQueue>(QStringLiteral("ENEX parser"));
    notebookItemDicts_ = PlistArray();
    auto parse = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        QUrl::fromLocalFile(enexPath), QUrl::fromLocalFile(notebookFilesPath), group);
    parse->setLogStream(logStream());
    parse->setDebugMode(debugMode());
    parse->setParseOperationDidExportItemBlock(
        [this](const std::optional<PlistDictionary>& item, const Error& error) {
            recordParsedItem(item, error, notebookItemDicts_);
        });
    parse->setParseOperationCompletionBlock([this, notebook, group](const Error& error) {
        if (!error.isNull()) {
            exportNotebookDidEnd(notebook, error);
            return;
        }
        if (isCancelled()) {
            // The parse was complete when the cancellation came: the run still stops here.
            exportNotebookDidEnd(notebook, cancelledError());
            return;
        }
        fileItemsUnderGroup(notebookItemDicts_, group);
        exportNotebookDidEnd(notebook, Error());
    });
    parserQueue_->addOperation(parse);
}
