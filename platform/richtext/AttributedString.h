// AttributedString: text with attributes, the model in the middle of the
// rich-text system. Readers (HTML, RTF) only produce it, writers only consume
// it. The text is a QString; attributes are kept as runs (a sorted vector of
// run starts with their TextAttributes), never per character, and adjacent
// runs always differ. All positions and lengths count UTF-16 code units.
//
// A value type: copies are independent (a copy is the "mutable copy").
// Operations given a range or index outside the text throw std::out_of_range,
// which callers that must survive bad ranges catch. Not thread-safe for
// concurrent mutation of one object.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "platform/richtext/TextAttributes.h"
#include "platform/richtext/TextRange.h"

class AttributedString {
  public:
    AttributedString() = default;
    // `text` with `attributes` over all of it.
    explicit AttributedString(const QString& text, const TextAttributes& attributes = {});

    qsizetype length() const { return text_.size(); }
    const QString& string() const { return text_; }

    // The attributes at `index` (0 <= index < length) and, when asked, the
    // longest range around it with the same attributes.
    const TextAttributes& attributesAtIndex(qsizetype index,
                                            TextRange* effectiveRange = nullptr) const;

    // Replaces the characters in `range` by `replacement` with its attributes.
    void replaceCharactersInRange(const TextRange& range, const AttributedString& replacement);
    // Replaces the characters in `range` by plain text, which takes the
    // attributes of the first replaced character, or, for an empty range, of
    // the character before it (the one after it at the start).
    void replaceCharactersInRange(const TextRange& range, const QString& text);
    void deleteCharactersInRange(const TextRange& range) {
        replaceCharactersInRange(range, QString());
    }
    void insert(qsizetype index, const AttributedString& text) {
        replaceCharactersInRange({index, 0}, text);
    }
    void append(const AttributedString& text);
    void append(const QString& text, const TextAttributes& attributes);

    // Sets exactly `attributes` over `range`.
    void setAttributes(const TextAttributes& attributes, const TextRange& range);
    // Sets the attributes that `attributes` sets over `range`, keeping others.
    void addAttributes(const TextAttributes& attributes, const TextRange& range);
    void removeAttribute(TextAttributeKey key, const TextRange& range);
    // Changes the attributes of every run in `range` with `change`.
    void modifyAttributes(const TextRange& range,
                          const std::function<void(TextAttributes&)>& change);
    // Moves runs whose font family is `family` to `replacement`, keeping size and traits.
    void substituteFontFamily(const QString& family, const QString& replacement);

    // Calls `visit` for each run in `range`, clipped to it, in order; setting
    // `stop` ends the walk. The string must not be changed during the walk.
    void enumerateAttributes(const TextRange& range,
                             const std::function<void(const TextAttributes&, const TextRange&,
                                                      bool& stop)>& visit) const;
    // Calls `visit` for each attachment character in `range`, in order.
    void enumerateAttachments(const TextRange& range,
                              const std::function<void(const TextAttachment&, const TextRange&,
                                                       bool& stop)>& visit) const;

    // The range of the whole paragraphs that `range` touches, terminators
    // included. Paragraphs end at "\n", "\r", "\r\n", U+0085 and U+2029.
    TextRange paragraphRangeForRange(const TextRange& range) const;
    // Every paragraph's range (terminator included), in order; none for an empty text.
    QList<TextRange> paragraphRanges() const;
    // Calls `visit` with each line's contents range (without its terminator) and
    // its whole range. Lines also end at U+2028.
    void enumerateLines(const std::function<void(const TextRange& contents, const TextRange& line,
                                                 bool& stop)>& visit) const;

    AttributedString attributedSubstring(const TextRange& range) const;

    friend bool operator==(const AttributedString&, const AttributedString&) = default;

  private:
    struct Run {
        qsizetype start;
        TextAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };

    void checkRange(const TextRange& range) const;
    std::size_t runIndexAt(qsizetype index) const;
    qsizetype runEnd(std::size_t index) const;
    // Makes a run start at `position` (0 < position < length) and returns its index.
    std::size_t splitAt(qsizetype position);
    // The index of the first run starting at or after `position`.
    std::size_t firstRunFrom(qsizetype position) const;
    // Merges equal neighbours among runs [first, last], clamped to the vector.
    void coalesce(std::size_t first, std::size_t last);

    QString text_;
    std::vector<Run> runs_;
};
