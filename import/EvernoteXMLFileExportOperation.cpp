#include "import/EvernoteXMLFileExportOperation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    Error error;
    const auto identifier = getPelmoraApplicationBundleIdentifier(&error);
    if (!identifier || !prepareToExportWithAppIdentifier(*identifier, &error) ||
        !checkFreeSpaceForExportOfSize(QFileInfo(exportFileURL_.toLocalFile()).size(), &error)) {
        informDelegateDidEncounterError(error);
        return;
    }
    noteCount_ = 0;
    QFile input(exportFileURL_.toLocalFile());
    XMLStreamParser parser(&input);
    parser.setDelegate(this);
    xmlParser_ = &parser;
    parser.parse();
    xmlParser_ = nullptr;
}

void EvernoteXMLFileExportOperation::cancel() {
    EvernoteExportOperation::cancel();
    parserQueue_.cancelAllOperations();
}

void EvernoteXMLFileExportOperation::didEndElement(const QString& name) {
    if (name == QLatin1String("note")) ++noteCount_;
}

void EvernoteXMLFileExportOperation::parseErrorOccurred(const Error& error) {
    systemLog(stringWithFormat(QStringLiteral("Error counting notes: %@"), {error}));
    informDelegateDidEncounterError(error);
    if (xmlParser_) xmlParser_->abortParsing();
}

void EvernoteXMLFileExportOperation::didEndDocument() { startExport(); }

void EvernoteXMLFileExportOperation::startExport() {
    const QString filePath = exportFileURL_.toLocalFile();
    log(stringWithFormat(QStringLiteral("Exporting notes from %@"), {filePath}));
    // The group keeps the file's name as it is; the folder gets a safe one.
    const QString fileName = QFileInfo(filePath).fileName();
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString name = dot > 0 ? fileName.left(dot) : fileName;
    QString folderName = QVExtensions::safeFileName(name);
    if (folderName.isEmpty()) folderName = localizedString("Untitled");
    notebookDirectory_ = filesPath() + u'/' + folderName;
    Error underlying;
    if (!FileOperations::makeDirectory(notebookDirectory_, false, &underlying)) {
        const Error error = cannotCreateDirectoryError(underlying);
        log(stringWithFormat(QStringLiteral("Unable to create notebook directory %@: %@"),
                             {notebookDirectory_, underlying}));
        informDelegateDidEncounterError(error);
        return;
    }
    group_ = makeGroupDictionary(name);
    log(QStringLiteral("Exporting notes"));
    onMainThread([this](EvernoteExportOperationDelegate* d) {
        d->exportOperationWillExportRecordsFromFileAtURL(this, noteCount_, exportFileURL_);
    });

    auto parse = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
        exportFileURL_, QUrl::fromLocalFile(notebookDirectory_), group_);
    parse->setLogStream(logStream());
    parse->setDebugMode(debugMode());
    // The block runs inside the parse, so the raw pointer never outlives it.
    EvernoteXMLParseOperation* parsing = parse.get();
    parse->setParseOperationDidExportItemBlock([this, parsing](const std::optional<PlistDictionary>& item,
                                                               const Error& error) {
        itemExported(item, error);
        if (!item && runStopError().isNull() && noteErrorEndsRun(error, notebookDirectory_)) parsing->cancel();
    });
    parse->setParseOperationCompletionBlock([this](const Error& error) { parseCompleted(error); });
    if (isCancelled()) parse->cancel();
    parserQueue_.addOperation(parse);
}

void EvernoteXMLFileExportOperation::itemExported(const std::optional<PlistDictionary>& item, const Error& error) {
    recordParsedItem(item, error, notebookItemDicts_);
}

void EvernoteXMLFileExportOperation::parseCompleted(const Error& error) {
    // A note that failed for every later note stopped the parse: that is the run's error.
    const Error ending = runStopError().isNull() ? error : runStopError();
    if (ending.isNull()) fileItemsUnderGroup(notebookItemDicts_, group_);
    exportDidEnd(ending);
}

void EvernoteXMLFileExportOperation::exportDidEnd(const Error& error) {
    if (error.isNull() && isCancelled()) {
        // The parse was already complete when the cancellation came: still a cancellation.
        informDelegateDidCancel();
        return;
    }
    if (error.isNull()) {
        log(stringWithFormat(QStringLiteral("*** Export ended for: %@"), {exportFileURL_.toLocalFile()}));
        handDescriptionToPelmora();
    } else if (isCancelled()) {
        informDelegateDidCancel();
    } else {
        informDelegateDidEncounterError(error);
    }
}
