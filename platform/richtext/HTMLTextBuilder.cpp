#include "platform/richtext/HTMLTextBuilder.h"

#include <algorithm>

namespace {

// The blanks HTML folds; U+00A0 is deliberately not one of them.
bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && isBlank(text.at(end - 1))) --end;
    return text.left(end);
}

}  // namespace

void HTMLTextBuilder::setCheckBoxMarkers(const QString& checked, const QString& unchecked) {
    bareCheckedMarker_ = withoutTrailingBlanks(checked);
    bareUncheckedMarker_ = withoutTrailingBlanks(unchecked);
    // One character more than the longer marker, so that a longer line start never matches.
    lineStartLength_ = std::max(bareCheckedMarker_.size(), bareUncheckedMarker_.size()) + 1;
}

void HTMLTextBuilder::appendText(QStringView text, const TextAttributes& attributes,
                                 WhiteSpace mode) {
    if (mode == WhiteSpace::Normal) {
        for (qsizetype i = 0; i < text.size();) {
            qsizetype end = i;
            const bool blank = isBlank(text.at(i));
            while (end < text.size() && isBlank(text.at(end)) == blank) ++end;
            if (!blank) {
                flushPendingMarker();
                writePendingSpace();
                write(text.mid(i, end - i), attributes);
                spaceAllowed_ = true;
            } else if (lineIsBareCheckBox()) {
                write(u" ", attributes);
                spaceAllowed_ = false;
            } else if (spaceAllowed_ && !hasPendingSpace_) {
                hasPendingSpace_ = true;
                pendingSpaceAttributes_ = attributes;
            }
            i = end;
        }
        return;
    }
    // Preformatted text: split at line ends ("\r\n", "\r" or "\n").
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r') ++end;
        if (end > i) {
            if (mode == WhiteSpace::Preserve) {
                appendContent(text.mid(i, end - i).toString(), attributes);
            } else {
                appendText(text.mid(i, end - i), attributes, WhiteSpace::Normal);
            }
        }
        if (end == text.size()) break;
        appendLineBreak(attributes);
        i = end +
            (text.at(end) == u'\r' && end + 1 < text.size() && text.at(end + 1) == u'\n' ? 2 : 1);
    }
}

void HTMLTextBuilder::appendContent(const QString& text, const TextAttributes& attributes,
                                    bool suppressSpaceAfter) {
    if (text.isEmpty()) return;
    flushPendingMarker();
    writePendingSpace();
    write(text, attributes);
    spaceAllowed_ = !suppressSpaceAfter;
}

void HTMLTextBuilder::appendCheckBox(const QString& marker, const TextAttributes& attributes) {
    flushPendingMarker();
    writePendingSpace();
    startLineIfNeeded();
    checkBoxPositions_.append(writePosition());
    write(marker, attributes);
    spaceAllowed_ = false;
}

void HTMLTextBuilder::appendAttachment(const TextAttributes& attributes) {
    flushPendingMarker();
    writePendingSpace();
    startLineIfNeeded();
    flushRun();
    TextAttributes withStyle = attributes;
    if (!lineStyle_.isDefault()) withStyle.paragraphStyle = lineStyle_;
    result_.append(QString(QChar(TextAttachment::Character)), withStyle);
    if (lineStart_.size() < lineStartLength_) lineStart_ += QChar(TextAttachment::Character);
    runAttributes_ = breakAttributes(attributes);
    spaceAllowed_ = true;
}

void HTMLTextBuilder::setPendingMarker(const QString& marker, const TextAttributes& attributes,
                                       bool isListMarker) {
    flushPendingMarker();
    hasPendingMarker_ = true;
    pendingMarker_ = marker;
    pendingMarkerAttributes_ = attributes;
    pendingMarkerIsList_ = isListMarker;
}

void HTMLTextBuilder::flushPendingMarker() {
    if (!hasPendingMarker_) return;
    hasPendingMarker_ = false;
    endParagraph();
    startLineIfNeeded();
    if (pendingMarkerIsList_) {
        // The marker hangs in the first-line indent, between two tab stops,
        // with the text at the head indent.
        ParagraphStyle style = lineStyle_;
        style.firstLineHeadIndent = std::max(0.0, style.headIndent - ListIndent);
        style.tabStops = {TextTab{std::max(0.0, style.headIndent - ListIndent + 11)},
                          TextTab{style.headIndent}};
        useLineStyle(style);
    } else {
        checkBoxPositions_.append(writePosition());
    }
    write(pendingMarker_, pendingMarkerAttributes_);
    spaceAllowed_ = false;
    hasPendingSpace_ = false;
}

void HTMLTextBuilder::appendLineBreak(const TextAttributes& attributes) {
    flushPendingMarker();
    emitBreak(lineStarted_ ? runAttributes_ : attributes);
}

void HTMLTextBuilder::endParagraph() {
    if (lineStarted_) emitBreak(runAttributes_);
}

void HTMLTextBuilder::appendEmptyParagraph(const TextAttributes& attributes) {
    endParagraph();
    emitBreak(attributes);
}

AttributedString HTMLTextBuilder::takeResult() {
    flushRun();
    AttributedString result = std::move(result_);
    *this = HTMLTextBuilder();
    return result;
}

void HTMLTextBuilder::write(QStringView text, const TextAttributes& attributes) {
    startLineIfNeeded();
    if (attributes != runAttributes_) {
        flushRun();
        runAttributes_ = attributes;
    }
    run_ += text;
    if (lineStart_.size() < lineStartLength_)
        lineStart_ += text.left(lineStartLength_ - lineStart_.size());
}

void HTMLTextBuilder::emitBreak(const TextAttributes& attributes) {
    write(u"\n", breakAttributes(attributes));
    ++breaks_;
    lineStarted_ = false;
    spaceAllowed_ = false;
    hasPendingSpace_ = false;
}

void HTMLTextBuilder::startLineIfNeeded() {
    if (lineStarted_) return;
    lineStarted_ = true;
    lineStart_.clear();
    useLineStyle(blockStyle_);
}

void HTMLTextBuilder::useLineStyle(const ParagraphStyle& style) {
    lineStyle_ = style;
    if (lineStyle_ != runStyle_) {
        flushRun();
        runStyle_ = lineStyle_;
    }
}

void HTMLTextBuilder::flushRun() {
    if (run_.isEmpty()) return;
    TextAttributes attributes = runAttributes_;
    if (!runStyle_.isDefault()) attributes.paragraphStyle = runStyle_;
    result_.append(run_, attributes);
    run_.resize(0);
}

void HTMLTextBuilder::writePendingSpace() {
    if (!hasPendingSpace_) return;
    hasPendingSpace_ = false;
    write(u" ", pendingSpaceAttributes_);
}

bool HTMLTextBuilder::lineIsBareCheckBox() const {
    if (!lineStarted_ || lineStart_.isEmpty()) return false;
    return lineStart_ == bareCheckedMarker_ || lineStart_ == bareUncheckedMarker_;
}

TextAttributes HTMLTextBuilder::breakAttributes(TextAttributes attributes) {
    attributes.link.reset();
    attributes.attachment.reset();
    return attributes;
}
