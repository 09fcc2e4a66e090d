#include "platform/apps/EvernoteHTMLNoteExport.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include "platform/foundation/FileNameLength.h"
#include "platform/foundation/FileOperations.h"
#include "platform/uti/UniformTypes.h"
#include "platform/xml/XMLDocument.h"

namespace {

const QString kResourcesExtension = QStringLiteral("resources");
const QString kUntitled = QStringLiteral("Untitled");

// Elements that HTML writes without content or end tag.
bool isVoidElement(const QString& name) {
    static const QSet<QString> kVoid{
        QStringLiteral("area"), QStringLiteral("base"),   QStringLiteral("br"),
        QStringLiteral("col"),  QStringLiteral("embed"),  QStringLiteral("hr"),
        QStringLiteral("img"),  QStringLiteral("input"),  QStringLiteral("link"),
        QStringLiteral("meta"), QStringLiteral("source"), QStringLiteral("track"),
        QStringLiteral("wbr")};
    return kVoid.contains(name);
}

bool isElementNamed(const XMLNode& node, const char* name) {
    return node.isElement() && node.name() == QLatin1String(name);
}

// The note's only content is one attachment: an en-media, or a div holding one
// en-media and nothing but line breaks beside it.
bool isSingleMediaNode(const XMLNode& node) {
    if (isElementNamed(node, "en-media")) return true;
    if (!isElementNamed(node, "div")) return false;
    int media = 0;
    for (const XMLNode& child : node.children()) {
        if (isElementNamed(child, "en-media"))
            ++media;
        else if (!isElementNamed(child, "br"))
            return false;
    }
    return media == 1;
}

XMLNode onlyMediaOf(const XMLNode& node) {
    if (isElementNamed(node, "en-media")) return node;
    for (const XMLNode& child : node.children())
        if (isElementNamed(child, "en-media")) return child;
    return {};
}

// "/" and control characters cannot stand in one name; "." and ".." name folders.
QString withUnsafeCharactersReplaced(QString name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool pairedHigh =
            c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        if (pairedHigh) {
            ++i;
            continue;
        }
        if (c == u'/' || c.category() == QChar::Other_Control || c.isSurrogate()) name[i] = u'-';
    }
    if (name == QLatin1String(".") || name == QLatin1String("..")) name = QStringLiteral("-");
    return name;
}

QString escapedText(const QString& text) { return text.toHtmlEscaped(); }

QString percentEncoded(const QString& component) {
    return QString::fromLatin1(QUrl::toPercentEncoding(component));
}

}  // namespace

EvernoteHTMLNoteExport::EvernoteHTMLNoteExport(XMLNode note) {
    for (const XMLNode& child : note.children()) {
        if (isElementNamed(child, "title"))
            title_ = child.textContent();
        else if (isElementNamed(child, "content"))
            content_ = child.textContent();
    }
    baseName_ = baseNameForTitle(title_);
    readAttachments(note);
}

QString EvernoteHTMLNoteExport::baseNameForTitle(const QString& title) {
    QString name = title.trimmed();
    const qsizetype lineBreak =
        name.indexOf(QRegularExpression(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]")));
    if (lineBreak >= 0) name = name.left(lineBreak).trimmed();
    for (QChar& c : name)
        if (c == u':' || c == u'~') c = u'-';
    name = withUnsafeCharactersReplaced(name);
    if (name.startsWith(u'.')) name[0] = u'-';
    if (name.isEmpty()) name = kUntitled;
    // "Base.resources" is the longest name made from it.
    const qsizetype room =
        FileNameLength::maximumBytes - 1 - FileNameLength::utf8Length(kResourcesExtension);
    return FileNameLength::leadingCharacters(name, room);
}

QString EvernoteHTMLNoteExport::fileNameForAttachment(const QString& name, const QString& mime) {
    QString result = withUnsafeCharactersReplaced(name);
    if (result.isEmpty()) {
        result = kUntitled;
        const QString extension =
            UniformTypes::preferredExtension(UniformTypes::preferredIdentifierForMIMEType(mime));
        if (!extension.isEmpty()) result += u'.' + extension;
    }
    return FileNameLength::fittedName(result);
}

void EvernoteHTMLNoteExport::readAttachments(XMLNode note) {
    QSet<QString> usedNames;
    for (const XMLNode& resource : note.children()) {
        if (!isElementNamed(resource, "resource")) continue;
        Attachment attachment;
        QString name;
        for (const XMLNode& part : resource.children()) {
            if (isElementNamed(part, "data"))
                attachment.data = QByteArray::fromBase64(part.textContent().toLatin1());
            else if (isElementNamed(part, "mime"))
                attachment.mime = part.textContent().trimmed();
            else if (isElementNamed(part, "resource-attributes"))
                for (const XMLNode& attribute : part.children())
                    if (isElementNamed(attribute, "file-name")) name = attribute.textContent();
        }
        // Unique without regard to case, as Evernote's own export folder may be.
        const QString wanted = fileNameForAttachment(name, attachment.mime);
        QString unique = wanted;
        const qsizetype dot = wanted.lastIndexOf(u'.');
        const QString base = dot > 0 ? wanted.left(dot) : wanted;
        const QString extension = dot > 0 ? wanted.mid(dot + 1) : QString();
        for (long n = 1; usedNames.contains(unique.toCaseFolded()); ++n)
            unique = FileNameLength::numberedName(base, extension, n);
        usedNames.insert(unique.toCaseFolded());
        attachment.fileName = unique;
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(attachment.data, QCryptographicHash::Md5).toHex());
        attachmentByHash_.insert(hash, attachments_.size());
        attachments_.append(attachment);
    }
}

bool EvernoteHTMLNoteExport::writeToFolder(const QString& folder, Error* error) {
    const QString page = pageForContent(content_, error);
    if (page.isNull()) return false;
    if (!FileOperations::makeDirectory(folder, true, error)) return false;
    if (!FileOperations::writeFile(folder + u'/' + baseName_ + QStringLiteral(".html"),
                                   page.toUtf8(), FileOperations::WriteMode::NewOnly, error))
        return false;
    return writeAttachments(folder, error);
}

bool EvernoteHTMLNoteExport::writeAttachments(const QString& folder, Error* error) const {
    if (attachments_.isEmpty()) return true;
    const QString resources = folder + u'/' + baseName_ + u'.' + kResourcesExtension;
    if (!FileOperations::makeDirectory(resources, false, error)) return false;
    for (const Attachment& attachment : attachments_)
        if (!FileOperations::writeFile(resources + u'/' + attachment.fileName, attachment.data,
                                       FileOperations::WriteMode::NewOnly, error))
            return false;
    return true;
}

QString EvernoteHTMLNoteExport::pageForContent(const QString& content, Error* error) {
    const std::unique_ptr<XMLDocument> document = XMLDocument::parse(
        content.trimmed().isEmpty() ? QByteArrayLiteral("<en-note/>") : content.toUtf8(), error);
    if (!document) return QString();
    XMLNode enNote = document->nodesForXPath(QStringLiteral("//en-note")).value(0);
    if (enNote.isNull()) enNote = document->rootElement();
    QString page = QStringLiteral(
                       "<!DOCTYPE html>\n<html><head>"
                       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
                       "<title>%1</title></head>")
                       .arg(escapedText(title_));
    page += bodyForNote(enNote);
    page += QStringLiteral("</html>\n");
    return page;
}

QString EvernoteHTMLNoteExport::bodyForNote(XMLNode enNote) {
    const QList<XMLNode> children = enNote.children();
    QString body;
    if (children.size() == 1 && attachments_.size() == 1 && isSingleMediaNode(children.first())) {
        // The note's only attachment, whatever its media tag names, and nothing
        // else in the body, not even white space: the reader sees one child.
        attachments_.first().shown = true;
        return QStringLiteral("<body>") +
               elementForAttachment(attachments_.first(), onlyMediaOf(children.first())) +
               QStringLiteral("</body>");
    }
    QString style = enNote.attribute(QStringLiteral("style"));
    body = style.isEmpty() ? QStringLiteral("<body>")
                           : QStringLiteral("<body style=\"%1\">").arg(escapedText(style));
    for (const XMLNode& child : children) writeNode(child, body);
    for (const Attachment& attachment : attachments_)
        if (!attachment.shown)
            body += QStringLiteral("<div>") + elementForAttachment(attachment) +
                    QStringLiteral("</div>");
    return body + QStringLiteral("</body>");
}

void EvernoteHTMLNoteExport::writeNode(XMLNode node, QString& out) {
    switch (node.type()) {
        case XMLNode::Type::Text:
        case XMLNode::Type::CDATA:
            out += escapedText(node.textContent());
            break;
        case XMLNode::Type::Element:
            writeElement(node, out);
            break;
        default:
            break;  // comments, processing instructions: not part of the page
    }
}

void EvernoteHTMLNoteExport::writeElement(XMLNode element, QString& out) {
    const QString name = element.name().toLower();
    if (name == QLatin1String("en-media")) {
        writeMedia(element, out);
        return;
    }
    if (name == QLatin1String("en-todo")) {
        const bool checked = element.attribute(QStringLiteral("checked")) == QLatin1String("true");
        out += checked ? QStringLiteral("<input type=\"checkbox\" checked>")
                       : QStringLiteral("<input type=\"checkbox\">");
        return;
    }
    if (name == QLatin1String("en-crypt")) {
        out += QStringLiteral("********");
        return;
    }
    out += u'<' + name;
    for (const XMLAttribute& attribute : element.attributes())
        out += QStringLiteral(" %1=\"%2\"").arg(attribute.name, escapedText(attribute.value));
    out += u'>';
    if (isVoidElement(name)) return;
    for (const XMLNode& child : element.children()) writeNode(child, out);
    out += QStringLiteral("</") + name + u'>';
}

void EvernoteHTMLNoteExport::writeMedia(XMLNode media, QString& out) {
    const auto found =
        attachmentByHash_.find(media.attribute(QStringLiteral("hash")).trimmed().toLower());
    if (found == attachmentByHash_.end()) return;  // names no attachment of the note
    Attachment& attachment = attachments_[*found];
    attachment.shown = true;
    out += elementForAttachment(attachment, media);
}

QString EvernoteHTMLNoteExport::referenceForAttachment(const Attachment& attachment) const {
    return percentEncoded(baseName_ + u'.' + kResourcesExtension) + u'/' +
           percentEncoded(attachment.fileName);
}

QString EvernoteHTMLNoteExport::elementForAttachment(const Attachment& attachment,
                                                     XMLNode media) const {
    const QString type = UniformTypes::preferredIdentifierForMIMEType(attachment.mime);
    if (UniformTypes::conformsTo(type, QStringLiteral("public.image"))) {
        QString image = QStringLiteral("<img src=\"%1\"").arg(referenceForAttachment(attachment));
        for (const QString& dimension : {QStringLiteral("width"), QStringLiteral("height")})
            if (media.hasAttribute(dimension))
                image += QStringLiteral(" %1=\"%2\"")
                             .arg(dimension, escapedText(media.attribute(dimension)));
        return image + u'>';
    }
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(referenceForAttachment(attachment), escapedText(attachment.fileName));
}
