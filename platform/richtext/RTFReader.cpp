#include "platform/richtext/RTFReader.h"

#include "platform/richtext/RTFParser.h"

bool RTFReader::read(Error* error) {
    text_ = AttributedString();
    attachments_.clear();
    return RTFParser(data_, text_, documentAttributes_, attachments_).parse(error);
}

std::optional<AttributedString> RTFReader::attributedStringFromRTF(
    const QByteArray& data, RTFDocumentAttributes* documentAttributes, Error* error) {
    RTFReader reader(data);
    if (!reader.read(error)) return std::nullopt;
    if (documentAttributes) *documentAttributes = reader.documentAttributes();
    return reader.attributedString();
}
