#include "enex/EvernoteXMLParseOperation.h"

#include <QFile>
#include <exception>

#include "platform/foundation/DateText.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "util/LogLine.h"

namespace {

Error parseError(long code, const QString& message) {
    return Error(kEvernoteXMLParseOperationErrorDomain, code, message);
}

bool isOnlyWhiteSpace(const QString& text) {
    for (const QChar c : text)
        if (!c.isSpace()) return false;
    return true;
}

}  // namespace

std::shared_ptr<EvernoteXMLParseOperation> EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
    const QUrl& fileURL, const QUrl& directoryURL, const PlistDictionary& group) {
    auto operation = std::make_shared<EvernoteXMLParseOperation>();
    operation->evernoteFileURL_ = fileURL;
    operation->directoryURL_ = directoryURL;
    operation->groupDict_ = group;
    return operation;
}

EvernoteXMLParseOperation::EvernoteXMLParseOperation() = default;
EvernoteXMLParseOperation::~EvernoteXMLParseOperation() = default;

void EvernoteXMLParseOperation::log(const QString& line) const { QVExtensions::writeLogLine(logStream_, line); }

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
    {
        std::lock_guard lock(parserMutex_);
        parser_ = &parser;
    }
    if (isCancelled()) parser.abortParsing();
    const bool ok = parser.parse();
    {
        std::lock_guard lock(parserMutex_);
        parser_ = nullptr;
    }
    if (!ok && !finished_) operationError_ = parser.error();
    // A parse that ended without reporting either way still ends the operation once.
    setOperationFinished(true);
}

void EvernoteXMLParseOperation::cancel() {
    {
        std::lock_guard lock(parserMutex_);
        if (parser_) parser_->abortParsing();
    }
    Operation::cancel();
}

void EvernoteXMLParseOperation::setOperationFinished(bool finished) {
    if (!finished || finished_) return;
    finished_ = true;
    {
        std::lock_guard lock(parserMutex_);
        if (parser_) parser_->abortParsing();
    }
    if (completionBlock_) completionBlock_(operationError_);
    setFinished(true);
}

// ---- parser events -----------------------------------------------------------------

void EvernoteXMLParseOperation::didStartElement(const QString& name, const QList<XMLAttribute>& attributes) {
    if (debugMode_) log(stringWithFormat(QStringLiteral("parser:didStartElement: %@"), {name}));
    if (currentElement_ == 0) {
        if (name == QLatin1String("note")) {
            currentElement_ = 1;
            currentItem_ = std::make_unique<EvernoteXMLItem>(directoryURL_);
        }
        return;
    }
    if (currentNoteElement_ == NoteResource) startResourceChild(name, attributes);
    else if (currentNoteElement_ == NoteAttributes) {
        currentNoteAttributesElement_ = name == QLatin1String("source")       ? NoteAttributesSource
                                        : name == QLatin1String("source-url") ? NoteAttributesSourceURL
                                                                              : NoteAttributesNone;
    } else {
        startNoteChild(name);
    }
}

void EvernoteXMLParseOperation::startResourceChild(const QString& name, const QList<XMLAttribute>& attributes) {
    if (name == QLatin1String("data")) {
        QString encoding;
        for (const XMLAttribute& a : attributes)
            if (a.name == QLatin1String("encoding")) encoding = a.value;
        if (encoding != QLatin1String("base64")) {
            operationError_ = parseError(EvernoteXMLParseUnsupportedDataEncoding,
                                         stringWithFormat(localizedString("Cannot parse \"%@\" data."), {encoding}));
            setOperationFinished(true);
            return;
        }
        currentResourceElement_ = ResourceData;
    } else if (name == QLatin1String("mime")) {
        currentResourceElement_ = ResourceMime;
    } else if (name == QLatin1String("width")) {
        currentResourceElement_ = ResourceWidth;
    } else if (name == QLatin1String("height")) {
        currentResourceElement_ = ResourceHeight;
    } else if (name == QLatin1String("resource-attributes")) {
        currentResourceElement_ = ResourceAttributes;
        currentResourceAttributesElement_ = ResourceAttributesNone;
    }
    if (currentResourceElement_ == ResourceAttributes) {
        currentResourceAttributesElement_ = name == QLatin1String("file-name")   ? ResourceAttributesFileName
                                            : name == QLatin1String("timestamp") ? ResourceAttributesTimestamp
                                                                                 : ResourceAttributesNone;
    }
}

void EvernoteXMLParseOperation::startNoteChild(const QString& name) {
    if (name == QLatin1String("title")) currentNoteElement_ = NoteTitle;
    else if (name == QLatin1String("content")) currentNoteElement_ = NoteContent;
    else if (name == QLatin1String("created")) currentNoteElement_ = NoteCreated;
    else if (name == QLatin1String("updated")) currentNoteElement_ = NoteUpdated;
    else if (name == QLatin1String("tag")) currentNoteElement_ = NoteTag;
    else if (name == QLatin1String("resource")) {
        currentNoteElement_ = NoteResource;
        currentResource_ = std::make_unique<EvernoteXMLResource>();
        currentResourceElement_ = ResourceNone;
        currentResourceAttributesElement_ = ResourceAttributesNone;
    } else if (name == QLatin1String("note-attributes")) {
        currentNoteElement_ = NoteAttributes;
        currentNoteAttributesElement_ = NoteAttributesNone;
    } else {
        currentNoteElement_ = NoteNone;
    }
}

void EvernoteXMLParseOperation::foundCharacters(const QString& text) {
    if (debugMode_) log(QStringLiteral("parser:foundCharacters:"));
    if (!currentItem_) return;
    EvernoteXMLItem& item = *currentItem_;
    switch (currentNoteElement_) {
        case NoteTitle: item.title += text; break;
        case NoteContent:
            // Content normally comes as CDATA; ENML written as escaped text is kept too.
            if (!isOnlyWhiteSpace(text)) item.contentData += text.toUtf8();
            break;
        case NoteCreated: item.created = dateFromCompactTimestamp(text.trimmed()); break;
        case NoteUpdated: item.updated = dateFromCompactTimestamp(text.trimmed()); break;
        case NoteTag: item.tags << text.trimmed(); break;
        case NoteResource: resourceCharacters(text); break;
        case NoteAttributes:
            if (currentNoteAttributesElement_ == NoteAttributesSource) item.noteAttributes.source += text;
            else if (currentNoteAttributesElement_ == NoteAttributesSourceURL) item.noteAttributes.sourceURL += text;
            break;
        case NoteNone: break;
    }
}

void EvernoteXMLParseOperation::resourceCharacters(const QString& text) {
    if (!currentResource_) return;
    EvernoteXMLResource& resource = *currentResource_;
    switch (currentResourceElement_) {
        case ResourceData: resource.appendBase64Text(text); break;
        case ResourceMime: resource.mime += text; break;
        case ResourceWidth: resource.width = text.trimmed().toDouble(); break;
        case ResourceHeight: resource.height = text.trimmed().toDouble(); break;
        case ResourceAttributes:
            if (currentResourceAttributesElement_ == ResourceAttributesTimestamp)
                resource.attributes.timestamp = dateFromCompactTimestamp(text.trimmed());
            else if (currentResourceAttributesElement_ == ResourceAttributesFileName)
                resource.attributes.filename += text;
            break;
        case ResourceNone: break;
    }
}

void EvernoteXMLParseOperation::foundCDATA(const QByteArray& bytes) {
    if (debugMode_) log(QStringLiteral("parser:foundCDATA:"));
    if (currentItem_ && currentNoteElement_ == NoteContent) currentItem_->contentData += bytes;
}

void EvernoteXMLParseOperation::didEndElement(const QString& name) {
    if (debugMode_) log(stringWithFormat(QStringLiteral("parser:didEndElement: %@"), {name}));
    if (!currentItem_) return;
    if (name == QLatin1String("note")) {
        finishNote();
    } else if (name == QLatin1String("resource")) {
        if (currentResource_) currentItem_->resources.push_back(std::move(currentResource_));
        currentNoteElement_ = NoteNone;
        currentResourceElement_ = ResourceNone;
    } else if (name == QLatin1String("note-attributes")) {
        currentNoteElement_ = NoteNone;
        currentNoteAttributesElement_ = NoteAttributesNone;
    } else if (name == QLatin1String("resource-attributes")) {
        currentResourceAttributesElement_ = ResourceAttributesNone;
    }
}

void EvernoteXMLParseOperation::finishNote() {
    std::optional<PlistDictionary> itemDict;
    Error error;
    const QString title = currentItem_->title;
    try {
        log(stringWithFormat(QStringLiteral("Converting \"%@\""), {title}));
        itemDict = currentItem_->itemDictInGroup(groupDict_, &error);
    } catch (const std::exception& e) {
        itemDict.reset();
        error = parseError(EvernoteXMLParseConversionException, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        itemDict.reset();
        error = parseError(EvernoteXMLParseConversionException, QStringLiteral("Unknown exception"));
    }
    if (!itemDict) log(stringWithFormat(QStringLiteral("Skipping \"%@\""), {title}));
    currentItem_.reset();  // the note's records go before the next note is read
    currentResource_.reset();
    currentElement_ = 0;
    currentNoteElement_ = NoteNone;
    if (itemBlock_) itemBlock_(itemDict, error);
}

void EvernoteXMLParseOperation::parseErrorOccurred(const Error& error) {
    if (finished_) return;
    operationError_ = error;
    setOperationFinished(true);
}

void EvernoteXMLParseOperation::didEndDocument() { setOperationFinished(true); }
