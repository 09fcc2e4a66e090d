// PMNoteChecklistItem: one checklist box of a note as the note attributes
// record it: whether the box is checked (`on`) and where its marker string
// stands in the text in which markers stand for boxes (location of the
// marker's first character; length 3 for a checked marker, 2 for an unchecked
// one). Archived with the keys "on" (boolean) and "range" (range string).
// It also makes the box it stands for: attributedString() and
// checklistParagraphStyle() feed restoreChecklists.
// A plain value; copies are independent.
#pragma once

#include <memory>

#include "platform/archive/ArchivableObject.h"
#include "platform/archive/GeometryStrings.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/ParagraphStyle.h"

class KeyedUnarchiver;

class PMNoteChecklistItem : public ArchivableObject {
  public:
    PMNoteChecklistItem() = default;  // unchecked, range {0, 0}
    PMNoteChecklistItem(bool on, IndexRange range) : on_(on), range_(range) {}

    bool on() const { return on_; }
    void setOn(bool on) { on_ = on; }
    IndexRange range() const { return range_; }
    void setRange(IndexRange range) { range_ = range; }

    // One attachment character holding a new checklist box in this item's
    // state, with no other attribute.
    AttributedString attributedString() const;
    // The paragraph style of a new, unchecked box (a checklist line's indents).
    static ParagraphStyle checklistParagraphStyle();

    QString className() const override { return QStringLiteral("PMNoteChecklistItem"); }
    void encodeWithCoder(KeyedArchiver& coder) override;
    // The unarchiver factory: an item from the fields being decoded.
    static std::shared_ptr<ArchivableObject> decode(KeyedUnarchiver& coder);

    bool operator==(const PMNoteChecklistItem& other) const {
        return on_ == other.on_ && range_ == other.range_;
    }

  private:
    bool on_ = false;
    IndexRange range_;
};
