#include "enex/ENEXNoteSplitter.h"

#include <libxml/xmlerror.h>

#include <QFile>
#include <cstring>

#include "platform/xml/XMLParserSupport.h"

namespace {

// The tail keeps enough bytes for the longest markup looked for ("</en-export>").
constexpr qsizetype kTailKept = 32;
constexpr qsizetype kTailTrimmedAt = 4096;

Error readError(const QIODevice& input) {
    return Error(QString::fromLatin1(XMLParserErrorDomain), XML_IO_EIO, input.errorString());
}

// The text of a title as written in the file: the five XML references read.
QString titleText(const QByteArray& raw) {
    QByteArray text = raw;
    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&apos;", "'");
    text.replace("&amp;", "&");
    return QString::fromUtf8(text).trimmed();
}

}  // namespace

ENEXNoteSplitter::ENEXNoteSplitter(QIODevice* input, qsizetype stretchLimit)
    : input_(input), stretchLimit_(stretchLimit) {}

std::optional<ENEXNoteStretch> ENEXNoteSplitter::nextStretch() {
    while (ready_.empty() && !atEnd_) readChunk();
    if (ready_.empty()) return std::nullopt;
    ENEXNoteStretch stretch = std::move(ready_.front());
    ready_.pop_front();
    return stretch;
}

std::optional<unsigned long> ENEXNoteSplitter::countStretchesInFileAtPath(const QString& path,
                                                                          Error* error) {
    QFile file(path);
    ENEXNoteSplitter splitter(&file);
    unsigned long count = 0;
    while (splitter.nextStretch()) ++count;
    if (!splitter.error().isNull()) {
        splitter.error().report(error);
        return std::nullopt;
    }
    return count;
}

bool ENEXNoteSplitter::readChunk() {
    if (!input_->isOpen() && !input_->open(QIODevice::ReadOnly)) {
        error_ = readError(*input_);
        atEnd_ = true;
        return false;
    }
    QByteArray chunk(kChunkSize, Qt::Uninitialized);
    const qint64 read = input_->read(chunk.data(), kChunkSize);
    if (read < 0) error_ = readError(*input_);
    if (read <= 0) {
        atEnd_ = true;
        if (current_) {
            current_->endsTheFile = true;
            endStretch(0, false);
        }
        return false;
    }
    for (qint64 i = 0; i < read; ++i) scanByte(chunk[i]);
    return true;
}

void ENEXNoteSplitter::scanByte(char c) {
    tail_.append(c);
    if (tail_.size() > kTailTrimmedAt) tail_.remove(0, tail_.size() - kTailKept);
    if (current_) appendToStretch(c);
    scanMarkup();
    ++offset_;
    if (c == '\n') {
        ++line_;
        column_ = 1;
    } else {
        ++column_;
    }
}

void ENEXNoteSplitter::appendToStretch(char c) {
    if (current_->isOversized) return;
    if (current_->bytes.size() >= stretchLimit_)
        current_->isOversized = true;
    else
        current_->bytes.append(c);
}

bool ENEXNoteSplitter::tailEndsWith(const char* text) const {
    const qsizetype length = qsizetype(std::strlen(text));
    return tail_.size() >= length &&
           std::memcmp(tail_.constData() + tail_.size() - length, text, size_t(length)) == 0;
}

void ENEXNoteSplitter::scanMarkup() {
    const char c = tail_.back();
    switch (state_) {
        case State::CDATA:
            // An open section meeting the end of the content ends there (see the header).
            if (c == '>' && (tailEndsWith("]]>") || (current_ && tailEndsWith("</content>"))))
                state_ = State::Text;
            return;
        case State::Comment:
            if (c == '>' && tailEndsWith("-->")) state_ = State::Text;
            return;
        case State::Text:
            break;
    }
    if (c == '[' && tailEndsWith("<![CDATA[")) {
        state_ = State::CDATA;
    } else if (c == '-' && tailEndsWith("<!--")) {
        state_ = State::Comment;
    } else if ((c == '>' || c == ' ' || c == '\t' || c == '\n' || c == '\r') && tail_.size() >= 6 &&
               std::memcmp(tail_.constData() + tail_.size() - 6, "<note", 5) == 0) {
        if (current_) endStretch(6, false);  // the note before has no end tag
        startStretch(6);
    } else if (c == '>' && current_) {
        if (tailEndsWith("</note>"))
            endStretch(0, true);
        else if (tailEndsWith("</en-export>"))
            endStretch(12, false);
        else if (titleStart_ == -1 && tailEndsWith("<title>"))
            titleStart_ = current_->bytes.size();
        else if (titleStart_ >= 0 && tailEndsWith("</title>"))
            takeTitle();
    }
}

void ENEXNoteSplitter::startStretch(qsizetype markerLength) {
    current_.emplace();
    current_->bytes = tail_.right(markerLength);
    current_->offset = offset_ - (markerLength - 1);
    current_->line = line_;
    current_->column = column_ - (markerLength - 1);
    titleStart_ = -1;
}

void ENEXNoteSplitter::endStretch(qsizetype trailingBytes, bool hasNoteEnd) {
    ENEXNoteStretch stretch = std::move(*current_);
    current_.reset();
    titleStart_ = -1;
    if (trailingBytes > 0 && !stretch.isOversized && stretch.bytes.size() >= trailingBytes)
        stretch.bytes.chop(trailingBytes);
    stretch.hasNoteEnd = hasNoteEnd;
    ready_.push_back(std::move(stretch));
}

void ENEXNoteSplitter::takeTitle() {
    const QByteArray& bytes = current_->bytes;
    const qsizetype end = bytes.size() - 8;  // before "</title>"
    if (!current_->isOversized && end >= titleStart_)
        current_->title = titleText(bytes.mid(titleStart_, end - titleStart_));
    titleStart_ = -2;  // only the first title names the note
}
