#include "RichTextFixture.h"

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "platform/richtext/FontRegistry.h"

namespace RichTextFixture {

TextAttributes plain(double size) {
    TextAttributes attributes;
    attributes.font = FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), size);
    return attributes;
}

QByteArray pngImage() {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Made once: the writer stamps the time into the document, so two made in
// different seconds differ.
QByteArray pdfDocument() {
    static const QByteArray document = [] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            writer.setPageSize(QPageSize(QPageSize::A6));
            QPainter painter(&writer);
            painter.drawRect(10, 10, 100, 100);
        }
        return bytes;
    }();
    return document;
}

void appendParagraph(AttributedString& text, const QString& content,
                     const TextAttributes& attributes, const ParagraphStyle& style) {
    TextAttributes withStyle = attributes;
    if (!style.isDefault()) withStyle.paragraphStyle = style;
    text.append(content + QLatin1Char('\n'), withStyle);
}

void appendListItem(AttributedString& text, const QList<TextList>& lists, int itemNumber,
                    const QString& content) {
    ParagraphStyle style;
    style.textLists = lists;
    style.headIndent = 36.0 * lists.size();
    style.firstLineHeadIndent = style.headIndent - 18;
    const QString marker = lists.last().markerForItemNumber(itemNumber);
    appendParagraph(text, QLatin1Char('\t') + marker + QLatin1Char('\t') + content, plain(), style);
}

void appendCell(AttributedString& text, const QList<TextTableBlock>& outerBlocks,
                const TextTable& table, int row, int column, const QString& content, int rowSpan,
                int columnSpan) {
    TextTableBlock block;
    block.table = table;
    block.startingRow = row;
    block.startingColumn = column;
    block.rowSpan = rowSpan;
    block.columnSpan = columnSpan;
    block.padding = 5;
    block.borderWidth = 1;
    block.borderColor = QColor(80, 80, 80);
    if (row == 0) block.backgroundColor = QColor(230, 230, 250);
    ParagraphStyle style;
    style.textBlocks = outerBlocks;
    style.textBlocks.append(block);
    appendParagraph(text, content, plain(), style);
}

AttributedString document() {
    AttributedString text;
    ParagraphStyle centered;
    centered.alignment = TextAlignment::Center;
    centered.paragraphSpacing = 6;
    TextAttributes heading = plain(18);
    heading.font = FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), 18, true);
    appendParagraph(text, QStringLiteral("Travel notes"), heading, centered);

    text.append(QStringLiteral("Plain, "), plain());
    TextAttributes bold = plain();
    bold.font = FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), 12, true);
    text.append(QStringLiteral("bold"), bold);
    text.append(QStringLiteral(", "), plain());
    TextAttributes italicRed = plain();
    italicRed.font =
        FontRegistry::fontWithFamily(QStringLiteral("Times New Roman"), 14, false, true);
    italicRed.foregroundColor = QColor(200, 20, 30);
    text.append(QStringLiteral("italic red"), italicRed);
    text.append(QStringLiteral(", "), plain());
    TextAttributes underlined = plain();
    underlined.underline = TextDecoration{TextDecoration::Style::Single, QColor()};
    underlined.backgroundColor = QColor(255, 255, 0);
    text.append(QStringLiteral("underlined"), underlined);
    text.append(QStringLiteral(" and "), plain());
    TextAttributes struck = plain();
    struck.strikethrough = TextDecoration{TextDecoration::Style::Single, QColor(0, 0, 255)};
    text.append(QStringLiteral("struck"), struck);
    text.append(QStringLiteral(" with E=mc"), plain());
    TextAttributes superscript = plain();
    superscript.superscript = 1;
    text.append(QStringLiteral("2"), superscript);
    text.append(QStringLiteral(" and H"), plain());
    TextAttributes subscript = plain();
    subscript.superscript = -1;
    text.append(QStringLiteral("2"), subscript);
    text.append(QStringLiteral("O.\n"), plain());

    const TextTable table(2);
    appendCell(text, {}, table, 0, 0, QStringLiteral("City"));
    appendCell(text, {}, table, 0, 1, QStringLiteral("Nights"));
    appendCell(text, {}, table, 1, 0, QStringLiteral("Lisbon"));
    appendCell(text, {}, table, 1, 1, QStringLiteral("3"));

    appendParagraph(text, QStringLiteral("Packing list:"), plain());
    const TextList bullets(QStringLiteral("{disc}"));
    const TextList numbers(QStringLiteral("{decimal}."));
    appendListItem(text, {bullets}, 1, QStringLiteral("Passport"));
    appendListItem(text, {bullets, numbers}, 1, QStringLiteral("Tickets"));
    appendListItem(text, {bullets, numbers}, 2, QStringLiteral("Visa"));
    appendListItem(text, {bullets}, 2, QStringLiteral("Camera"));

    text.append(QStringLiteral("Book at "), plain());
    TextAttributes link = plain();
    link.link = QUrl(QStringLiteral("https://example.com/booking?id=7"));
    text.append(QStringLiteral("the booking site"), link);
    text.append(QStringLiteral(" soon.\n"), plain());

    TextAttributes image = plain();
    image.attachment =
        TextAttachment(FileWrapper::regularFile(pngImage(), QStringLiteral("map.png")));
    TextAttributes pdf = plain();
    pdf.attachment =
        TextAttachment(FileWrapper::regularFile(pdfDocument(), QStringLiteral("ticket.pdf")));
    text.append(QStringLiteral("Map: "), plain());
    text.append(QString(QChar(TextAttachment::Character)), image);
    text.append(QStringLiteral(" ticket: "), plain());
    text.append(QString(QChar(TextAttachment::Character)), pdf);
    text.append(QStringLiteral("\nThe end."), plain());
    return text;
}

}  // namespace RichTextFixture
