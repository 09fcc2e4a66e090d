#include "tests/support/ENEXReader.h"

#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTimeZone>
#include <functional>
#include <memory>

namespace {

struct ReaderDeleter {
    void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};
using Reader = std::unique_ptr<xmlTextReader, ReaderDeleter>;

QString utf8(const xmlChar* text) {
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

// "20130730T205204Z", the only date form ENEX uses.
QDateTime enexDate(const QString& text) {
    QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    date.setTimeZone(QTimeZone::utc());
    return date;
}

// Standard base64 with every character outside its alphabet skipped (exports
// wrap the data in lines).
QString digestOfBase64(const QByteArray& text) {
    QByteArray clean;
    clean.reserve(text.size());
    for (char c : text)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '+' || c == '/' || c == '=')
            clean += c;
    const QByteArray bytes = QByteArray::fromBase64(clean);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// A leaf element's text: as written, and as a token (trimmed).
struct ElementText {
    QByteArray bytes;
    QString value() const { return QString::fromUtf8(bytes); }
    QString token() const { return value().trimmed(); }
};

using ValueSetter = std::function<void(ENEXNote&, const ElementText&)>;

// The values read, by the path of their element below en-export.
const QHash<QString, ValueSetter>& valueSetters() {
    static const QHash<QString, ValueSetter> setters = {
        {QStringLiteral("note/title"),
         [](ENEXNote& n, const ElementText& t) { n.title = t.value(); }},
        {QStringLiteral("note/created"),
         [](ENEXNote& n, const ElementText& t) { n.created = enexDate(t.token()); }},
        {QStringLiteral("note/updated"),
         [](ENEXNote& n, const ElementText& t) { n.updated = enexDate(t.token()); }},
        {QStringLiteral("note/tag"),
         [](ENEXNote& n, const ElementText& t) {
             if (!t.token().isEmpty()) n.tags << t.token();
         }},
        {QStringLiteral("note/content"),
         [](ENEXNote& n, const ElementText& t) { n.content = t.bytes; }},
        {QStringLiteral("note/note-attributes/source"),
         [](ENEXNote& n, const ElementText& t) { n.source = t.token(); }},
        {QStringLiteral("note/note-attributes/source-url"),
         [](ENEXNote& n, const ElementText& t) { n.sourceURL = t.token(); }},
        {QStringLiteral("note/resource/data"),
         [](ENEXNote& n, const ElementText& t) {
             n.resources.last().digest = digestOfBase64(t.bytes);
         }},
        {QStringLiteral("note/resource/mime"),
         [](ENEXNote& n, const ElementText& t) { n.resources.last().mime = t.token(); }},
        {QStringLiteral("note/resource/resource-attributes/file-name"),
         [](ENEXNote& n, const ElementText& t) { n.resources.last().fileName = t.token(); }},
        {QStringLiteral("note/task/title"),
         [](ENEXNote& n, const ElementText& t) { n.tasks.last().title = t.token(); }},
        {QStringLiteral("note/task/taskStatus"),
         [](ENEXNote& n, const ElementText& t) {
             n.tasks.last().completed = t.token() == QLatin1String("completed");
         }},
        {QStringLiteral("note/task/sortWeight"),
         [](ENEXNote& n, const ElementText& t) { n.tasks.last().sortWeight = t.token(); }},
        {QStringLiteral("note/task/taskGroupNoteLevelID"),
         [](ENEXNote& n, const ElementText& t) { n.tasks.last().groupID = t.token(); }},
    };
    return setters;
}

// Files a leaf element's text (the path names the open elements below
// en-export) into the note being read.
void fileValue(const QStringList& path, const QByteArray& text, ENEXNote& note) {
    if (path.size() == 3 && path[1] == QLatin1String("note-attributes"))
        note.attributes.append({path[2], ElementText{text}.token()});
    else if (path.size() == 4 && path[1] == QLatin1String("resource") &&
             path[2] == QLatin1String("resource-attributes") && !note.resources.isEmpty())
        note.resources.last().attributes.append({path[3], ElementText{text}.token()});
    const auto setter = valueSetters().constFind(path.join(u'/'));
    if (setter != valueSetters().constEnd()) (*setter)(note, ElementText{text});
}

void elementDidStart(const QStringList& path, QList<ENEXNote>& notes) {
    const QString joined = path.join(u'/');
    if (joined == QLatin1String("note"))
        notes.append(ENEXNote());
    else if (joined == QLatin1String("note/resource"))
        notes.last().resources.append(ENEXResource());
    else if (joined == QLatin1String("note/task"))
        notes.last().tasks.append(ENEXTask());
}

QString readerError(const QString& where) {
    return QStringLiteral("%1 is not well-formed XML").arg(where);
}

// Walks the whole export: each element's own text (text and CDATA nodes that
// are its children) goes to it when it ends; white space between child
// elements goes to their parent, which no value takes.
std::optional<QList<ENEXNote>> readNotes(xmlTextReaderPtr reader, const QString& where,
                                         QString* error) {
    QList<ENEXNote> notes;
    QStringList path;  // below en-export
    QList<QByteArray> texts;
    int status;
    while ((status = xmlTextReaderRead(reader)) == 1) {
        const int depth = xmlTextReaderDepth(reader);
        switch (xmlTextReaderNodeType(reader)) {
            case XML_READER_TYPE_ELEMENT: {
                if (depth == 0) break;  // en-export
                path = path.mid(0, depth - 1);
                texts = texts.mid(0, depth - 1);
                path << utf8(xmlTextReaderConstLocalName(reader));
                // Application data is told apart by its key.
                if (path.last() == QLatin1String("application-data")) {
                    xmlChar* key = xmlTextReaderGetAttribute(reader, BAD_CAST "key");
                    if (key) path.last() += u'.' + utf8(key);
                    xmlFree(key);
                }
                texts << QByteArray();
                elementDidStart(path, notes);
                if (xmlTextReaderIsEmptyElement(reader)) {
                    if (!notes.isEmpty()) fileValue(path, QByteArray(), notes.last());
                    path.removeLast();
                    texts.removeLast();
                }
                break;
            }
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                if (!texts.isEmpty() && depth == texts.size() + 1)
                    texts.last() += reinterpret_cast<const char*>(xmlTextReaderConstValue(reader));
                break;
            case XML_READER_TYPE_END_ELEMENT:
                if (depth == 0 || path.size() != depth) break;
                if (!notes.isEmpty()) fileValue(path, texts.last(), notes.last());
                path.removeLast();
                texts.removeLast();
                break;
            default:
                break;
        }
    }
    if (status != 0) {
        if (error) *error = readerError(where);
        return std::nullopt;
    }
    return notes;
}

const QRegularExpression& checkedListItemStyle() {
    static const QRegularExpression re(QStringLiteral("--en-checked\\s*:\\s*(true|false)"));
    return re;
}

const QRegularExpression& taskGroupStyle() {
    static const QRegularExpression re(QStringLiteral("--en-task-group\\s*:\\s*true"));
    return re;
}

const QRegularExpression& identifierStyle() {
    static const QRegularExpression re(QStringLiteral("--en-id\\s*:\\s*([^;\\s]+)"));
    return re;
}

bool isNamed(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name);
}

QString attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, BAD_CAST name);
    const QString text = utf8(value);
    xmlFree(value);
    return text;
}

// Text nodes holding only white space show nothing; every other node counts.
bool isBlank(const xmlNode* node) {
    if (node->type == XML_COMMENT_NODE) return true;
    if (node->type != XML_TEXT_NODE && node->type != XML_CDATA_SECTION_NODE) return false;
    return utf8(node->content).trimmed().isEmpty();
}

QList<const xmlNode*> visibleChildren(const xmlNode* node) {
    QList<const xmlNode*> children;
    for (const xmlNode* child = node->children; child; child = child->next)
        if (!isBlank(child)) children << child;
    return children;
}

bool isDivWithOnlyOneMedia(const xmlNode* node) {
    if (!isNamed(node, "div")) return false;
    int media = 0;
    for (const xmlNode* child : visibleChildren(node)) {
        if (isNamed(child, "en-media"))
            ++media;
        else if (!isNamed(child, "br"))
            return false;
    }
    return media == 1;
}

void collectOutline(const xmlNode* node, ENMLOutline& outline) {
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        const QString style = attribute(child, "style");
        if (isNamed(child, "en-media")) {
            outline.media << ENMLMedia{attribute(child, "hash").trimmed(),
                                       attribute(child, "type").trimmed()};
        } else if (isNamed(child, "en-todo")) {
            outline.checkboxes << ENMLCheckbox{
                ENMLCheckbox::Kind::Todo, attribute(child, "checked") == QLatin1String("true")};
        } else if (const auto checked = checkedListItemStyle().match(style);
                   isNamed(child, "li") && checked.hasMatch()) {
            outline.checkboxes << ENMLCheckbox{ENMLCheckbox::Kind::CheckedListItem,
                                               checked.captured(1) == QLatin1String("true")};
        } else if (taskGroupStyle().match(style).hasMatch()) {
            outline.checkboxes << ENMLCheckbox{ENMLCheckbox::Kind::TaskGroup, false,
                                               identifierStyle().match(style).captured(1)};
        }
        collectOutline(child, outline);
    }
}

}  // namespace

std::optional<QList<ENEXNote>> readENEXNotes(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    Reader reader(xmlReaderForMemory(
        bytes.constData(), static_cast<int>(bytes.size()), QFile::encodeName(path).constData(),
        nullptr, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader) {
        if (error) *error = readerError(path);
        return std::nullopt;
    }
    return readNotes(reader.get(), path, error);
}

std::optional<QList<ENEXNote>> readENEXNotes(const QByteArray& enex, QString* error) {
    Reader reader(xmlReaderForMemory(
        enex.constData(), static_cast<int>(enex.size()), nullptr, nullptr,
        XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader) {
        if (error) *error = readerError(QStringLiteral("The ENEX text"));
        return std::nullopt;
    }
    return readNotes(reader.get(), QStringLiteral("The ENEX text"), error);
}

ENMLOutline outlineOfENML(const QByteArray& enml) {
    ENMLOutline outline;
    const QByteArray text = enml.trimmed();
    Reader reader(xmlReaderForMemory(
        text.constData(), static_cast<int>(text.size()), nullptr, nullptr,
        XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader) return outline;
    while (xmlTextReaderRead(reader.get()) == 1) {
        if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT ||
            !xmlStrEqual(xmlTextReaderConstLocalName(reader.get()), BAD_CAST "en-note"))
            continue;
        const xmlNode* note = xmlTextReaderExpand(reader.get());
        if (!note) return outline;
        const QList<const xmlNode*> children = visibleChildren(note);
        outline.holdsOnlyOneMedia =
            children.size() == 1 &&
            (isNamed(children.first(), "en-media") || isDivWithOnlyOneMedia(children.first()));
        collectOutline(note, outline);
        return outline;
    }
    return outline;
}
