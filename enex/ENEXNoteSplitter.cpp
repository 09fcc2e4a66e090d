#include "enex/ENEXNoteSplitter.h"

#include <libxml/xmlerror.h>

#include <QFile>
#include <cstring>

#include "platform/xml/XMLParserSupport.h"

namespace {

// Enough bytes for the longest markup looked for ("</en-export>").
constexpr qsizetype kCarried = 16;

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
    // Keep the last bytes of the chunk before, for markup that straddles the two.
    const qsizetype carried = std::min(buffer_.size(), kCarried);
    bufferOffset_ += buffer_.size() - carried;
    buffer_.remove(0, buffer_.size() - carried);
    buffer_.resize(carried + kChunkSize);
    const qint64 read = input_->read(buffer_.data() + carried, kChunkSize);
    buffer_.resize(carried + std::max<qint64>(read, 0));
    flushedTo_ = carried;
    if (read < 0) error_ = readError(*input_);
    if (read <= 0) {
        atEnd_ = true;
        if (current_) {
            current_->endsTheFile = true;
            endStretch(buffer_.size(), false);
        }
        return false;
    }
    for (qsizetype at = carried; at < buffer_.size(); ++at) scanByte(at);
    if (current_) flushStretch(buffer_.size());
    return true;
}

void ENEXNoteSplitter::scanByte(qsizetype at) {
    const char c = buffer_[at];
    switch (state_) {
        case State::CDATA:
            // An open section meeting the end of the content ends there (see the header).
            if (c == '>' && (endsWith(at, "]]>") || (current_ && endsWith(at, "</content>"))))
                state_ = State::Text;
            break;
        case State::Comment:
            if (c == '>' && endsWith(at, "-->")) state_ = State::Text;
            break;
        case State::Text:
            if (c == '[' && endsWith(at, "<![CDATA[")) {
                state_ = State::CDATA;
            } else if (c == '-' && endsWith(at, "<!--")) {
                state_ = State::Comment;
            } else if ((c == '>' || c == ' ' || c == '\t' || c == '\n' || c == '\r') && at >= 5 &&
                       std::memcmp(buffer_.constData() + at - 5, "<note", 5) == 0) {
                if (current_) endStretch(at - 5, false);  // the note before has no end tag
                startStretch(at - 5);
            } else if (c == '>' && current_) {
                if (endsWith(at, "</note>"))
                    endStretch(at + 1, true);
                else if (endsWith(at, "</en-export>"))
                    endStretch(at + 1 - 12, false);
                else if (titleStart_ == -1 && endsWith(at, "<title>")) {
                    flushStretch(at + 1);
                    titleStart_ = current_->bytes.size();
                } else if (titleStart_ >= 0 && endsWith(at, "</title>")) {
                    takeTitle(at);
                }
            }
            break;
    }
    if (c == '\n') {
        ++line_;
        column_ = 1;
    } else {
        ++column_;
    }
}

bool ENEXNoteSplitter::endsWith(qsizetype at, const char* text) const {
    const qsizetype length = qsizetype(std::strlen(text));
    return at + 1 >= length &&
           std::memcmp(buffer_.constData() + at + 1 - length, text, size_t(length)) == 0;
}

void ENEXNoteSplitter::flushStretch(qsizetype end) {
    if (end <= flushedTo_) return;
    QByteArray& bytes = current_->bytes;
    const qsizetype room = stretchLimit_ - bytes.size();
    const qsizetype length = end - flushedTo_;
    if (length > room) current_->isOversized = true;
    if (room > 0) bytes.append(buffer_.constData() + flushedTo_, std::min(length, room));
    flushedTo_ = end;
}

void ENEXNoteSplitter::startStretch(qsizetype at) {
    current_.emplace();
    current_->offset = bufferOffset_ + at;
    current_->line = line_;
    current_->column = column_ - 5;
    flushedTo_ = at;
    titleStart_ = -1;
}

void ENEXNoteSplitter::endStretch(qsizetype end, bool hasNoteEnd) {
    flushStretch(end);
    ENEXNoteStretch stretch = std::move(*current_);
    current_.reset();
    titleStart_ = -1;
    stretch.hasNoteEnd = hasNoteEnd;
    ready_.push_back(std::move(stretch));
}

void ENEXNoteSplitter::takeTitle(qsizetype at) {
    flushStretch(at + 1);
    const QByteArray& bytes = current_->bytes;
    const qsizetype end = bytes.size() - 8;  // before "</title>"
    if (!current_->isOversized && end >= titleStart_)
        current_->title = titleText(bytes.mid(titleStart_, end - titleStart_));
    titleStart_ = -2;  // only the first title names the note
}
