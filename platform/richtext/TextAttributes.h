// TextAttributes: the attributes of a run of rich text. Every attribute is
// optional; an unset attribute means the default (the user's font, the
// default colours, no decoration, the default paragraph style). A plain value;
// equality compares every attribute.
#pragma once

#include <QColor>
#include <QUrl>
#include <optional>

#include "platform/richtext/Font.h"
#include "platform/richtext/ParagraphStyle.h"
#include "platform/richtext/TextAttachment.h"

// An underline or strike-through line.
struct TextDecoration {
    enum class Style { None, Single, Thick, Double };
    Style style = Style::Single;
    QColor color;  // invalid: the text colour
    friend bool operator==(const TextDecoration&, const TextDecoration&) = default;
};

// Names of the attributes, for removing one.
enum class TextAttributeKey {
    Font,
    ForegroundColor,
    BackgroundColor,
    Underline,
    Strikethrough,
    Superscript,
    BaselineOffset,
    Link,
    ParagraphStyle,
    Attachment,
};

struct TextAttributes {
    std::optional<Font> font;
    std::optional<QColor> foregroundColor;
    std::optional<QColor> backgroundColor;
    std::optional<TextDecoration> underline;
    std::optional<TextDecoration> strikethrough;
    std::optional<int> superscript;        // > 0 superscript levels, < 0 subscript levels
    std::optional<double> baselineOffset;  // points, up is positive
    std::optional<QUrl> link;
    std::optional<ParagraphStyle> paragraphStyle;
    std::optional<TextAttachment> attachment;

    bool isEmpty() const { return *this == TextAttributes(); }
    // Sets every attribute that `other` sets, keeping the rest.
    void merge(const TextAttributes& other);
    // Unsets one attribute.
    void remove(TextAttributeKey key);
    // The paragraph style, or the default style when unset.
    ParagraphStyle effectiveParagraphStyle() const {
        return paragraphStyle.value_or(ParagraphStyle());
    }

    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};
