// PMChecklistExtensions: the rich-text operations that turn checklist boxes
// into marker strings and back. In memory a box is a checklist attachment
// (PMChecklistTextAttachment); on disk, and for readers that know nothing of
// boxes, it is its marker string at the start of a line: U+2611 U+FE0E U+0020
// when checked, U+2610 U+0020 when not. A PMNoteChecklistItem records one box:
// its state and where its marker stands in the text with markers.
//
// Every operation is linear in the length of the text. Reentrant; a text must
// not be changed by another thread during a call.
#pragma once

#include <QList>

#include "formats/PMNoteChecklistItem.h"
#include "platform/richtext/AttributedString.h"

namespace PMChecklistExtensions {

// The boxes whose markers stand at a line start in `text` (lines end at
// "\n", "\r", "\r\n", U+0085, U+2028 and U+2029), in ascending order:
// {on: true, range: (line start, 3)} for a checked marker, {on: false,
// range: (line start, 2)} for an unchecked one. U+2611 without U+FE0E is no
// marker; neither is a marker after other characters of its line.
QList<PMNoteChecklistItem> recoverChecklists(const AttributedString& text);

// A copy of `text` with every checklist box inside `range` replaced by its
// marker string; the marker keeps the box character's other attributes.
// When `checklists` is given it receives one item per replaced box, in
// order, located in the returned copy. `text` is not changed.
// Throws std::out_of_range when `range` is not inside `text`.
AttributedString attributedStringByReplacingChecklists(const AttributedString& text,
                                                       QList<PMNoteChecklistItem>* checklists,
                                                       const TextRange& range);

// Turns the markers named by `checklists` (ascending, ranges in the text with
// markers) into boxes, in place, and gives each box's paragraph the checklist
// paragraph style (the paragraph keeps the lists and table cells it belongs
// to). Returns `checklists`.
//
// An item that does not name a marker string of the text (outside the text,
// out of order, or over other characters, as a stale archive may hold) stops
// the run: the line "Caught exception processing checklists: <reason>" goes
// to the system log, boxes already made stay, and the operation starts again
// with the items recoverChecklists finds in the text as it now stands,
// returning those. Text that is not a marker is never replaced.
QList<PMNoteChecklistItem> restoreChecklists(AttributedString& text,
                                             const QList<PMNoteChecklistItem>& checklists);

}  // namespace PMChecklistExtensions
