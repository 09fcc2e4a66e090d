#include "platform/richtext/TextAttributes.h"

namespace {
template <typename T>
void take(std::optional<T>& target, const std::optional<T>& source) {
    if (source) target = source;
}
}  // namespace

void TextAttributes::merge(const TextAttributes& other) {
    take(font, other.font);
    take(foregroundColor, other.foregroundColor);
    take(backgroundColor, other.backgroundColor);
    take(underline, other.underline);
    take(strikethrough, other.strikethrough);
    take(superscript, other.superscript);
    take(baselineOffset, other.baselineOffset);
    take(link, other.link);
    take(paragraphStyle, other.paragraphStyle);
    take(attachment, other.attachment);
}

void TextAttributes::remove(TextAttributeKey key) {
    switch (key) {
        case TextAttributeKey::Font:
            font.reset();
            break;
        case TextAttributeKey::ForegroundColor:
            foregroundColor.reset();
            break;
        case TextAttributeKey::BackgroundColor:
            backgroundColor.reset();
            break;
        case TextAttributeKey::Underline:
            underline.reset();
            break;
        case TextAttributeKey::Strikethrough:
            strikethrough.reset();
            break;
        case TextAttributeKey::Superscript:
            superscript.reset();
            break;
        case TextAttributeKey::BaselineOffset:
            baselineOffset.reset();
            break;
        case TextAttributeKey::Link:
            link.reset();
            break;
        case TextAttributeKey::ParagraphStyle:
            paragraphStyle.reset();
            break;
        case TextAttributeKey::Attachment:
            attachment.reset();
            break;
    }
}
