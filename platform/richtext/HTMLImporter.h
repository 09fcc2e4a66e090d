// HTMLImporter: reads an HTML document (a file, or text with the URL it came
// from) into an AttributedString. The document is parsed with the tolerant
// HTML parser (nothing is loaded from the network) and its elements become
// the rich-text model:
//  - text with white space folded as HTML does; blocks (p, div, h1-h6,
//    blockquote, pre, li, ...) end paragraphs with "\n", br breaks a line;
//  - character styles from b/strong, i/em, u, s/strike/del, sup, sub, font
//    (face, size 1-7, color), code/pre (the fixed-width font), and every
//    element's inline `style`: font-family, font-size, font-weight,
//    font-style, color, background-color, text-decoration, vertical-align,
//    white-space;
//  - paragraph styles from text-align, margins and padding (indents),
//    text-indent; lists (ul/ol/li, nested) as text lists with the rendered
//    marker ("\t•\t", "\t1.\t") at each item's start; tables (with colspan,
//    rowspan, widths, borders, backgrounds, nested tables) as table blocks;
//  - links (a href, resolved against the document's URL), images as
//    attachments (see HTMLImageSource: files beside the document and data:
//    URLs only), hr as a rule line;
//  - check boxes (check-box inputs, and whatever an HTMLImporterExtension
//    names: its own elements, checklist items) as the extension's check-box
//    markers; without an extension a document has no check boxes.
// What has no place in the model is kept as plain text: unknown elements and
// unknown style properties keep their text as if they were not there; only
// head, script, style and similar content is dropped. An extension, given by
// the caller for one kind of document, adds its elements and properties
// (see HTMLImporterExtension); web pages are read without one.
//
// Fonts: the standard font family and default size of the web preferences
// are the document's default font ("medium"); the fixed font family is used
// for code, or the system's monospace family where it is not installed. A
// font-family list (or a font element's face list) gives its first family
// that is installed, generic names giving the system's family for them
// (monospace the fixed font); when none is installed, its first family known
// by name. Sizes are in points, a CSS pixel counting as one point.
//
// Reentrant: imports may run on any thread, several at a time. Time and
// memory are linear in the document's size.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/HTMLImportDelegate.h"
#include "platform/richtext/HTMLImporterExtension.h"
#include "platform/web/WebPreferences.h"

class HTMLImporter {
  public:
    // Imports the HTML file at `path`; images are read from its folder.
    // None with the error when the file cannot be read (domain
    // "NSCocoaErrorDomain": 260 no such file, 257 no permission, 256 other,
    // a folder included), the parser gives no document (XMLParserErrorDomain)
    // or the document nests too deeply (HTMLNestingLimits). An empty file
    // gives an empty text. `extension`, when given, is consulted during the
    // call only.
    static std::optional<AttributedString> attributedStringFromHTMLFile(
        const QString& path, const WebPreferences& preferences, Error* error = nullptr,
        const HTMLImporterExtension* extension = nullptr);

    // Imports HTML text. `baseURL` is the document's URL: links are resolved
    // against it, and when it is a local file (or a folder URL ending in "/")
    // images are read from that folder; with an empty or remote URL only
    // "data:" images are shown. Errors, and `extension`, as above; empty text
    // gives an empty text.
    static std::optional<AttributedString> attributedStringFromHTML(
        const QByteArray& html, const QUrl& baseURL, const WebPreferences& preferences,
        Error* error = nullptr, const HTMLImporterExtension* extension = nullptr);

    // Imports a document tree that is already parsed (XML or HTML): `root`
    // and everything inside it. `delegate`, when given, may stand in for any
    // element (see HTMLImportDelegate); `extension` as above. When
    // `checkBoxPositions` is given it receives, in ascending order, where each
    // check-box marker that the document's own check boxes became starts in
    // the result (a marker written as plain text by the document is not one
    // of them; without an extension there are none). Cannot fail.
    static AttributedString attributedStringFromElement(
        XMLNode root, const QUrl& baseURL, const WebPreferences& preferences,
        HTMLImportDelegate* delegate = nullptr, const HTMLImporterExtension* extension = nullptr,
        QList<qsizetype>* checkBoxPositions = nullptr);
};
