#include "enex/EvernoteXMLItem.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>

#include "enex/EvernoteNoteLinkURL.h"
#include "enex/EvernoteTaskPlacement.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/DateText.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/uti/UniformTypes.h"
#include "util/ConversionWarnings.h"
#include "util/FileNameRules.h"

namespace {

constexpr qint64 kFolderGroupType = 70;
constexpr long kRevertToNoteCode = 1002;
// Refuses a note with more of `name` than `limit`, saying what it holds.
bool withinElementLimit(XMLDocument& document, XMLNode note, const QString& name, qsizetype limit,
                        const QString& what, Error* error) {
    const qsizetype count = document.nodesForXPath(QStringLiteral(".//") + name, note).size();
    if (count <= limit) return true;
    Error(kEvernoteXMLItemErrorDomain, 1001,
          localizedString("The note holds %1 %2, more than the %3 a note may have.")
              .arg(count)
              .arg(what)
              .arg(limit))
        .report(error);
    return false;
}

bool isElementNamed(const XMLNode& node, const char* name) {
    return node.isElement() && node.name() == QLatin1String(name);
}

// A single attachment is the note's only child: an en-media, or a div holding
// exactly one en-media and nothing but br elements beside it.
bool isSingleMediaNode(const XMLNode& child) {
    if (isElementNamed(child, "en-media")) return true;
    if (!isElementNamed(child, "div")) return false;
    int media = 0;
    for (const XMLNode& grandchild : child.children()) {
        if (isElementNamed(grandchild, "en-media"))
            ++media;
        else if (!isElementNamed(grandchild, "br"))
            return false;
    }
    return media == 1;
}

// Content that holds no element: nothing, or only the XML declaration, a
// document type and comments, as newer exports write an empty note.
bool isEmptyENML(const QByteArray& content) {
    qsizetype position = 0;
    for (;;) {
        while (position < content.size() && QChar::isSpace(uchar(content.at(position)))) ++position;
        if (position == content.size()) return true;
        if (!content.mid(position, 2).startsWith("<?") &&
            !content.mid(position, 2).startsWith("<!"))
            return false;
        const bool isComment = content.mid(position, 4) == "<!--";
        const qsizetype end =
            isComment ? content.indexOf("-->", position) : content.indexOf('>', position);
        if (end < 0) return false;
        position = end + (isComment ? 3 : 1);
    }
}

// Makes a new "en-note" element the document's root, holding the old root.
XMLNode wrapRootElement(XMLDocument& document) {
    XMLNode root = document.rootElement();
    if (root.isNull()) return XMLNode();
    XMLNode wrapper = document.createElement(QStringLiteral("en-note"));
    root.unlink();
    document.setRootElement(wrapper);
    wrapper.addChild(root);
    return wrapper;
}

}  // namespace

EvernoteXMLItem::EvernoteXMLItem(EvernoteNoteRecord record, const QUrl& directory)
    : directoryURL(directory), record_(std::move(record)) {}

EvernoteXMLItem::EvernoteXMLItem(const QUrl& directory)
    : EvernoteXMLItem(EvernoteNoteRecord(), directory) {}

EvernoteXMLItem::~EvernoteXMLItem() = default;

std::optional<QString> EvernoteXMLItem::libraryFolderForType(int type) {
    switch (type) {
        case EvernoteItemTypeNote:
            return QStringLiteral("Notes");
        case EvernoteItemTypeDocument:
            return QStringLiteral("Documents");
        case EvernoteItemTypeImage:
            return QStringLiteral("Images");
        case EvernoteItemTypeSound:
            return QStringLiteral("Sounds");
        case EvernoteItemTypeMovie:
            return QStringLiteral("Movies");
        case EvernoteItemTypeBookmark:
            return QStringLiteral("Bookmarks");
        case EvernoteItemTypeWebPage:
            return QStringLiteral("Web Pages");
        default:
            return std::nullopt;
    }
}

QString EvernoteXMLItem::targetFolderForType(int type) const {
    const QString directory = directoryURL.toLocalFile();
    if (groupDict.value(QStringLiteral("groupType")).toInteger() == kFolderGroupType)
        return directory;
    return directory + u'/' + libraryFolderForType(type).value_or(QString());
}

bool EvernoteXMLItem::isSingleAttachment(XMLNode note) const {
    const QList<XMLNode> children = note.children();
    return children.size() == 1 && record_.resources.size() == 1 &&
           isSingleMediaNode(children.first());
}

std::optional<PlistDictionary> EvernoteXMLItem::itemDictInGroup(const PlistDictionary& group,
                                                                Error* error) {
    groupDict = group;
    PlistDictionary dict;
    dict.set(ItemKeys::EntityName, QStringLiteral("Item"));
    dict.set(ItemKeys::Name, record_.title);
    dict.set(ItemKeys::Identifier, record_.identifier);
    if (record_.created.isValid()) dict.set(ItemKeys::DateCreated, record_.created);
    if (record_.updated.isValid()) dict.set(ItemKeys::DateModified, record_.updated);
    if (!record_.noteAttributes.sourceURL.isEmpty())
        dict.set(ItemKeys::Comments, record_.noteAttributes.sourceURL);
    if (!record_.tags.isEmpty()) dict.set(ItemKeys::TagsString, record_.tags.join(u','));
    const PlistDictionary attributesDict = EvernoteAttributes::dictionary(attributes());
    if (!attributesDict.isEmpty()) dict.set(ItemKeys::EvernoteAttributes, attributesDict);

    // An attachment lost on its way in (a full disk) fails the note: leaving
    // it out would lose it without a word, and the run must learn of the disk.
    for (const auto& resource : record_.resources)
        if (!resource->wasStored(error)) return std::nullopt;

    // A note with nothing in it (content holding at most the XML declaration)
    // is still a note: its title, dates and tags are kept in an empty package.
    const QByteArray& content = record_.contentData;
    // Most notes link to no other: their trees need no search for links.
    const bool mayLinkToNotes =
        noteLinks_ &&
        ((noteLinks_->mayMeetNoteLinks() && EvernoteNoteLinkURL::mayHoldNoteLinks(content)) ||
         (encryptedPassages_ && content.contains("en-crypt")));
    document_ =
        XMLDocument::parse(isEmptyENML(content) ? QByteArrayLiteral("<en-note/>") : content, error);
    record_.contentData = QByteArray();  // in the tree now; the text is not needed twice
    if (!document_) return std::nullopt;
    XMLNode note = document_->nodesForXPath(QStringLiteral("en-note")).value(0);
    if (note.isNull()) note = wrapRootElement(*document_);
    if (note.isNull()) {
        Error(kEvernoteXMLItemErrorDomain, 1001, localizedString("The note has no content."))
            .report(error);
        return std::nullopt;
    }

    // Opened passages are note text like any other, limits and attachments included.
    if (encryptedPassages_)
        encryptedPassages_->decryptPassagesInNote(*document_, note, record_.title);
    // Links inside opened passages lead to their notes as well.
    if (mayLinkToNotes) noteLinks_->resolveLinksInNote(note, record_.title);

    if (!withinElementLimit(*document_, note, QStringLiteral("en-todo"), maximumCheckBoxes,
                            QStringLiteral("check boxes"), error) ||
        !withinElementLimit(*document_, note, QStringLiteral("en-media"), maximumMediaTags,
                            QStringLiteral("attachment tags"), error)) {
        document_.reset();
        return std::nullopt;
    }

    if (isSingleAttachment(note) && processSingleResource(dict, error)) {
        document_.reset();
        return dict;
    }

    // Whatever the note becomes, its tasks and every attachment are in it.
    mediaDelegate().appendUnreferencedResources(*document_, note);
    EvernoteTaskPlacement::placeTasks(*document_, note, record_.tasks, record_.title);

    std::optional<QString> file;
    if (isWebClipSource(record_.noteAttributes.source) &&
        !record_.noteAttributes.sourceURL.isEmpty()) {
        file = convertWebClip(note, dict, error);
    } else {
        dict.set(ItemKeys::ItemType, static_cast<qint64>(EvernoteItemTypeNote));
        file = createNoteForElement(note, error);
    }
    document_.reset();
    if (!file) return std::nullopt;

    const QFileInfo info(*file);
    // PMNoteFile gives the new package it writes a hidden extension.
    setAttributesOnFile(*file, info.suffix() == PMNoteFile::fileExtension);
    dict.set(ItemKeys::Filename, info.fileName());
    dict.set(ItemKeys::AbsoluteFilename, info.absoluteFilePath());
    dict.set(ItemKeys::Name, info.completeBaseName());
    dict.set(ItemKeys::ExtensionHidden, true);
    return dict;
}

EvernoteENMLImportDelegate& EvernoteXMLItem::mediaDelegate() {
    if (!media_)
        media_ = std::make_unique<EvernoteENMLImportDelegate>(record_.resources, record_.title);
    media_->startOver();
    return *media_;
}

bool EvernoteXMLItem::isRefreshableWebURL(const QUrl& url) {
    // QUrl keeps schemes in lower case, so "HTTPS:" is "https" here.
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

bool EvernoteXMLItem::isWebClipSource(const QString& source) {
    static const QRegularExpression kWebClip(QStringLiteral("^web\\.clip[0-9]*$"));
    return kWebClip.match(source).hasMatch();
}

std::optional<QString> EvernoteXMLItem::convertWebClip(XMLNode note, PlistDictionary& dict,
                                                       Error* error) {
    // The stored clip is archived from a page written beside its images.
    const QString scratch = directoryURL.toLocalFile() + u'/' + record_.identifier;
    if (::mkdir(QFile::encodeName(scratch).constData(), 0700) != 0) {
        posixError(errno, scratch).report(error);
        return std::nullopt;
    }
    intermediateHTMLDirectoryURL = QUrl::fromLocalFile(scratch);
    dict.set(ItemKeys::ItemType, static_cast<qint64>(EvernoteItemTypeWebPage));
    bool reload = UserDefaults::standard().boolForKey(QStringLiteral("ReloadFromWeb"));
    if (reload && !isRefreshableWebURL(QUrl(record_.noteAttributes.sourceURL))) {
        systemLog(stringWithFormat(
            QStringLiteral("Not refreshing web clipping “%@” from %@: only http and https pages "
                           "are loaded; using the original data."),
            {record_.title, record_.noteAttributes.sourceURL}));
        reload = false;
    }
    Error attemptError;
    std::optional<QString> file = createWebArchiveForElement(note, reload, &attemptError);
    if (!file && reload) {
        ConversionWarnings::log(
            stringWithFormat(QStringLiteral("Refreshing web clipping from web failed, "
                                            "retrying with original data. Failure: %@"),
                             {attemptError}));
        attemptError = Error();
        file = createWebArchiveForElement(note, false, &attemptError);
    }
    QDir(scratch).removeRecursively();
    intermediateHTMLDirectoryURL.clear();
    if (!file && attemptError.code() == kRevertToNoteCode) {
        ConversionWarnings::log(
            QStringLiteral("Web archive conversion failed, reverting to note."));
        dict.set(ItemKeys::ItemType, static_cast<qint64>(EvernoteItemTypeNote));
        return createNoteForElement(note, error);
    }
    if (!file) attemptError.report(error);
    return file;
}

bool EvernoteXMLItem::processSingleResource(PlistDictionary& dict, Error* error) {
    EvernoteXMLResource& resource = *record_.resources.front();
    // The attachment's own name as a note package would hold it (control
    // characters replaced, so that a line break cannot cut off the extension;
    // an image's type extension added where the name lacks it).
    QString name = resource.attributes.filename.isEmpty()
                       ? QString()
                       : EvernoteENMLImportDelegate::fileNameForResource(
                             resource, UniformTypes::preferredIdentifierForMIMEType(resource.mime));
    const QString extension = QFileInfo(name).suffix();
    // A title without text would leave only ".ext": keep the attachment's own name then.
    if (!extension.isEmpty() && !record_.title.trimmed().isEmpty())
        name = record_.title + u'.' + extension;
    name = QVExtensions::safeFileName(name);
    if (name.isEmpty()) {
        name = localizedString("Untitled");
        const QString preferred =
            resource.mime.isEmpty()
                ? QString()
                : UniformTypes::preferredExtension(
                      UniformTypes::preferredIdentifierForMIMEType(resource.mime));
        if (!preferred.isEmpty()) name += u'.' + preferred;
    }
    const int type = resource.itemType();
    const QString folder = targetFolderForType(type);
    const auto target = reserveTargetName(name, folder);
    if (!resource.writeToURL(target->path(), error)) return false;
    dict.set(ItemKeys::ItemType, static_cast<qint64>(type));
    dict.set(ItemKeys::Filename, target->fileName());
    dict.set(ItemKeys::AbsoluteFilename, target->path());
    setAttributesOnFile(target->path());
    return true;
}

void EvernoteXMLItem::setAttributesOnFile(const QString& path, bool extensionHidden) const {
    FileResourceValues values;
    if (!extensionHidden) values.hasHiddenExtension = true;
    values.creationDate = record_.created;
    values.contentModificationDate = record_.updated;
    if (!record_.tags.isEmpty()) values.tagNames = record_.tags;
    values.extendedAttributes = EvernoteAttributes::extendedAttributes(attributes());
    Error error;
    if (setResourceValues(path, values, &error)) return;
    systemLog(stringWithFormat(QStringLiteral("Couldn't set resource values on %@"),
                               {QUrl::fromLocalFile(path)}));
    systemLog(error.localizedDescription());
}

EvernoteAttributeList EvernoteXMLItem::attributes() const {
    EvernoteAttributeList all = record_.noteAttributes.fields;
    int position = 0;
    for (const auto& resource : record_.resources) {
        ++position;
        for (const EvernoteAttribute& field : resource->attributes.fields)
            all.append({EvernoteAttributes::resourceFieldName(position, field.name), field.value});
    }
    return all;
}
