#include "platform/richtext/AttributedString.h"

#include <algorithm>
#include <stdexcept>

#include "platform/richtext/FontRegistry.h"

namespace {

bool isParagraphSeparator(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x0085 || u == 0x2029;
}

bool isLineSeparator(QChar c) { return isParagraphSeparator(c) || c.unicode() == 0x2028; }

// The index just past the terminator that starts at `index` (CRLF counts as one).
qsizetype afterTerminator(const QString& text, qsizetype index) {
    if (text.at(index) == QLatin1Char('\r') && index + 1 < text.size() &&
        text.at(index + 1) == QLatin1Char('\n'))
        return index + 2;
    return index + 1;
}

}  // namespace

AttributedString::AttributedString(const QString& text, const TextAttributes& attributes)
    : text_(text) {
    if (!text_.isEmpty()) runs_.push_back({0, share(attributes)});
}

bool operator==(const AttributedString& a, const AttributedString& b) {
    return a.text_ == b.text_ &&
           std::equal(a.runs_.begin(), a.runs_.end(), b.runs_.begin(), b.runs_.end(),
                      [](const AttributedString::Run& x, const AttributedString::Run& y) {
                          return x.start == y.start &&
                                 AttributedString::sameAttributes(x.attributes, y.attributes);
                      });
}

namespace {

// Equal attributes that may stand for one another: an attachment's file is
// also known by its identity (a package stores one file shown twice once,
// and two equal files twice), so only the same file may be shared.
bool interchangeable(const TextAttributes& a, const TextAttributes& b) {
    if (!(a == b)) return false;
    return !a.attachment ||
           a.attachment->fileWrapper().identity() == b.attachment->fileWrapper().identity();
}

}  // namespace

AttributedString::SharedAttributes AttributedString::share(const TextAttributes& attributes) {
    for (const SharedAttributes& recent : recent_)
        if (recent && interchangeable(*recent, attributes)) return recent;
    SharedAttributes made = std::make_shared<const TextAttributes>(attributes);
    remember(made);
    return made;
}

AttributedString::SharedAttributes AttributedString::share(const SharedAttributes& attributes) {
    for (const SharedAttributes& recent : recent_)
        if (recent && (recent == attributes || interchangeable(*recent, *attributes)))
            return recent;
    remember(attributes);
    return attributes;
}

void AttributedString::remember(const SharedAttributes& attributes) {
    recent_[nextRecent_] = attributes;
    nextRecent_ = (nextRecent_ + 1) % recent_.size();
}

void AttributedString::checkRange(const TextRange& range) const {
    if (range.location < 0 || range.length < 0 || range.end() > text_.size())
        throw std::out_of_range("AttributedString: range out of bounds");
}

std::size_t AttributedString::runIndexAt(qsizetype index) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), index,
                               [](qsizetype value, const Run& run) { return value < run.start; });
    return std::size_t(it - runs_.begin()) - 1;
}

qsizetype AttributedString::runEnd(std::size_t index) const {
    return index + 1 < runs_.size() ? runs_[index + 1].start : text_.size();
}

std::size_t AttributedString::firstRunFrom(qsizetype position) const {
    auto it = std::lower_bound(runs_.begin(), runs_.end(), position,
                               [](const Run& run, qsizetype value) { return run.start < value; });
    return std::size_t(it - runs_.begin());
}

std::size_t AttributedString::splitAt(qsizetype position) {
    if (position <= 0) return 0;
    if (position >= text_.size()) return runs_.size();
    const std::size_t index = runIndexAt(position);
    if (runs_[index].start == position) return index;
    runs_.insert(runs_.begin() + std::ptrdiff_t(index) + 1, Run{position, runs_[index].attributes});
    return index + 1;
}

void AttributedString::coalesce(std::size_t first, std::size_t last) {
    if (runs_.empty()) return;
    last = std::min(last, runs_.size() - 1);
    if (first >= last) return;
    auto begin = runs_.begin() + std::ptrdiff_t(first);
    auto end = runs_.begin() + std::ptrdiff_t(last) + 1;
    auto kept = std::unique(begin, end, [](const Run& a, const Run& b) {
        return sameAttributes(a.attributes, b.attributes);
    });
    runs_.erase(kept, end);
}

const TextAttributes& AttributedString::attributesAtIndex(qsizetype index,
                                                          TextRange* effectiveRange) const {
    if (index < 0 || index >= text_.size())
        throw std::out_of_range("AttributedString: index out of bounds");
    const std::size_t run = runIndexAt(index);
    if (effectiveRange) *effectiveRange = {runs_[run].start, runEnd(run) - runs_[run].start};
    return *runs_[run].attributes;
}

void AttributedString::replaceCharactersInRange(const TextRange& range,
                                                const AttributedString& replacement) {
    checkRange(range);
    if (range.isEmpty() && replacement.text_.isEmpty()) return;
    const std::size_t first = splitAt(range.location);
    const std::size_t last = splitAt(range.end());
    runs_.erase(runs_.begin() + std::ptrdiff_t(first), runs_.begin() + std::ptrdiff_t(last));

    text_.replace(range.location, range.length, replacement.text_);
    const qsizetype delta = replacement.length() - range.length;
    for (std::size_t i = first; i < runs_.size(); ++i) runs_[i].start += delta;

    const std::size_t count = replacement.runs_.size();
    runs_.insert(runs_.begin() + std::ptrdiff_t(first), replacement.runs_.begin(),
                 replacement.runs_.end());
    for (std::size_t i = first; i < first + count; ++i) {
        runs_[i].start += range.location;
        runs_[i].attributes = share(runs_[i].attributes);
    }
    if (text_.isEmpty()) {
        runs_.clear();
        return;
    }
    coalesce(first == 0 ? 0 : first - 1, first + count);
}

void AttributedString::replaceCharactersInRange(const TextRange& range, const QString& text) {
    checkRange(range);
    SharedAttributes attributes;
    if (range.length > 0)
        attributes = runs_[runIndexAt(range.location)].attributes;
    else if (range.location > 0)
        attributes = runs_[runIndexAt(range.location - 1)].attributes;
    else if (!text_.isEmpty())
        attributes = runs_.front().attributes;
    else
        attributes = share(TextAttributes());
    replaceCharacters(range, text, attributes);
}

void AttributedString::replaceCharacters(const TextRange& range, const QString& text,
                                         const SharedAttributes& attributes) {
    AttributedString replacement;
    replacement.text_ = text;
    if (!text.isEmpty()) replacement.runs_.push_back({0, attributes});
    replaceCharactersInRange(range, replacement);
}

void AttributedString::append(const AttributedString& text) {
    replaceCharactersInRange({length(), 0}, text);
}

void AttributedString::append(const QString& text, const TextAttributes& attributes) {
    if (text.isEmpty()) return;
    // The common case of readers building text: no run to split, at most one to add.
    if (runs_.empty() || !(*runs_.back().attributes == attributes))
        runs_.push_back({length(), share(attributes)});
    text_.append(text);
}

void AttributedString::setAttributes(const TextAttributes& attributes, const TextRange& range) {
    checkRange(range);
    if (range.isEmpty()) return;
    const std::size_t first = splitAt(range.location);
    const std::size_t last = splitAt(range.end());
    runs_.erase(runs_.begin() + std::ptrdiff_t(first), runs_.begin() + std::ptrdiff_t(last));
    runs_.insert(runs_.begin() + std::ptrdiff_t(first), Run{range.location, share(attributes)});
    coalesce(first == 0 ? 0 : first - 1, first + 1);
}

void AttributedString::modifyAttributes(const TextRange& range,
                                        const std::function<void(TextAttributes&)>& change) {
    checkRange(range);
    if (range.isEmpty()) return;
    const std::size_t first = splitAt(range.location);
    const std::size_t last = splitAt(range.end());
    // Runs that shared their attributes before the change share the result.
    SharedAttributes lastBefore;
    SharedAttributes lastAfter;
    for (std::size_t i = first; i < last; ++i) {
        SharedAttributes& attributes = runs_[i].attributes;
        if (attributes == lastBefore) {
            attributes = lastAfter;
            continue;
        }
        lastBefore = attributes;
        TextAttributes changed = *attributes;
        change(changed);
        if (!interchangeable(changed, *attributes)) attributes = share(changed);
        lastAfter = attributes;
    }
    coalesce(first == 0 ? 0 : first - 1, last);
}

void AttributedString::addAttributes(const TextAttributes& attributes, const TextRange& range) {
    modifyAttributes(range, [&](TextAttributes& current) { current.merge(attributes); });
}

void AttributedString::removeAttribute(TextAttributeKey key, const TextRange& range) {
    modifyAttributes(range, [key](TextAttributes& current) { current.remove(key); });
}

void AttributedString::substituteFontFamily(const QString& family, const QString& replacement) {
    modifyAttributes({0, length()}, [&](TextAttributes& attributes) {
        if (!attributes.font || attributes.font->family() != family) return;
        Font& font = *attributes.font;
        font.setFamily(replacement);
        font.setPostScriptName(
            FontRegistry::postScriptNameForFamily(replacement, font.isBold(), font.isItalic()));
    });
}

void AttributedString::enumerateAttributes(
    const TextRange& range,
    const std::function<void(const TextAttributes&, const TextRange&, bool& stop)>& visit) const {
    checkRange(range);
    if (range.isEmpty()) return;
    bool stop = false;
    for (std::size_t i = runIndexAt(range.location);
         i < runs_.size() && runs_[i].start < range.end(); ++i) {
        const qsizetype start = std::max(runs_[i].start, range.location);
        const qsizetype end = std::min(runEnd(i), range.end());
        visit(*runs_[i].attributes, {start, end - start}, stop);
        if (stop) return;
    }
}

void AttributedString::enumerateAttachments(
    const TextRange& range,
    const std::function<void(const TextAttachment&, const TextRange&, bool& stop)>& visit) const {
    enumerateAttributes(range,
                        [&](const TextAttributes& attributes, const TextRange& run, bool& stop) {
                            if (!attributes.attachment) return;
                            for (qsizetype i = run.location; i < run.end() && !stop; ++i)
                                if (text_.at(i).unicode() == TextAttachment::Character)
                                    visit(*attributes.attachment, {i, 1}, stop);
                        });
}

TextRange AttributedString::paragraphRangeForRange(const TextRange& range) const {
    checkRange(range);
    qsizetype start = range.location;
    // The "\n" of a CRLF belongs to the paragraph the "\r" ends.
    if (start > 0 && start < length() && text_.at(start) == QLatin1Char('\n') &&
        text_.at(start - 1) == QLatin1Char('\r'))
        --start;
    while (start > 0 && !isParagraphSeparator(text_.at(start - 1))) --start;
    qsizetype end = range.length > 0 ? range.end() - 1 : range.location;
    if (range.length > 0 && end > start && text_.at(end) == QLatin1Char('\n') &&
        text_.at(end - 1) == QLatin1Char('\r'))
        return {start, end + 1 - start};
    while (end < length() && !isParagraphSeparator(text_.at(end))) ++end;
    if (end < length()) end = afterTerminator(text_, end);
    return {start, end - start};
}

QList<TextRange> AttributedString::paragraphRanges() const {
    QList<TextRange> ranges;
    qsizetype start = 0;
    for (qsizetype i = 0; i < length();) {
        if (isParagraphSeparator(text_.at(i))) {
            i = afterTerminator(text_, i);
            ranges.append({start, i - start});
            start = i;
        } else {
            ++i;
        }
    }
    if (start < length()) ranges.append({start, length() - start});
    return ranges;
}

void AttributedString::enumerateLines(
    const std::function<void(const TextRange& contents, const TextRange& line, bool& stop)>& visit)
    const {
    bool stop = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < length() && !stop;) {
        if (isLineSeparator(text_.at(i))) {
            const qsizetype next = afterTerminator(text_, i);
            visit({start, i - start}, {start, next - start}, stop);
            start = i = next;
        } else {
            ++i;
        }
    }
    if (!stop && start < length())
        visit({start, length() - start}, {start, length() - start}, stop);
}

AttributedString AttributedString::attributedSubstring(const TextRange& range) const {
    checkRange(range);
    AttributedString result;
    if (range.isEmpty()) return result;
    result.text_ = text_.mid(range.location, range.length);
    for (std::size_t i = runIndexAt(range.location);
         i < runs_.size() && runs_[i].start < range.end(); ++i)
        result.runs_.push_back(
            {std::max(runs_[i].start, range.location) - range.location, runs_[i].attributes});
    return result;
}
