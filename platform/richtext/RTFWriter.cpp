#include "platform/richtext/RTFWriter.h"

#include "platform/richtext/RTFHeaderWriter.h"
#include "platform/richtext/RTFTextWriter.h"

RTFWriter::RTFWriter(const AttributedString& text, const RTFDocumentAttributes& documentAttributes)
    : text_(text), documentAttributes_(documentAttributes) {}

QByteArray RTFWriter::data() const {
    // The body goes first: the header lists the fonts, colours and lists it used.
    RTFHeaderWriter header(documentAttributes_);
    const QByteArray body = RTFTextWriter(text_, header, attachmentNames_).write();
    return header.header() + body + "}";
}

QByteArray RTFWriter::RTFFromAttributedString(const AttributedString& text,
                                              const RTFDocumentAttributes& documentAttributes) {
    return RTFWriter(text, documentAttributes).data();
}
