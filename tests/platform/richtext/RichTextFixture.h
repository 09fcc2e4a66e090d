// A document built in code that holds everything the rich-text model carries:
// styled runs, a nested list, a table, a link, an image and a PDF attachment.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/richtext/AttributedString.h"

namespace RichTextFixture {

// Plain attributes in Helvetica at `size`.
TextAttributes plain(double size = 12);
// A small PNG image and a one-page PDF, made in memory.
QByteArray pngImage();
QByteArray pdfDocument();
// Appends a paragraph (a "\n" is added) with `attributes` and `style`.
void appendParagraph(AttributedString& text, const QString& content,
                     const TextAttributes& attributes, const ParagraphStyle& style = {});
// Appends a list item: the rendered marker ("\t•\t") then the content.
void appendListItem(AttributedString& text, const QList<TextList>& lists, int itemNumber,
                    const QString& content);
// Appends a cell's paragraph to a table at the given grid place.
void appendCell(AttributedString& text, const QList<TextTableBlock>& outerBlocks,
                const TextTable& table, int row, int column, const QString& content,
                int rowSpan = 1, int columnSpan = 1);
// The whole document.
AttributedString document();

}  // namespace RichTextFixture
