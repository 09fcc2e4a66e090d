// RTFWriterParagraph: one paragraph of the text as the RTF writer goes over
// it: its range with and without its terminator, and its style.
#pragma once

#include "platform/richtext/ParagraphStyle.h"
#include "platform/richtext/TextRange.h"

struct RTFWriterParagraph {
    TextRange range;    // terminator included
    TextRange content;  // terminator excluded
    ParagraphStyle style;
};
