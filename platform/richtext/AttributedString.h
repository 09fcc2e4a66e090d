// AttributedString: text with attributes, the model in the middle of the
// rich-text system. Readers (HTML, RTF) only produce it, writers only consume
// it. The text is a QString; attributes are kept as runs (a sorted vector of
// run starts with their TextAttributes), never per character, and adjacent
// runs always differ. All positions and lengths count UTF-16 code units.
//
// Runs hold their attributes through shared, immutable TextAttributes: a
// split, a substring or a copy shares them, and attributes equal to ones the
// string made or met lately are shared rather than stored again, so that a
// text whose lines alternate among a few styles (a checklist of thousands of
// boxes) keeps a few attribute values, not one per run. A reference returned
// by attributesAtIndex or enumerateAttributes stays valid while its run is
// unchanged.
//
// A value type: copies are independent (a copy is the "mutable copy").
// Operations given a range or index outside the text throw std::out_of_range,
// which callers that must survive bad ranges catch. Not thread-safe for
// concurrent mutation of one object.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <memory>
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

    // Equal text with equal attributes over equal runs.
    friend bool operator==(const AttributedString& a, const AttributedString& b);

  private:
    using SharedAttributes = std::shared_ptr<const TextAttributes>;
    struct Run {
        qsizetype start;
        SharedAttributes attributes;
    };

    static bool sameAttributes(const SharedAttributes& a, const SharedAttributes& b) {
        return a == b || *a == *b;
    }
    // `attributes` as a shared value: one the string holds lately when equal, else a new one.
    SharedAttributes share(const TextAttributes& attributes);
    SharedAttributes share(const SharedAttributes& attributes);
    void remember(const SharedAttributes& attributes);
    void replaceCharacters(const TextRange& range, const QString& text,
                           const SharedAttributes& attributes);

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
    // The attribute values made or met last, tried before a new one is made.
    std::array<SharedAttributes, 8> recent_;
    std::size_t nextRecent_ = 0;
};
