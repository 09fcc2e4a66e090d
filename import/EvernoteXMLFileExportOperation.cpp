#include "import/EvernoteXMLFileExportOperation.h"

#include <QFileInfo>

#include "enex/ENEXNoteSplitter.h"
#include "enex/EvernoteNoteLinkIndex.h"
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
    if (exportFileURLs_.isEmpty()) {
        // Nothing to import: the run still ends, with an empty description.
        endRun(Error());
        return;
    }
    qint64 totalSize = 0;
    for (const QUrl& url : exportFileURLs_) totalSize += QFileInfo(url.toLocalFile()).size();
    Error error;
    if (!checkFreeSpaceForExportOfSize(totalSize, &error)) {
        endRun(error);
        return;
    }
    scanFiles();
    exportFile(0);
}

void EvernoteXMLFileExportOperation::scanFiles() {
    auto index = std::make_shared<EvernoteNoteLinkIndex>();
    index->setScannedContents(true);
    scans_.clear();
    for (const QUrl& url : exportFileURLs_) {
        FileScan scan;
        const auto counts = ENEXNoteCounter::countInFileAtPath(
            url.toLocalFile(), &scan.error, ENEXNoteCounter::kDefaultChunkSize, index.get());
        if (counts)
            scan.noteCount = counts->notes;
        else
            index->setScannedContents(false);  // its notes past the fault were not seen
        scans_.append(scan);
    }
    index->seal();
    setNoteLinkIndex(std::move(index));
}

void EvernoteXMLFileExportOperation::exportFile(qsizetype index) {
    const QString path = exportFileURLs_[index].toLocalFile();
    const Error error = scans_[index].error;
    auto count = scans_[index].noteCount;
    if (!count) {
        systemLog(stringWithFormat(QStringLiteral("Error counting notes: %@"), {error}));
        if (!recoversDamagedNotes()) {
            endRun(error);
            return;
        }
        count = countNotesOfDamagedFile(path, error);
        if (!count) {
            exportNextFile(index);
            return;
        }
    }
    noteCount_ = *count;
    startExport(index);
}

std::optional<unsigned long> EvernoteXMLFileExportOperation::countNotesOfDamagedFile(
    const QString& path, const Error& countError) {
    log(stringWithFormat(QStringLiteral("Error counting notes in %@: %@"), {path, countError}));
    Error error;
    const auto count = ENEXNoteSplitter::countStretchesInFileAtPath(path, &error);
    if (count && *count > 0) return count;
    ENEXDamageReport report;
    report.filePath = path;
    report.fileError = EvernoteXMLParseOperation::notENEXError(path, count ? countError : error);
    log(report.fileError.localizedDescription());
    recordDamageReport(report);
    return std::nullopt;
}

void EvernoteXMLFileExportOperation::exportNextFile(qsizetype index) {
    if (index + 1 < exportFileURLs_.size())
        exportFile(index + 1);
    else
        endRun(Error());
}

void EvernoteXMLFileExportOperation::cancel() {
    EvernoteExportOperation::cancel();
    parserQueue_.cancelAllOperations();
}

void EvernoteXMLFileExportOperation::startExport(qsizetype index) {
    const QUrl fileURL = exportFileURLs_[index];
    const QString filePath = fileURL.toLocalFile();
    log(stringWithFormat(QStringLiteral("Exporting notes from %@"), {filePath}));
    // The group keeps the file's name as it is; the folder gets a safe one,
    // unique among the files of this run.
    const QString fileName = QFileInfo(filePath).fileName();
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString name = dot > 0 ? fileName.left(dot) : fileName;
    QString folderName = QVExtensions::safeFileName(name);
    if (folderName.isEmpty()) folderName = localizedString("Untitled");
    if (index > 0)
        folderName = QVExtensions::makeFilenameUniqueInDirectoryAtURL(folderName, filesPath());
    const QString directory = filesPath() + u'/' + folderName;
    Error underlying;
    if (!FileOperations::makeDirectory(directory, false, &underlying)) {
        log(stringWithFormat(QStringLiteral("Unable to create notebook directory %@: %@"),
                             {directory, underlying}));
        endRun(cannotCreateDirectoryError(underlying));
        return;
    }
    const PlistDictionary group = makeGroupDictionary(name);
    log(QStringLiteral("Exporting notes"));
    informDelegateWillExportRecordsFromFile(noteCount_, fileURL);

    auto parse = makeParseOperation(fileURL, directory, group, [this, index](const Error& error) {
        parseCompleted(index, error);
    });
    if (isCancelled()) parse->cancel();
    parserQueue_.addOperation(parse);
}

void EvernoteXMLFileExportOperation::parseCompleted(qsizetype index, const Error& error) {
    if (!error.isNull() || isCancelled()) {
        endRun(error);
        return;
    }
    log(stringWithFormat(QStringLiteral("*** Export ended for: %@"),
                         {exportFileURLs_[index].toLocalFile()}));
    // The next file is counted and started here, on the parser queue's thread.
    exportNextFile(index);
}
