// RTFHeaderWriter: the header of the RTF the writer puts out: \rtf1 with
// Cocoa's version words, the font table (PostScript names with family
// classes), the colour tables (\colortbl with entry 1 white, and a matching
// \expandedcolortbl), the list table with its override table, the
// document's page and view words and its background. The body is written
// before the header, asking for font, colour and list indexes as it goes;
// the header then lists everything that was asked for, in that order.
//
// Not thread-safe; one per writing. Refers to the document attributes,
// which must outlive it.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QStringList>

#include "platform/richtext/Font.h"
#include "platform/richtext/ParagraphStyle.h"
#include "platform/richtext/RTFDocumentAttributes.h"
#include "platform/richtext/TextAttributes.h"
#include "platform/richtext/TextList.h"

class RTFHeaderWriter {
  public:
    // Starts with the default font as \f0 and white as colour entry 1.
    explicit RTFHeaderWriter(const RTFDocumentAttributes& document);

    // The font of text that names none.
    static Font defaultFont();

    // Enters the fonts and colours of a run, and the colours and lists of a
    // paragraph style, so that the tables list them before later ones.
    void addCharacterAttributes(const TextAttributes& attributes);
    void addParagraphStyle(const ParagraphStyle& style);

    // The index of a font in \fonttbl (by PostScript name), entering it when new.
    int fontIndex(const Font& font);
    // The index of a colour in \colortbl (entry 0 is the default colour,
    // entry 1 white), entering it when new.
    int colorIndex(const QColor& color);
    // Like colorIndex, but never entry 1: \cb1 means "no background" to Cocoa.
    int backgroundIndex(const QColor& color);
    // The \ls of a paragraph's lists (outermost first), by the outermost
    // list's identity; a deeper level met later joins its entry.
    int listIndex(const QList<TextList>& lists);

    // The header, from "{\rtf1" to the line before the body.
    QByteArray header() const;

  private:
    QByteArray fontTable() const;
    QByteArray colorTables() const;
    QByteArray listLevel(const TextList& list, int level, int templateId) const;
    QByteArray listTables() const;
    QByteArray documentWords() const;

    // A list in the list table: the lists of each nesting level.
    struct ListEntry {
        quint64 identifier;
        QList<TextList> levels;
    };

    const RTFDocumentAttributes& document_;
    QStringList fontNames_;
    QStringList fontFamilies_;
    QList<QColor> colors_;
    QList<ListEntry> lists_;
};
