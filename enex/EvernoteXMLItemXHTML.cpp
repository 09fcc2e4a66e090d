// ENML to XHTML: text surgery on the serialized note, in three left-to-right
// sweeps (media, to-dos, encrypted passages), each copying the text into a new
// string with its tags replaced, so a note with many tags stays linear.
#include <QFile>
#include <QHash>

#include "enex/EvernoteHTMLImportHook.h"
#include "enex/EvernoteXMLItem.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/uti/UniformTypes.h"
#include "util/FileNameRules.h"

namespace {

constexpr long kInvalidTagCode = 1001;

const QString kNoteStartTag = QStringLiteral("<en-note>");
const QString kNoteEndTag = QStringLiteral("</en-note>");
const QString kMediaStart = QStringLiteral("<en-media ");
const QString kSelfClosingEnd = QStringLiteral("/>");
const QString kMediaEndTag = QStringLiteral("</en-media>");
const QString kTodoStart = QStringLiteral("<en-todo");
const QString kTodoEnd = QStringLiteral("/en-todo>");
const QString kCryptStart = QStringLiteral("<en-crypt");
const QString kCryptEnd = QStringLiteral("</en-crypt>");
const QString kOpeningMarker = QStringLiteral("***PELMORAATTACHMENT ");
const QString kClosingMarker = QStringLiteral(" PELMORAATTACHMENT***");
const QString kCheckedMarker = QStringLiteral(u"\u2611\uFE0E ");
const QString kUncheckedMarker = QStringLiteral(u"\u2610 ");
const QString kHiddenPassage = QStringLiteral("********");
const QString kTitlePlaceholder = QStringLiteral("<!-- PELMORA TITLE -->");
const QString kBodyPlaceholder = QStringLiteral("<!-- PELMORA BODY -->");
const QString kTemplatePath = QStringLiteral(":/Template.html");

Error invalidTagError(const char* message) {
    return Error(kEvernoteXMLItemErrorDomain, kInvalidTagCode, localizedString(message));
}

// Parses the text of one tag (start through end tag) as a single element.
std::unique_ptr<XMLDocument> parseTag(QStringView tagText, Error* error) {
    return XMLDocument::parseXML(tagText.toUtf8(), error);
}

// Finds a text at or after ever larger positions and remembers the last hit,
// so that a text found far ahead, or not at all, is searched for once per
// sweep rather than once per tag.
class ForwardSearch {
  public:
    ForwardSearch(const QString& text, const QString& needle) : text_(text), needle_(needle) {}

    // REQUIRES: `from` is not smaller than in the previous call.
    qsizetype indexFrom(qsizetype from) {
        if (!searched_ || (hit_ >= 0 && hit_ < from)) hit_ = text_.indexOf(needle_, from);
        searched_ = true;
        return hit_;
    }

  private:
    const QString& text_;
    const QString& needle_;
    bool searched_ = false;
    qsizetype hit_ = -1;
};

// The end (exclusive) of a media tag whose "<en-media " starts at `start`: the
// nearer of a self-closing "/>" and an end tag, both searched from the tag
// on, so that a "/>" in a later comment, or the end tag of an earlier
// "en-media" without attributes, never gives the tag a wrong extent. -1 when
// neither follows.
class MediaTagEnd {
  public:
    explicit MediaTagEnd(const QString& text)
        : selfClosing_(text, kSelfClosingEnd), endTag_(text, kMediaEndTag) {}

    qsizetype after(qsizetype start) {
        const qsizetype from = start + kMediaStart.size();
        const qsizetype selfClosing = selfClosing_.indexFrom(from);
        const qsizetype endTag = endTag_.indexFrom(from);
        if (selfClosing < 0 && endTag < 0) return -1;
        if (endTag < 0 || (selfClosing >= 0 && selfClosing < endTag))
            return selfClosing + kSelfClosingEnd.size();
        return endTag + kMediaEndTag.size();
    }

  private:
    ForwardSearch selfClosing_;
    ForwardSearch endTag_;
};

// A file name as an "src" reference: the characters that would end or change
// a relative URL's path ("%" escapes, "?" query, "#" fragment) are escaped, so
// the reference names exactly the written file; everything else stays.
QString sourceReferenceForFileName(const QString& fileName) {
    QString reference;
    reference.reserve(fileName.size());
    for (const QChar c : fileName) {
        if (c == u'%')
            reference += QLatin1String("%25");
        else if (c == u'#')
            reference += QLatin1String("%23");
        else if (c == u'?')
            reference += QLatin1String("%3F");
        else
            reference += c;
    }
    return reference;
}

// The "img" element for an image attachment: "width" and "height" as the
// media tag gives them, then "src", serialized like the note.
QString imageElementText(const XMLNode& mediaTag, const QString& fileName) {
    XMLDocument document;
    XMLNode image = document.createElement(QStringLiteral("img"));
    for (const QString& dimension : {QStringLiteral("width"), QStringLiteral("height")})
        if (mediaTag.hasAttribute(dimension))
            image.setAttribute(dimension, mediaTag.attribute(dimension));
    image.setAttribute(QStringLiteral("src"), sourceReferenceForFileName(fileName));
    return XMLDocument::serialize(image);
}

// The media pass over one serialized note; resources are found by the note's
// media lookup, the same rule its rich text uses.
class MediaPass {
  public:
    MediaPass(EvernoteENMLImportDelegate& media, const QString& scratchFolder)
        : media_(media), scratchFolder_(scratchFolder) {}

    std::optional<QString> run(const QString& text, Error* error) {
        QString result;
        result.reserve(text.size());
        MediaTagEnd tagEnd(text);
        qsizetype position = 0;
        while (position < text.size()) {
            const qsizetype start = text.indexOf(kMediaStart, position);
            if (start < 0) break;
            const qsizetype end = tagEnd.after(start);
            if (end < 0) return invalidTagError("Invalid media tag.").report(error), std::nullopt;
            const auto replacement =
                replacementForTag(QStringView(text).sliced(start, end - start), error);
            if (!replacement) return std::nullopt;
            result += QStringView(text).sliced(position, start - position);
            result += *replacement;
            position = end;
        }
        if (position < text.size()) result += QStringView(text).sliced(position);
        return result;
    }

  private:
    std::optional<QString> replacementForTag(QStringView tagText, Error* error) {
        const auto tag = parseTag(tagText, error);
        if (!tag) return std::nullopt;
        const XMLNode media = tag->rootElement();
        EvernoteXMLResource* resource = media_.resourceForMedia(media);
        if (!resource) return localizedString("[Missing Attachment]").toHtmlEscaped();
        return writeAttachment(media, *resource, error);
    }

    // Writes the attachment beside the XHTML and returns what stands for it.
    std::optional<QString> writeAttachment(const XMLNode& media, EvernoteXMLResource& resource,
                                           Error* error) {
        QString mime = media.attribute(QStringLiteral("type"));
        if (mime.isEmpty()) mime = resource.mime;
        const QString type = UniformTypes::preferredIdentifierForMIMEType(mime);
        const QString fileName = QVExtensions::makeFilenameUniqueInDirectoryAtURL(
            EvernoteENMLImportDelegate::fileNameForResource(resource, type), scratchFolder_);
        QString replacement;
        if (UniformTypes::conformsTo(type, QStringLiteral("public.image"))) {
            replacement = imageElementText(media, fileName);
        } else {
            // Escaped so that the HTML import reads back exactly the file name.
            replacement =
                stringWithFormat(QStringLiteral("%@ %@ %@"),
                                 {kOpeningMarker, fileName.toHtmlEscaped(), kClosingMarker});
        }
        if (!resource.writeToURL(scratchFolder_ + u'/' + fileName, error)) return std::nullopt;
        return replacement;
    }

    EvernoteENMLImportDelegate& media_;
    const QString scratchFolder_;
};

// Replaces every passage from `startText` through `endText` by what
// `replacementFor` makes of its text; a start without an end fails with
// `invalidMessage`. One sweep; replacements are never scanned again.
template <typename ReplacementFor>
std::optional<QString> replacePassages(const QString& text, const QString& startText,
                                       const QString& endText, const char* invalidMessage,
                                       ReplacementFor replacementFor, Error* error) {
    QString result;
    result.reserve(text.size());
    qsizetype position = 0;
    while (position < text.size()) {
        const qsizetype start = text.indexOf(startText, position);
        if (start < 0) break;
        const qsizetype endStart = text.indexOf(endText, start + startText.size());
        if (endStart < 0) return invalidTagError(invalidMessage).report(error), std::nullopt;
        const qsizetype end = endStart + endText.size();
        const auto replacement =
            replacementFor(QStringView(text).sliced(start, end - start), error);
        if (!replacement) return std::nullopt;
        result += QStringView(text).sliced(position, start - position);
        result += *replacement;
        position = end;
    }
    if (position < text.size()) result += QStringView(text).sliced(position);
    return result;
}

std::optional<QString> checkBoxMarkerForTodo(QStringView tagText, Error* error) {
    const auto tag = parseTag(tagText, error);
    if (!tag) return std::nullopt;
    return EvernoteHTMLImportHook::isTodoChecked(tag->rootElement()) ? kCheckedMarker
                                                                     : kUncheckedMarker;
}

std::optional<QString> hiddenEncryptedPassage(QStringView passageText, Error* error) {
    if (!parseTag(passageText, error))
        return std::nullopt;  // a check only: the content stays unread
    return kHiddenPassage;
}

std::optional<QString> readTemplate(Error* error) {
    QFile file(kTemplatePath);
    if (!file.open(QIODevice::ReadOnly)) {
        posixError(ENOENT, kTemplatePath + QStringLiteral(": ") + file.errorString()).report(error);
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

// The template with each placeholder replaced; only the template's own text
// is searched, so a title that happens to hold a placeholder stays as it is.
QString fillTemplate(const QString& templateText, const QString& title, const QString& body) {
    QString result;
    result.reserve(templateText.size() + title.size() + body.size());
    qsizetype position = 0;
    while (position < templateText.size()) {
        const qsizetype titleAt = templateText.indexOf(kTitlePlaceholder, position);
        const qsizetype bodyAt = templateText.indexOf(kBodyPlaceholder, position);
        if (titleAt < 0 && bodyAt < 0) break;
        const bool isTitle = titleAt >= 0 && (bodyAt < 0 || titleAt < bodyAt);
        const qsizetype at = isTitle ? titleAt : bodyAt;
        result += QStringView(templateText).sliced(position, at - position);
        result += isTitle ? title : body;
        position = at + (isTitle ? kTitlePlaceholder : kBodyPlaceholder).size();
    }
    if (position < templateText.size()) result += QStringView(templateText).sliced(position);
    return result;
}

}  // namespace

std::optional<QString> EvernoteXMLItem::XHTMLStringFromNoteElement(XMLNode element, Error* error) {
    QString text = XMLDocument::serialize(element);
    text.remove(kNoteStartTag);
    text.remove(kNoteEndTag);
    return MediaPass(mediaDelegate(), intermediateHTMLDirectoryURL.toLocalFile()).run(text, error);
}

std::optional<QString> EvernoteXMLItem::noteXHTMLStringFromNoteElement(XMLNode element,
                                                                       Error* error) {
    auto body = XHTMLStringFromNoteElement(element, error);
    if (!body) return std::nullopt;
    body = replacePassages(*body, kTodoStart, kTodoEnd, "Invalid todo tag.", checkBoxMarkerForTodo,
                           error);
    if (!body) return std::nullopt;
    body = replacePassages(*body, kCryptStart, kCryptEnd, "Invalid crypt tag.",
                           hiddenEncryptedPassage, error);
    if (!body) return std::nullopt;
    return pageFromTemplate(*body, error);
}

std::optional<QString> EvernoteXMLItem::pageFromTemplate(const QString& body, Error* error) const {
    const auto templateText = readTemplate(error);
    if (!templateText) return std::nullopt;
    // Escaped: a raw "<!--" or "</title>" in a title would swallow or split the body.
    return fillTemplate(*templateText, record_.title.toHtmlEscaped(), body);
}
