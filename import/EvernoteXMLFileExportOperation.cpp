#include "import/EvernoteXMLFileExportOperation.h"

#include <QFileInfo>

#include "enex/EvernoteXMLParseOperation.h"
#include "import/ENEXNoteCounter.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "util/FileNameRules.h"

EvernoteXMLFileExportOperation::EvernoteXMLFileExportOperation() = default;

EvernoteXMLFileExportOperation::~EvernoteXMLFileExportOperation() {
    parserQueue_.cancelAllOperations();
    parserQueue_.waitUntilAllOperationsAreFinished();
}

void EvernoteXMLFileExportOperation::main() {
    if (!prepareRun()) return;
    const QString filePath = exportFileURL_.toLocalFile();
    Error error;
    if (!checkFreeSpaceForExportOfSize(QFileInfo(filePath).size(), &error)) {
        endRun(error);
        return;
    }
    const auto count = ENEXNoteCounter::countNotesInFileAtPath(filePath, &error);
    if (!count) {
        systemLog(stringWithFormat(QStringLiteral("Error counting notes: %@"), {error}));
        endRun(error);
        return;
    }
    noteCount_ = *count;
    startExport();
}

void EvernoteXMLFileExportOperation::cancel() {
    EvernoteExportOperation::cancel();
    parserQueue_.cancelAllOperations();
}

void EvernoteXMLFileExportOperation::startExport() {
    const QString filePath = exportFileURL_.toLocalFile();
    log(stringWithFormat(QStringLiteral("Exporting notes from %@"), {filePath}));
    // The group keeps the file's name as it is; the folder gets a safe one.
    const QString fileName = QFileInfo(filePath).fileName();
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString name = dot > 0 ? fileName.left(dot) : fileName;
    QString folderName = QVExtensions::safeFileName(name);
    if (folderName.isEmpty()) folderName = localizedString("Untitled");
    const QString directory = filesPath() + u'/' + folderName;
    Error underlying;
    if (!FileOperations::makeDirectory(directory, false, &underlying)) {
        log(stringWithFormat(QStringLiteral("Unable to create notebook directory %@: %@"), {directory, underlying}));
        endRun(cannotCreateDirectoryError(underlying));
        return;
    }
    const PlistDictionary group = makeGroupDictionary(name);
    log(QStringLiteral("Exporting notes"));
    informDelegateWillExportRecordsFromFile(noteCount_, exportFileURL_);

    auto parse = makeParseOperation(exportFileURL_, directory, group,
                                    [this](const Error& error) { parseCompleted(error); });
    if (isCancelled()) parse->cancel();
    parserQueue_.addOperation(parse);
}

void EvernoteXMLFileExportOperation::parseCompleted(const Error& error) {
    if (error.isNull() && !isCancelled())
        log(stringWithFormat(QStringLiteral("*** Export ended for: %@"), {exportFileURL_.toLocalFile()}));
    endRun(error);
}
