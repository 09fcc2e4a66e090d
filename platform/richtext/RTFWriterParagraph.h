// RTFWriterParagraph: one paragraph of the text as the RTF writer goes over
// it: its range with and without its terminator, and its style. The style is
// the one the text holds (or a shared default), referred to rather than
// copied, so that a text of many paragraphs does not hold a copy of each
// paragraph's style while it is written; the text must outlive the writer.
#pragma once

#include "platform/richtext/ParagraphStyle.h"
#include "platform/richtext/TextRange.h"

struct RTFWriterParagraph {
    TextRange range;                       // terminator included
    TextRange content;                     // terminator excluded
    const ParagraphStyle* paragraphStyle;  // never null

    const ParagraphStyle& style() const { return *paragraphStyle; }
};
