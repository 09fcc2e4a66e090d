#include "import/EvernoteHTMLExportOperation.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "enex/EvernoteHTMLImportHook.h"
#include "enex/EvernoteXMLResource.h"
#include "platform/foundation/DateText.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/richtext/RTFDPackage.h"
#include "platform/uti/UniformTypes.h"
#include "platform/xml/XMLDocument.h"
#include "util/FileNameRules.h"

namespace {

const QString kHTMLExtension = QStringLiteral("html");

QString formatted(const QString& format, std::initializer_list<FormatArgument> arguments) {
    return stringWithFormat(format, arguments);
}

QString plistText(const PlistDictionary& dictionary) {
    return QString::fromUtf8(PlistValue(dictionary).serialize(PlistValue::Format::Xml));
}

bool isElementNamed(const XMLNode& node, const char* name) {
    return node.isElement() && node.name().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// The canonical path of `path` when it is a regular file inside `folder`
// (symbolic links resolved on both sides); empty otherwise.
QString regularFileInside(const QString& path, const QString& folder) {
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (canonicalFolder.isEmpty() || canonical.isEmpty() || !QFileInfo(canonical).isFile())
        return QString();
    return canonical.startsWith(canonicalFolder + u'/') ? canonical : QString();
}

// The file that an "href" or "src" of a page in `folder` names, when it is a
// regular file inside that folder: the value as a plain relative path first
// (names written unescaped, such as "photo #1.png"), then as a URL relative to
// the page.
QString fileForReference(const QString& reference, const QString& folder) {
    if (const QString plain = regularFileInside(folder + u'/' + reference, folder);
        !plain.isEmpty())
        return plain;
    const QUrl resolved = QUrl::fromLocalFile(folder + u'/').resolved(QUrl(reference));
    return resolved.isLocalFile() ? regularFileInside(resolved.toLocalFile(), folder) : QString();
}

// The address that makes a body's only child a single attachment, or empty.
QString singleAttachmentReference(const XMLNode& child) {
    if (isElementNamed(child, "a")) return child.attribute(QStringLiteral("href"));
    if (isElementNamed(child.firstChild(), "a"))
        return child.firstChild().attribute(QStringLiteral("href"));
    if (isElementNamed(child, "img")) return child.attribute(QStringLiteral("src"));
    return QString();
}

// Replaces a link whose text is an attachment's file name, and which leads to
// that very file, by the attachment itself; the first such link of each file
// in the resources folder beside `htmlPath`. A file whose name the text never
// shows as such a link stays out (and other links stay links).
void embedLinkedAttachments(AttributedString& text, const QString& htmlPath) {
    const QFileInfo html(htmlPath);
    const QString resources =
        html.absolutePath() + u'/' + html.completeBaseName() + QStringLiteral(".resources");
    // Hidden files too: only a link to the file itself embeds it, so a
    // file no link names (".DS_Store") stays out anyway, and an attachment
    // whose name starts with "." is not lost.
    const QFileInfoList files =
        QDir(resources).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString canonical = regularFileInside(file.absoluteFilePath(), resources);
        if (canonical.isEmpty()) continue;
        const QString name = file.fileName();
        // Every occurrence is tried: the name may stand in the text before its link.
        for (qsizetype at = text.string().indexOf(name); at >= 0;
             at = text.string().indexOf(name, at + name.size())) {
            TextRange run;
            TextAttributes attributes = text.attributesAtIndex(at, &run);
            const std::optional<QUrl>& link = attributes.link;
            if (!link || link->fileName() != name || !link->isLocalFile() ||
                QFileInfo(link->toLocalFile()).canonicalFilePath() != canonical)
                continue;
            attributes.link.reset();
            attributes.attachment =
                TextAttachment(FileWrapper::regularFileWithContentsOfPath(canonical, name));
            text.replaceCharactersInRange(
                run, AttributedString(QString(QChar(TextAttachment::Character)), attributes));
            break;
        }
    }
}

}  // namespace

EvernoteHTMLExportOperation::EvernoteHTMLExportOperation() = default;
EvernoteHTMLExportOperation::~EvernoteHTMLExportOperation() = default;

// ---- the notebook ---------------------------------------------------------------------

void EvernoteHTMLExportOperation::performExportForNotebook(
    const std::shared_ptr<EvernoteNotebook>& notebook, const QString& notebookFilesPath,
    const PlistDictionary& group) {
    const QString htmlFolder = notebookFilesPath + QStringLiteral("/HTML");
    Error error;
    if (!FileOperations::makeDirectory(htmlFolder, true, &error)) {
        exportNotebookDidEnd(notebook, error);
        return;
    }
    const QList<EvernoteNote> notes = notebook->notes();
    reportSource_ = addReportSource(notes.isEmpty() ? QString() : notes.first().notebookPath,
                                    group.value(ItemKeys::Name).toString());
    for (const EvernoteNote& note : notes) {
        if (isCancelled()) {
            exportNotebookDidEnd(notebook,
                                 Error(kEvernoteExportErrorDomain, EvernoteExportCancelled));
            return;
        }
        if (!exportOneNote(notebook, note, htmlFolder, notebookFilesPath, group)) return;
    }
    exportNotebookDidEnd(notebook, Error());
}

bool EvernoteHTMLExportOperation::exportOneNote(const std::shared_ptr<EvernoteNotebook>& notebook,
                                                const EvernoteNote& note, const QString& htmlFolder,
                                                const QString& notebookFilesPath,
                                                const PlistDictionary& group) {
    log(formatted(QStringLiteral("Exporting note with title: %@"), {note.title}));
    const QString exportName = QVExtensions::makeFilenameUniqueInDirectoryAtURL(
        QVExtensions::stringSanitizedForFileName(note.title) + u'.' + kHTMLExtension, htmlFolder);
    const QString exportFolder = htmlFolder + u'/' + exportName;
    evernoteApp()->exportNotes({note}, QUrl::fromLocalFile(exportFolder), false,
                               kEvernoteExportFormatHTML);
    log(formatted(QStringLiteral("Converting file to note: %@"), {exportName}));

    const QString htmlFile = exportedHTMLFile(exportFolder);
    if (htmlFile.isEmpty()) {
        log(formatted(QStringLiteral("Cannot convert note because exported file not found: %@"),
                      {note.title}));
        const Error missing(kEvernoteExportErrorDomain, EvernoteExportNoteConversionFailed,
                            localizedString("Evernote gave no export of the note."));
        recordSkippedNote(note.title, missing);
        reportNote(note, {0, 0}, std::nullopt, missing);
        return true;
    }
    Error error;
    // Counted first: the conversion moves the attachments into the item.
    const auto attachments =
        reportSource_ >= 0 ? attachmentsOfExport(exportFolder) : std::pair<qsizetype, qint64>();
    const auto item = itemForExportedPage(note, htmlFile, notebookFilesPath, group, &error);
    reportNote(note, attachments, item, error);
    if (!item) {
        log(formatted(QStringLiteral("Skipping item %@: %@"),
                      {QFileInfo(htmlFile).fileName(), error}));
        recordSkippedNote(note.title, error);
        informDelegateDidExportRecord();
        if (error.domain() == kEvernoteExportErrorDomain &&
            error.code() == EvernoteExportLibraryImportFailed) {
            exportNotebookDidEnd(notebook, error);  // the description cannot take more items
            return false;
        }
        if (const auto stop = noteErrorEndsRun(error, notebookFilesPath)) {
            exportNotebookDidEnd(notebook, *stop);
            return false;
        }
        return true;
    }
    informDelegateDidExportRecord();
    return true;
}

std::pair<qsizetype, qint64> EvernoteHTMLExportOperation::attachmentsOfExport(
    const QString& exportFolder) {
    std::pair<qsizetype, qint64> attachments{0, 0};
    const QString page = QDir(exportFolder).absolutePath();
    QDirIterator files(exportFolder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QFileInfo file = files.nextFileInfo();
        if (file.absolutePath() == page) continue;  // the page itself
        ++attachments.first;
        attachments.second += file.size();
    }
    return attachments;
}

void EvernoteHTMLExportOperation::reportNote(const EvernoteNote& note,
                                             std::pair<qsizetype, qint64> attachments,
                                             const std::optional<PlistDictionary>& item,
                                             const Error& error) {
    if (reportSource_ < 0) return;
    NoteReport::Entry entry;
    entry.source = reportSource_;
    entry.index = note.index < 0 ? 0 : static_cast<unsigned long>(note.index);
    entry.title = note.title;
    entry.created = note.creationDate;
    entry.updated = note.modificationDate;
    entry.attachments = attachments.first;
    entry.attachmentBytes = attachments.second;
    if (item) {
        entry.itemType = static_cast<int>(item->value(ItemKeys::ItemType).toInteger());
        entry.identifier = item->value(ItemKeys::Identifier).toString();
    } else {
        entry.outcome = NoteReport::Outcome::Skipped;
        entry.error = error;
    }
    addReportEntry(std::move(entry));
}

QString EvernoteHTMLExportOperation::exportedHTMLFile(const QString& exportFolder) {
    for (const QFileInfo& entry : QDir(exportFolder).entryInfoList(QDir::Files, QDir::Name))
        if (entry.suffix() == kHTMLExtension) return entry.absoluteFilePath();
    return QString();
}

std::optional<PlistDictionary> EvernoteHTMLExportOperation::itemForExportedPage(
    const EvernoteNote& note, const QString& htmlFile, const QString& notebookFilesPath,
    const PlistDictionary& group, Error* error) {
    bool isSingleAttachment = false;
    QUrl attachmentURL;
    Error examination;
    if (!exportedNoteAtPath(htmlFile, &isSingleAttachment, &attachmentURL, &examination)) {
        log(formatted(QStringLiteral("Couldn't check for attachment in exported file %@: %@"),
                      {QFileInfo(htmlFile).fileName(), examination}));
        isSingleAttachment = false;
    }
    if (!isSingleAttachment) return exportNote(note, htmlFile, notebookFilesPath, group, error);
    const QString file = attachmentURL.toLocalFile();
    const QString type = UniformTypes::preferredIdentifierForExtension(QFileInfo(file).suffix());
    return exportNote(note, itemTypeForAttachmentType(type), file, notebookFilesPath, group, error);
}

// ---- examining the exported page --------------------------------------------------------

bool EvernoteHTMLExportOperation::exportedNoteAtPath(const QString& path, bool* isSingleAttachment,
                                                     QUrl* attachmentURL, Error* error) const {
    if (isSingleAttachment) *isSingleAttachment = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        posixError(ENOENT, path + QStringLiteral(": ") + file.errorString()).report(error);
        return false;
    }
    const std::unique_ptr<XMLDocument> document = XMLDocument::parseHTML(file.readAll(), error);
    if (!document) return false;
    const QList<XMLNode> bodies = document->nodesForXPath(QStringLiteral("html/body"));
    if (bodies.isEmpty()) return false;
    const QList<XMLNode> children = bodies.last().children();
    if (children.size() != 1) return true;
    const QString reference = singleAttachmentReference(children.first());
    if (reference.isEmpty() || reference.startsWith(QLatin1String("http"))) return true;
    const QString attachment = fileForReference(reference, QFileInfo(path).absolutePath());
    if (attachment.isEmpty()) return true;
    if (attachmentURL) *attachmentURL = QUrl::fromLocalFile(attachment);
    if (isSingleAttachment) *isSingleAttachment = true;
    return true;
}

int EvernoteHTMLExportOperation::itemTypeForAttachmentType(const QString& type) {
    const auto conforms = [&](const char* parent) {
        return UniformTypes::conformsTo(type, QLatin1String(parent));
    };
    if (conforms("public.image")) return EvernoteItemTypeImage;
    if (conforms("public.movie")) return EvernoteItemTypeMovie;
    if (conforms("public.audio")) return EvernoteItemTypeSound;
    if (conforms("com.apple.webarchive")) return EvernoteItemTypeWebPage;
    if (conforms("public.html")) return EvernoteItemTypeWebPage;
    if (conforms("com.apple.web-internet-location")) return EvernoteItemTypeBookmark;
    systemLog(formatted(QStringLiteral("Defaulting to document type: %@"), {type}));
    return EvernoteItemTypeDocument;
}

QString EvernoteHTMLExportOperation::identifierForNoteLink(const QString& noteLink) {
    const QStringList components = QUrl(noteLink).path().split(u'/', Qt::SkipEmptyParts);
    return components.isEmpty() ? makeUUIDString() : components.last();
}

// ---- items ------------------------------------------------------------------------------

std::optional<PlistDictionary> EvernoteHTMLExportOperation::exportNote(
    const EvernoteNote& note, const QString& htmlFile, const QString& directory,
    const PlistDictionary& folder, Error* error) {
    const QString packageName = QVExtensions::makeFilenameUniqueInDirectoryAtURL(
        QFileInfo(htmlFile).completeBaseName() + QStringLiteral(".pmnote"), directory);
    EvernoteHTMLConversionRequest request;
    request.originalHTMLFilePath = htmlFile;
    request.noteFilePath = directory + u'/' + packageName;
    request.originalNote = note;
    convertEvernoteToPelmora(request);
    if (!request.success) {
        request.error.report(error);
        return std::nullopt;
    }
    if (debugMode()) log(formatted(QStringLiteral("Updating dates on file: %@"), {packageName}));
    setDatesOnFile(request.noteFilePath, note, true);
    if (debugMode()) log(QStringLiteral("Creating note record"));
    const QString identifier = unusedIdentifierForNote(note);
    log(formatted(QStringLiteral("Assigning identifier %@ to note %@"), {identifier, note.title}));

    PlistDictionary item;
    item.set(ItemKeys::EntityName, QStringLiteral("Item"));
    item.set(ItemKeys::ItemType, static_cast<qint64>(EvernoteItemTypeNote));
    item.set(ItemKeys::Identifier, identifier);
    item.set(ItemKeys::AbsoluteFilename, request.noteFilePath);
    item.set(ItemKeys::Filename, packageName);
    item.set(ItemKeys::Name, QFileInfo(packageName).completeBaseName());
    item.set(ItemKeys::ExtensionHidden, true);
    const auto stored = storeItem(item, note, folder, error);
    if (stored && debugMode())
        log(formatted(QStringLiteral("Created note record:\n%@"), {plistText(*stored)}));
    return stored;
}

std::optional<PlistDictionary> EvernoteHTMLExportOperation::exportNote(
    const EvernoteNote& note, int itemType, const QString& attachmentFile, const QString&,
    const PlistDictionary& folder, Error* error) {
    const QFileInfo file(attachmentFile);
    if (debugMode())
        log(formatted(QStringLiteral("Updating dates on file: %@"), {file.fileName()}));
    setDatesOnFile(attachmentFile, note, false);
    if (debugMode()) log(QStringLiteral("Creating attachment record"));
    const QString identifier = makeUUIDString();
    log(formatted(QStringLiteral("Assigning identifier %@ to file %@"),
                  {identifier, file.fileName()}));

    PlistDictionary item;
    item.set(ItemKeys::EntityName, QStringLiteral("Item"));
    item.set(ItemKeys::ItemType, static_cast<qint64>(itemType));
    item.set(ItemKeys::Identifier, identifier);
    item.set(ItemKeys::AbsoluteFilename, file.absoluteFilePath());
    item.set(ItemKeys::Filename, file.fileName());
    item.set(ItemKeys::Name, file.completeBaseName());
    item.set(ItemKeys::ExtensionHidden, true);
    storedIdentifiers_.insert(identifier);
    const auto stored = storeItem(item, note, folder, error);
    if (stored && debugMode())
        log(formatted(QStringLiteral("Created PDF record:\n%@"), {plistText(*stored)}));
    return stored;
}

std::optional<PlistDictionary> EvernoteHTMLExportOperation::storeItem(PlistDictionary item,
                                                                      const EvernoteNote& note,
                                                                      const PlistDictionary& folder,
                                                                      Error* error) {
    item.set(ItemKeys::Folder, folder.value(ItemKeys::Identifier).toString());
    // The note list gives the title and dates but not the ENML: the note key
    // can be had, a fingerprint of the content cannot.
    item.set(
        ItemKeys::EvernoteNoteKey,
        EvernoteNoteFingerprint::ofFields(note.title, note.creationDate, QByteArray()).noteKey);
    if (!note.sourceURL.isEmpty()) item.set(ItemKeys::Comments, note.sourceURL);
    QStringList tags;
    for (const QString& tag : note.tags)
        if (!tag.isEmpty()) tags << tag;
    if (!tags.isEmpty()) item.set(ItemKeys::TagsString, tags.join(u','));
    const PlistDictionary attributes = EvernoteAttributes::dictionary(note.attributes);
    if (!attributes.isEmpty()) item.set(ItemKeys::EvernoteAttributes, attributes);
    Error writeError;
    if (!addItemToDescription(item, folder, &writeError)) {
        libraryImportFailedError(writeError).report(error);
        return std::nullopt;
    }
    return item;
}

QString EvernoteHTMLExportOperation::identifierForIndexedNote(const EvernoteNote& note) const {
    const QStringList components = QUrl(note.noteLink).path().split(u'/', Qt::SkipEmptyParts);
    return components.isEmpty() ? QString() : identifierForNoteLink(note.noteLink);
}

QString EvernoteHTMLExportOperation::unusedIdentifierForNote(const EvernoteNote& note) {
    QString identifier = identifierForNoteLink(note.noteLink);
    // The identifier that links to the note were given (the same one when
    // its note link has one).
    if (const auto links = runNoteLinks())
        identifier = links->identifierForNote(note.title, identifier);
    if (storedIdentifiers_.contains(identifier)) {
        const QString fresh = makeUUIDString();
        log(formatted(
            QStringLiteral("Identifier %@ of note %@ is taken by an earlier item; using %@"),
            {identifier, note.title, fresh}));
        identifier = fresh;
    }
    storedIdentifiers_.insert(identifier);
    return identifier;
}

void EvernoteHTMLExportOperation::setDatesOnFile(const QString& path, const EvernoteNote& note,
                                                 bool hideExtension) const {
    FileResourceValues values;
    values.creationDate = note.creationDate;
    values.contentModificationDate = note.modificationDate;
    if (hideExtension) values.hasHiddenExtension = true;
    values.extendedAttributes = EvernoteAttributes::extendedAttributes(note.attributes);
    Error error;
    if (!setResourceValues(path, values, &error))
        systemLog(formatted(QStringLiteral("Couldn't set the dates of %@: %@"), {path, error}));
}

// ---- conversion ---------------------------------------------------------------------------

void EvernoteHTMLExportOperation::convertEvernoteToPelmora(
    EvernoteHTMLConversionRequest& request) const {
    const QString& htmlPath = request.originalHTMLFilePath;
    const QString htmlName = QFileInfo(htmlPath).fileName();
    const QString packageName = QFileInfo(request.noteFilePath).fileName();
    if (debugMode()) log(formatted(QStringLiteral("Opening file: %@"), {htmlName}));

    const PlistDictionary options =
        textImportOptions().value(QStringLiteral("WebPreferences")).toDictionary();
    WebPreferences preferences;
    preferences.setStandardFontFamily(
        options.value(QStringLiteral("StandardFontFamily")).toString());
    preferences.setDefaultFontSize(
        static_cast<int>(options.value(QStringLiteral("DefaultFontSize")).toInteger()));
    Error error;
    const EvernoteHTMLImportHook noteHook;
    std::optional<AttributedString> text =
        HTMLImporter::attributedStringFromHTMLFile(htmlPath, preferences, &error, &noteHook);
    if (!text) {
        log(formatted(QStringLiteral("Unable to read file at path %@: %@"), {htmlPath, error}));
        request.success = false;
        request.error = error;
        return;
    }
    if (debugMode()) log(formatted(QStringLiteral("Opened file: %@"), {htmlName}));
    std::optional<FileWrapper> package;
    try {
        embedLinkedAttachments(*text, htmlPath);
        if (const auto links = runNoteLinks())
            links->resolveLinksInText(*text, request.originalNote.title);
        package = RTFDPackage::fileWrapperFromAttributedString(*text, RTFDocumentAttributes());
    } catch (const std::exception&) {  // a text range gone wrong fails this note only
        const QString message = stringWithFormat(
            localizedString("Unable to create file wrapper for file at path: %@"), {htmlPath});
        log(message);
        request.success = false;
        request.error =
            Error(kEvernoteExportErrorDomain, EvernoteExportNoteConversionFailed, message);
        return;
    }

    if (debugMode()) log(formatted(QStringLiteral("About to save file: %@"), {packageName}));
    // Written beside the target and renamed into place: a failed write leaves nothing.
    request.success = package->writeToPath(request.noteFilePath, true, &error);
    if (request.success) {
        if (debugMode()) log(formatted(QStringLiteral("Saved file: %@"), {packageName}));
    } else {
        request.error = error;
        log(formatted(QStringLiteral("Unable to save file %@: %@"), {packageName, error}));
    }
}
