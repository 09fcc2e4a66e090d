#include "formats/PMChecklistExtensions.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/PMChecklistTextAttachment.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"

namespace PMChecklistExtensions {
namespace {

const QString& checkedMarker() { return PMChecklistTextAttachment::checkedReplacementString; }
const QString& uncheckedMarker() { return PMChecklistTextAttachment::uncheckedReplacementString; }

bool isChecklistRun(const TextAttributes& attributes) {
    return attributes.attachment &&
           PMChecklistTextAttachment::isChecklistAttachment(*attributes.attachment);
}

// Appends one run of a checklist attachment to `out`, each box character as
// its marker with the run's other attributes.
void appendMarkersOfRun(AttributedString& out, const QString& characters,
                        const TextAttributes& attributes, QList<PMNoteChecklistItem>* checklists) {
    TextAttributes markerAttributes = attributes;
    markerAttributes.attachment.reset();
    const bool on = attributes.attachment->userInfo().toBool();
    const QString& marker = on ? checkedMarker() : uncheckedMarker();
    for (const QChar character : characters) {
        if (character.unicode() != TextAttachment::Character) {
            out.append(QString(character), attributes);
            continue;
        }
        if (checklists)
            checklists->append(
                PMNoteChecklistItem(on, {quint64(out.length()), quint64(marker.size())}));
        out.append(marker, markerAttributes);
    }
}

// An item that cannot be restored; caught by restoreChecklists.
[[noreturn]] void rejectItem(const PMNoteChecklistItem& item, const char* reason) {
    throw std::out_of_range(QStringLiteral("checklist item at {%1, %2} %3")
                                .arg(item.range().location)
                                .arg(item.range().length)
                                .arg(QLatin1String(reason))
                                .toStdString());
}

// The item's range in `text`, checked to be a marker string at or after `from`.
TextRange markerRange(const AttributedString& text, const PMNoteChecklistItem& item,
                      qsizetype from) {
    const IndexRange range = item.range();
    if (range.location > quint64(text.length()) ||
        range.length > quint64(text.length()) - range.location)
        rejectItem(item, "lies outside the text");
    const TextRange textRange{qsizetype(range.location), qsizetype(range.length)};
    if (textRange.location < from) rejectItem(item, "is out of order");
    const QStringView characters =
        QStringView(text.string()).mid(textRange.location, textRange.length);
    if (characters != checkedMarker() && characters != uncheckedMarker())
        rejectItem(item, "does not hold a checklist marker");
    return textRange;
}

// Gives the paragraph of the box at `index` the checklist paragraph style
// `checklistStyle`, keeping the lists and table cells of `lineStyle`, the
// style the line had (none: the default style).
void styleChecklistParagraph(AttributedString& text, qsizetype index,
                             const ParagraphStyle& checklistStyle,
                             const std::optional<ParagraphStyle>& lineStyle) {
    ParagraphStyle style = checklistStyle;
    if (lineStyle) {
        style.textLists = lineStyle->textLists;
        style.textBlocks = lineStyle->textBlocks;
    }
    text.modifyAttributes(text.paragraphRangeForRange({index, 1}),
                          [&](TextAttributes& attributes) { attributes.paragraphStyle = style; });
}

// The one-character box of each state, made once per pass: every box of a
// state is the same value, and the text shares it.
class BoxStrings {
  public:
    const AttributedString& box(const PMNoteChecklistItem& item) {
        std::optional<AttributedString>& made = item.on() ? on_ : off_;
        if (!made) made = item.attributedString();
        return *made;
    }

  private:
    std::optional<AttributedString> on_;
    std::optional<AttributedString> off_;
};

// One restoring pass. On a bad item, `text` receives the boxes made so far and
// the rest of the original text, and the exception propagates.
void restoreOnce(AttributedString& text, const QList<PMNoteChecklistItem>& checklists) {
    if (checklists.isEmpty()) return;
    AttributedString result;
    struct Box {
        qsizetype index;
        // The attributes of the line in `text`, which stays unchanged until
        // the boxes are styled: a pointer, not a copy per box.
        const TextAttributes* lineAttributes;
    };
    std::vector<Box> boxes;
    BoxStrings boxStrings;
    qsizetype copied = 0;  // end of the original text copied into `result`
    auto copyUpTo = [&](qsizetype end) {
        if (end > copied) result.append(text.attributedSubstring({copied, end - copied}));
        copied = end;
    };
    auto finish = [&] {
        copyUpTo(text.length());
        const ParagraphStyle checklistStyle = PMNoteChecklistItem::checklistParagraphStyle();
        for (const Box& box : boxes)
            styleChecklistParagraph(result, box.index, checklistStyle,
                                    box.lineAttributes->paragraphStyle);
        text = std::move(result);
    };
    try {
        for (const PMNoteChecklistItem& item : checklists) {
            const TextRange marker = markerRange(text, item, copied);
            copyUpTo(marker.location);
            boxes.push_back({result.length(), &text.attributesAtIndex(marker.location)});
            result.append(boxStrings.box(item));
            copied = marker.end();
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

}  // namespace

QList<PMNoteChecklistItem> recoverChecklists(const AttributedString& text) {
    QList<PMNoteChecklistItem> items;
    const QString& string = text.string();
    text.enumerateLines([&](const TextRange& contents, const TextRange&, bool&) {
        const QStringView line = QStringView(string).mid(contents.location, contents.length);
        const quint64 start = quint64(contents.location);
        if (line.startsWith(checkedMarker()))
            items.append(PMNoteChecklistItem(true, {start, quint64(checkedMarker().size())}));
        else if (line.startsWith(uncheckedMarker()))
            items.append(PMNoteChecklistItem(false, {start, quint64(uncheckedMarker().size())}));
    });
    return items;
}

AttributedString attributedStringByReplacingChecklists(const AttributedString& text,
                                                       QList<PMNoteChecklistItem>* checklists,
                                                       const TextRange& range) {
    if (range.location < 0 || range.length < 0 || range.end() > text.length())
        throw std::out_of_range("range outside the text");
    QList<PMNoteChecklistItem> items;
    AttributedString copy;
    text.enumerateAttributes(
        {0, text.length()}, [&](const TextAttributes& attributes, const TextRange& run, bool&) {
            const QString characters = text.string().mid(run.location, run.length);
            const TextRange inside = run.intersected(range);
            if (!isChecklistRun(attributes) || inside.isEmpty()) {
                copy.append(characters, attributes);
                return;
            }
            // Only the part of the run inside `range` becomes markers.
            copy.append(characters.left(inside.location - run.location), attributes);
            appendMarkersOfRun(copy, characters.mid(inside.location - run.location, inside.length),
                               attributes, &items);
            copy.append(characters.mid(inside.end() - run.location), attributes);
        });
    if (checklists) *checklists = items;
    return copy;
}

QList<PMNoteChecklistItem> restoreChecklists(AttributedString& text,
                                             const QList<PMNoteChecklistItem>& checklists) {
    try {
        restoreOnce(text, checklists);
        return checklists;
    } catch (const std::exception& exception) {
        systemLog(stringWithFormat(QStringLiteral("Caught exception processing checklists: %@"),
                                   {QString::fromStdString(exception.what())}));
    }
    // Items recovered from the text itself name markers that are there, so
    // this pass cannot meet a bad item.
    const QList<PMNoteChecklistItem> recovered = recoverChecklists(text);
    try {
        restoreOnce(text, recovered);
    } catch (const std::exception& exception) {
        systemLog(stringWithFormat(QStringLiteral("Caught exception processing checklists: %@"),
                                   {QString::fromStdString(exception.what())}));
    }
    return recovered;
}

}  // namespace PMChecklistExtensions
