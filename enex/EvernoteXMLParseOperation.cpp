#include "enex/EvernoteXMLParseOperation.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <exception>

#include "enex/ENEXNoteRecovery.h"
#include "platform/foundation/DateText.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "util/ConversionWarnings.h"
#include "util/LogLine.h"

namespace {

Error parseError(long code, const QString& message) {
    return Error(kEvernoteXMLParseOperationErrorDomain, code, message);
}

}  // namespace

std::shared_ptr<EvernoteXMLParseOperation>
EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(const QUrl& fileURL,
                                                              const QUrl& directoryURL,
                                                              const PlistDictionary& group) {
    auto operation = std::make_shared<EvernoteXMLParseOperation>();
    operation->evernoteFileURL_ = fileURL;
    operation->directoryURL_ = directoryURL;
    operation->groupDict_ = group;
    return operation;
}

Error EvernoteXMLParseOperation::notENEXError(const QString& path, const Error& cause) {
    return parseError(
        EvernoteXMLParseNotENEX,
        stringWithFormat(localizedString("“%@” could not be read as an ENEX file: %@"),
                         {path, cause.localizedDescription()}));
}

EvernoteXMLParseOperation::EvernoteXMLParseOperation() = default;
EvernoteXMLParseOperation::~EvernoteXMLParseOperation() = default;

void EvernoteXMLParseOperation::log(const QString& line) const {
    QVExtensions::writeLogLine(logStream_, line);
}

// Cancellation is read once, here: Operation::start would read it again and
// finish a parse cancelled in between without its completion block. From
// here on a cancel reaches main() through the parser.
void EvernoteXMLParseOperation::start() {
    if (isFinished() || isExecuting()) return;
    setExecuting(true);
    if (isCancelled()) {
        setOperationFinished(true);
        return;
    }
    main();
}

void EvernoteXMLParseOperation::main() {
    setExecuting(true);
    QFile input(evernoteFileURL_.toLocalFile());
    if (evernoteFileURL_.isEmpty() || !evernoteFileURL_.isLocalFile()) {
        operationError_ = parseError(EvernoteXMLParseCannotCreateInputStream,
                                     localizedString("Cannot create input stream."));
        setOperationFinished(true);
        return;
    }
    XMLStreamParser parser(&input);
    parser.setDelegate(this);
    conversionGroup_ = groupDict_.deepCopy();
    const int workers =
        workerCount_ > 0 ? workerCount_ : EvernoteConversionPool::idealWorkerCount();
    // A few notes beyond those converting, so that no worker waits for the parser.
    auto pool = std::make_unique<EvernoteConversionPool>(
        workers, 2 * workers, [this](EvernoteXMLItem& item) { return convert(item); });
    {
        std::lock_guard lock(parserMutex_);
        parser_ = &parser;
        pool_ = std::move(pool);
    }
    if (isCancelled()) parser.abortParsing();
    const bool ok = parser.parse();
    {
        std::lock_guard lock(parserMutex_);
        parser_ = nullptr;
    }
    if (!ok && !finished_ && !documentEnded_ && !damageError_.isNull() && !isCancelled())
        recoverAfterDamage();
    else if (!ok && !finished_ && !documentEnded_)
        operationError_ = parser.error();
    // A parse that ended without reporting either way still ends the operation once.
    setOperationFinished(true);
}

// Marked first: main() looks at the mark after it publishes its parser, so
// either it sees the mark or this sees the parser.
void EvernoteXMLParseOperation::cancel() {
    Operation::cancel();
    std::lock_guard lock(parserMutex_);
    if (parser_) parser_->abortParsing();
    if (pool_) pool_->cancel();
}

void EvernoteXMLParseOperation::setOperationFinished(bool finished) {
    if (!finished || finished_) return;
    finished_ = true;
    {
        std::lock_guard lock(parserMutex_);
        if (parser_) parser_->abortParsing();
    }
    handOnRemainingNotes();
    std::unique_ptr<EvernoteConversionPool> pool;
    {
        std::lock_guard lock(parserMutex_);
        pool = std::move(pool_);
    }
    pool.reset();  // waits for conversions still running after a cancel; drops their results
    currentNote_.reset();  // a note cut short, with its attachment files
    currentResource_.reset();
    currentTask_.reset();
    field_ = Field::None;
    if (completionBlock_) completionBlock_(operationError_);
    setFinished(true);
}

// ---- parser events -----------------------------------------------------------------

void EvernoteXMLParseOperation::didStartElement(const QString& name,
                                                const QList<XMLAttribute>& attributes) {
    if (pastEnd()) return;  // after the end, whatever the parser still reports is ignored
    if (debugMode_) log(stringWithFormat(QStringLiteral("parser:didStartElement: %@"), {name}));
    if (!currentNote_) {
        if (name == QLatin1String("note")) currentNote_ = std::make_unique<EvernoteNoteRecord>();
        return;
    }
    path_.append(name);
    fieldText_.clear();
    startNoteChild(attributes);
}

EvernoteXMLParseOperation::Field EvernoteXMLParseOperation::fieldForPath() const {
    static const QHash<QString, Field> kFields = {
        {QStringLiteral("title"), Field::Title},
        {QStringLiteral("content"), Field::Content},
        {QStringLiteral("created"), Field::Created},
        {QStringLiteral("updated"), Field::Updated},
        {QStringLiteral("tag"), Field::Tag},
        {QStringLiteral("note-attributes/source"), Field::Source},
        {QStringLiteral("note-attributes/source-url"), Field::SourceURL},
        {QStringLiteral("resource/data"), Field::ResourceData},
        {QStringLiteral("resource/mime"), Field::ResourceMime},
        {QStringLiteral("resource/width"), Field::ResourceWidth},
        {QStringLiteral("resource/height"), Field::ResourceHeight},
        {QStringLiteral("resource/resource-attributes/file-name"), Field::ResourceFileName},
        {QStringLiteral("resource/resource-attributes/timestamp"), Field::ResourceTimestamp},
        {QStringLiteral("task/title"), Field::TaskTitle},
        {QStringLiteral("task/taskStatus"), Field::TaskStatus},
        {QStringLiteral("task/sortWeight"), Field::TaskSortWeight},
        {QStringLiteral("task/taskGroupNoteLevelID"), Field::TaskGroup},
        {QStringLiteral("task/dueDate"), Field::TaskDueDate},
        {QStringLiteral("task/dueDateUIOption"), Field::TaskDueDateOption},
        {QStringLiteral("task/timeZone"), Field::TaskTimeZone},
        {QStringLiteral("task/taskFlag"), Field::TaskFlag},
        {QStringLiteral("task/reminder/reminderDate"), Field::TaskReminderDate},
        {QStringLiteral("task/reminder/timeZone"), Field::TaskReminderTimeZone},
    };
    if (path_.size() > 3) return Field::None;
    const Field field = kFields.value(path_.join(u'/'), Field::None);
    if (field != Field::None) return field;
    if (path_.size() == 2 && path_.first() == QLatin1String("note-attributes"))
        return Field::NoteAttribute;
    if (path_.size() == 3 && path_.first() == QLatin1String("resource") &&
        path_.at(1) == QLatin1String("resource-attributes"))
        return Field::ResourceAttribute;
    return Field::None;
}

void EvernoteXMLParseOperation::startNoteChild(const QList<XMLAttribute>& attributes) {
    if (path_.size() == 1 && path_.first() == QLatin1String("resource"))
        currentResource_ = std::make_unique<EvernoteXMLResource>(directoryURL_.toLocalFile(),
                                                                 attachmentMemoryLimit_);
    else if (path_.size() == 1 && path_.first() == QLatin1String("task"))
        currentTask_ = std::make_unique<EvernoteXMLTask>();
    field_ = fieldForPath();
    if ((field_ == Field::ResourceData && !currentResource_) ||
        (field_ >= Field::TaskTitle && !currentTask_))
        field_ = Field::None;
    fieldKey_.clear();
    if (field_ == Field::NoteAttribute || field_ == Field::ResourceAttribute)
        for (const XMLAttribute& a : attributes)
            if (a.name == QLatin1String("key")) fieldKey_ = a.value;
    if (field_ != Field::ResourceData) return;
    QString encoding;
    for (const XMLAttribute& a : attributes)
        if (a.name == QLatin1String("encoding")) encoding = a.value;
    if (encoding.trimmed() != QLatin1String("base64")) {
        operationError_ =
            parseError(EvernoteXMLParseUnsupportedDataEncoding,
                       stringWithFormat(localizedString("Cannot parse \"%@\" data."), {encoding}));
        setOperationFinished(true);
    }
}

void EvernoteXMLParseOperation::foundCharacters(const QString& text) {
    if (pastEnd()) return;  // after the end, whatever the parser still reports is ignored
    if (debugMode_) log(QStringLiteral("parser:foundCharacters:"));
    switch (field_) {
        case Field::None:
            break;
        case Field::ResourceData:
            currentResource_->appendBase64Text(text);
            break;
        // Content given as escaped text rather than CDATA keeps every character.
        case Field::Content:
            currentNote_->contentData += text.toUtf8();
            break;
        default:
            fieldText_ += text;
            break;
    }
}

void EvernoteXMLParseOperation::foundCDATA(const QByteArray& bytes) {
    if (pastEnd()) return;  // after the end, whatever the parser still reports is ignored
    if (debugMode_) log(QStringLiteral("parser:foundCDATA:"));
    if (recoversDamage_ && !readingStretch_ && field_ == Field::Content &&
        bytes.contains("</content>")) {
        stopAtUnclosedSection();
        return;
    }
    if (field_ == Field::Content)
        currentNote_->contentData += bytes;
    else if (field_ != Field::None && field_ != Field::ResourceData)
        fieldText_ += QString::fromUtf8(bytes);
}

void EvernoteXMLParseOperation::didEndElement(const QString& name) {
    if (pastEnd()) return;  // after the end, whatever the parser still reports is ignored
    if (debugMode_) log(stringWithFormat(QStringLiteral("parser:didEndElement: %@"), {name}));
    if (!currentNote_) return;
    if (path_.isEmpty()) {
        if (name == QLatin1String("note")) finishNote();
        return;
    }
    endNoteChild();
    path_.removeLast();
    field_ = Field::None;
    fieldText_.clear();
}

void EvernoteXMLParseOperation::endNoteChild() {
    if (field_ != Field::None) takeFieldText(fieldText_);
    if (path_.size() != 1) return;
    if (path_.first() == QLatin1String("resource") && currentResource_) {
        currentResource_
            ->finishDecoding();  // closes a large attachment's file; a failure is met again on use
        currentNote_->resources.push_back(std::move(currentResource_));
    } else if (path_.first() == QLatin1String("task") && currentTask_)
        currentNote_->tasks.push_back(std::move(*currentTask_)), currentTask_.reset();
}

// Stores the text of the element that just ended. Values that are tokens
// (dates, types, names, addresses) are trimmed; an indented export and the
// same export on one line give the same values.
void EvernoteXMLParseOperation::takeFieldText(const QString& text) {
    EvernoteNoteRecord& item = *currentNote_;
    const QString token = text.trimmed();
    switch (field_) {
        case Field::None:
        case Field::ResourceData:
            break;
        case Field::Title:
            item.title = text;
            break;
        case Field::Content:
            item.contentData = item.contentData.trimmed();
            break;
        case Field::Created:
            item.created = dateFromCompactTimestamp(token);
            break;
        case Field::Updated:
            item.updated = dateFromCompactTimestamp(token);
            break;
        case Field::Tag:
            if (!token.isEmpty()) item.tags << token;
            break;
        case Field::Source:
            item.noteAttributes.source = token;
            keepNoteAttribute(text);
            break;
        case Field::SourceURL:
            item.noteAttributes.sourceURL = token;
            keepNoteAttribute(text);
            break;
        case Field::NoteAttribute:
            keepNoteAttribute(text);
            break;
        case Field::ResourceMime:
            currentResource_->mime = token;
            break;
        case Field::ResourceWidth:
            currentResource_->width = token.toDouble();
            break;
        case Field::ResourceHeight:
            currentResource_->height = token.toDouble();
            break;
        case Field::ResourceFileName:
            currentResource_->attributes.filename = token;
            keepResourceAttribute(text);
            break;
        case Field::ResourceTimestamp:
            currentResource_->attributes.timestamp = dateFromCompactTimestamp(token);
            keepResourceAttribute(text);
            break;
        case Field::ResourceAttribute:
            keepResourceAttribute(text);
            break;
        case Field::TaskTitle:
            currentTask_->title = text;
            break;
        case Field::TaskStatus:
            currentTask_->status = token;
            break;
        case Field::TaskSortWeight:
            currentTask_->sortWeight = token;
            break;
        case Field::TaskGroup:
            currentTask_->taskGroupNoteLevelID = token;
            break;
        case Field::TaskDueDate:
            currentTask_->dueDate = dateFromCompactTimestamp(token);
            break;
        case Field::TaskDueDateOption:
            currentTask_->dueDateUIOption = token;
            break;
        case Field::TaskTimeZone:
            currentTask_->timeZone = token;
            break;
        case Field::TaskFlag:
            currentTask_->flagged = token == QLatin1String("true");
            break;
        case Field::TaskReminderDate:
            currentTask_->reminderDate = dateFromCompactTimestamp(token);
            break;
        case Field::TaskReminderTimeZone:
            currentTask_->reminderTimeZone = token;
            break;
    }
}

void EvernoteXMLParseOperation::keepNoteAttribute(const QString& text) {
    const QString& element = path_.last();
    currentNote_->noteAttributes.fields.append({EvernoteAttributes::fieldName(element, fieldKey_),
                                                EvernoteAttributes::keptValue(element, text)});
}

void EvernoteXMLParseOperation::keepResourceAttribute(const QString& text) {
    if (!currentResource_) return;
    const QString& element = path_.last();
    currentResource_->attributes.fields.append({EvernoteAttributes::fieldName(element, fieldKey_),
                                                EvernoteAttributes::keptValue(element, text)});
}

void EvernoteXMLParseOperation::finishNote() {
    auto item = std::make_unique<EvernoteXMLItem>(std::move(*currentNote_), directoryURL_);
    item->setEncryptedPassages(encryptedPassages_);
    item->setNoteLinks(noteLinks_);
    currentNote_.reset();
    currentResource_.reset();
    currentTask_.reset();
    path_.clear();
    field_ = Field::None;
    if (readingStretch_) {
        stretchNotes_.push_back(std::move(item));
        return;
    }
    if (!damageError_.isNull()) return;  // the damaged note, ended before the abort took hold
    addToPool(std::move(item), false, notesRead_++);
}

void EvernoteXMLParseOperation::addToPool(std::unique_ptr<EvernoteXMLItem> item, bool repaired,
                                          unsigned long index) {
    handOnConvertedNotes(true);
    if (isCancelled()) return;  // the note is dropped with its attachment files
    // Given here, in document order, to the notes that convert, and only once.
    if (noteLinks_) {
        EvernoteNoteRecord& record = item->record();
        record.identifier = noteLinks_->identifierForNote(record.title, record.identifier);
    }
    pool_->add(std::move(item));
    pooled_.push_back({repaired, index});
    handOnConvertedNotes(false);
}

// Runs on a worker of the pool.
EvernoteConversionResult EvernoteXMLParseOperation::convert(EvernoteXMLItem& item) const {
    EvernoteConversionResult result;
    result.title = item.record().title;
    ConversionWarnings warnings;
    const EvernoteNoteFingerprint digests = EvernoteNoteFingerprint::ofRecord(item.record());
    if (libraryCheck_) {
        EvernoteLibraryMatch match = libraryCheck_(digests);
        if (match.duplicateOf) {
            // Not converted; its attachment files go with the converter.
            result.duplicateOf = std::move(match.duplicateOf);
            if (noteLinks_) noteLinks_->noteWasNotImported(item.record().identifier);
            takeReportedFacts(item.record(), warnings, result);
            return result;
        }
        result.earlierVersion = std::move(match.earlierVersion);
    }
    try {
        result.itemDict = item.itemDictInGroup(conversionGroup_, &result.error);
        if (result.itemDict) {
            result.itemDict->set(ItemKeys::EvernoteFingerprint, digests.fingerprint);
            result.itemDict->set(ItemKeys::EvernoteNoteKey, digests.noteKey);
        }
    } catch (const std::exception& e) {
        result.itemDict.reset();
        result.error =
            parseError(EvernoteXMLParseConversionException, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        result.itemDict.reset();
        result.error =
            parseError(EvernoteXMLParseConversionException, QStringLiteral("Unknown exception"));
    }
    takeReportedFacts(item.record(), warnings, result);
    // Links already led to this note must learn that it gave no item.
    if (!result.itemDict && noteLinks_) noteLinks_->noteWasNotImported(item.record().identifier);
    return result;
}

void EvernoteXMLParseOperation::takeReportedFacts(const EvernoteNoteRecord& record,
                                                  const ConversionWarnings& warnings,
                                                  EvernoteConversionResult& result) {
    result.created = record.created;
    result.updated = record.updated;
    result.attachments = static_cast<qsizetype>(record.resources.size());
    for (const auto& resource : record.resources) result.attachmentBytes += resource->decodedSize();
    result.warnings = warnings.warnings();
}

void EvernoteXMLParseOperation::handOnConvertedNotes(bool untilRoom) {
    while (!isCancelled()) {
        auto result = pool_->takeNext(untilRoom && pool_->isFull());
        if (!result) return;
        handOn(*result);
    }
}

void EvernoteXMLParseOperation::handOnRemainingNotes() {
    if (!pool_) return;
    while (!isCancelled() && !pool_->isEmpty()) {
        auto result = pool_->takeNext(true);
        if (!result) return;
        handOn(*result);
    }
}

void EvernoteXMLParseOperation::handOn(const EvernoteConversionResult& result) {
    PooledNote pooled;
    if (!pooled_.empty()) {
        pooled = pooled_.front();
        pooled_.pop_front();
    }
    if (result.duplicateOf) {
        handOnDuplicate(result, pooled.index);
        return;
    }
    log(stringWithFormat(QStringLiteral("Converting \"%@\""), {result.title}));
    if (!result.itemDict) log(stringWithFormat(QStringLiteral("Skipping \"%@\""), {result.title}));
    const bool repaired = pooled.repaired;
    if (!result.itemDict)
        ++report_.skipped;
    else if (repaired)
        ++report_.repaired;
    else
        ++report_.imported;
    handingOn_ = &result;
    indexHandedOn_ = pooled.index;
    repairedHandedOn_ = repaired;
    if (itemBlock_) itemBlock_(result.itemDict, result.error);
    handingOn_ = nullptr;
}

void EvernoteXMLParseOperation::handOnDuplicate(const EvernoteConversionResult& result,
                                                unsigned long index) {
    // The library holds the note: for the file's account it is imported.
    ++report_.imported;
    handingOn_ = &result;
    indexHandedOn_ = index;
    repairedHandedOn_ = false;
    if (duplicateBlock_) duplicateBlock_(result.title, *result.duplicateOf);
    handingOn_ = nullptr;
}

void EvernoteXMLParseOperation::parseErrorOccurred(const Error& error) {
    if (pastEnd() || readingStretch_) return;  // a stretch's parse reports its own error
    // Damage, not a cancel: main() goes on with the recovery.
    if (recoversDamage_ && !isCancelled() &&
        (!damageError_.isNull() || error.code() != XMLParserAbortedErrorCode)) {
        if (damageError_.isNull()) damageError_ = error;
        return;
    }
    operationError_ = error;
    setOperationFinished(true);
}

// The operation finishes once the parser has returned (main): by then it has
// freed its buffers, which hold the last notes' text, while the conversions
// of those notes still run. A stretch read in recovery ends nothing.
void EvernoteXMLParseOperation::didEndDocument() {
    if (!readingStretch_) documentEnded_ = true;
}

// ---- recovery ---------------------------------------------------------------------

void EvernoteXMLParseOperation::stopAtUnclosedSection() {
    std::lock_guard lock(parserMutex_);
    damageError_ = parseError(
        EvernoteXMLParseUnclosedSection,
        stringWithFormat(localizedString("Line %ld: a CDATA section in the content of a note "
                                         "runs past its </content>"),
                         {static_cast<long long>(parser_ ? parser_->lineNumber() : 0)}));
    if (parser_) parser_->abortParsing();
}

void EvernoteXMLParseOperation::resetNoteState() {
    currentNote_.reset();  // a note cut short, with its attachment files
    currentResource_.reset();
    currentTask_.reset();
    path_.clear();
    field_ = Field::None;
    fieldText_.clear();
}

void EvernoteXMLParseOperation::recoverAfterDamage() {
    const QString filePath = evernoteFileURL_.toLocalFile();
    log(stringWithFormat(
        localizedString("The parser stopped in %@: %@; the rest of the file is read note by note"),
        {filePath, damageError_.localizedDescription()}));
    resetNoteState();
    ENEXNoteRecovery recovery(
        filePath, damagedNotesFolder_,
        [this](const QByteArray& xml, bool repaired, Error* error) {
            return readNoteStretch(xml, repaired, error);
        },
        [this](const QString& line) { log(line); });
    recovery.setStretchObserver([this](unsigned long index) { stretchIndex_ = index; });
    recovery.setLostNoteObserver(
        [this](unsigned long index, const QString& title, const QString& reason) {
            if (lostNoteBlock_)
                lostNoteBlock_(index, title, parseError(EvernoteXMLParseNoteLost, reason));
        });
    recovery.readNotesFrom(notesRead_, [this] { return isCancelled() || finished_; });
    report_.filePath = filePath;
    report_.found = notesRead_ + recovery.found();
    report_.lost = recovery.lost();
    report_.endsInsideNote = recovery.endsInsideNote();
    if (report_.found > 0) return;
    // Nothing that looks like a note: not ENEX at all, or not readable.
    report_.fileError =
        notENEXError(filePath, recovery.fileError().isNull() ? damageError_ : recovery.fileError());
    log(report_.fileError.localizedDescription());
}

bool EvernoteXMLParseOperation::readNoteStretch(const QByteArray& noteXML, bool repaired,
                                                Error* error) {
    // The document type as exports give it: the HTML entities that notes use
    // read as their characters (the DTD itself is never loaded).
    static const QByteArray kStart =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE en-export SYSTEM "
        "\"http://xml.evernote.com/pub/evernote-export3.dtd\">"
        "<en-export>";
    QByteArray document = kStart + noteXML + "</en-export>";
    QBuffer input(&document);
    XMLStreamParser parser(&input);
    parser.setDelegate(this);
    {
        std::lock_guard lock(parserMutex_);
        parser_ = &parser;
    }
    if (isCancelled()) parser.abortParsing();
    readingStretch_ = true;
    const bool ok = parser.parse();
    readingStretch_ = false;
    {
        std::lock_guard lock(parserMutex_);
        parser_ = nullptr;
    }
    resetNoteState();
    std::vector<std::unique_ptr<EvernoteXMLItem>> notes = std::move(stretchNotes_);
    stretchNotes_.clear();
    if (!ok || finished_ || notes.empty()) {
        (ok ? parseError(EvernoteXMLParseNotENEX, localizedString("No note could be read."))
            : parser.error())
            .report(error);
        return false;
    }
    for (auto& note : notes) addToPool(std::move(note), repaired, stretchIndex_);
    return true;
}
