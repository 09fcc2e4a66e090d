#include "formats/PMNoteChecklistItem.h"

#include "formats/PMChecklistTextAttachment.h"
#include "formats/PMCoderExtensions.h"

void PMNoteChecklistItem::encodeWithCoder(KeyedArchiver& coder) {
    coder.encodeBool(on_, QStringLiteral("on"));
    PMCoderExtensions::encodeRangeInPelmora(coder, range_, QStringLiteral("range"));
}

std::shared_ptr<ArchivableObject> PMNoteChecklistItem::decode(KeyedUnarchiver& coder) {
    return std::make_shared<PMNoteChecklistItem>(
        coder.decodeBool(QStringLiteral("on")),
        PMCoderExtensions::decodeRangeInPelmora(coder, QStringLiteral("range")));
}

AttributedString PMNoteChecklistItem::attributedString() const {
    TextAttributes attributes;
    attributes.attachment = PMChecklistTextAttachment(on_).textAttachment();
    return AttributedString(QString(QChar(TextAttachment::Character)), attributes);
}

ParagraphStyle PMNoteChecklistItem::checklistParagraphStyle() {
    return PMChecklistTextAttachment(false).checklistParagraphStyle();
}
