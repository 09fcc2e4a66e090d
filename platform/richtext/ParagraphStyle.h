// ParagraphStyle: the layout of a paragraph in rich text: alignment, indents,
// spacing, tab stops, the lists it belongs to and the table cells it sits in.
// A plain value; the default-constructed style is the default paragraph
// style. Lengths are in points.
#pragma once

#include <QList>

#include "platform/richtext/TextList.h"
#include "platform/richtext/TextTable.h"

enum class TextAlignment { Natural, Left, Right, Center, Justified };

struct TextTab {
    enum class Alignment { Left, Right, Center, Decimal };
    double location = 0;
    Alignment alignment = Alignment::Left;
    friend bool operator==(const TextTab&, const TextTab&) = default;
};

struct ParagraphStyle {
    TextAlignment alignment = TextAlignment::Natural;
    double headIndent = 0;           // every line but the first, from the leading margin
    double firstLineHeadIndent = 0;  // the first line, from the leading margin
    // Positive: the line's end measured from the leading margin; zero or
    // negative: the distance kept from the trailing margin (as a negative number).
    double tailIndent = 0;
    double paragraphSpacingBefore = 0;
    double paragraphSpacing = 0;  // after the paragraph
    double lineSpacing = 0;       // extra space between lines
    double lineHeightMultiple = 0;
    double minimumLineHeight = 0;
    double maximumLineHeight = 0;
    QList<TextTab> tabStops;
    double defaultTabInterval = 0;
    // The lists the paragraph belongs to, outermost first; nesting depth is the count.
    QList<TextList> textLists;
    // The table cells the paragraph sits in, outermost table first.
    QList<TextTableBlock> textBlocks;

    bool isDefault() const { return *this == ParagraphStyle(); }
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};
