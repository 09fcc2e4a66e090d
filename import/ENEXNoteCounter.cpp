#include "import/ENEXNoteCounter.h"

#include <libxml/xmlerror.h>

#include <QFile>
#include <cstring>

#include "enex/EvernoteNoteLinkIndex.h"
#include "enex/EvernoteNoteLinkURL.h"
#include "enex/EvernoteNoteLinks.h"
#include "platform/xml/XMLParserSupport.h"

namespace {

constexpr qsizetype kChunkSize = ENEXNoteCounter::kDefaultChunkSize;
constexpr char kPassageStart[] = "<en-crypt";
constexpr size_t kPassageStartLength = sizeof(kPassageStart) - 1;

bool startsWith(const char* at, const char* end, const char* text) {
    const size_t length = std::strlen(text);
    return size_t(end - at) >= length && std::memcmp(at, text, length) == 0;
}

// The first `text` at or after `from`, found by its first byte, which is rare
// in what it closes (']' in CDATA, '-' in a comment, '?' in an instruction):
// far faster than a general substring search.
const char* findClosing(const char* from, const char* end, const char* text, size_t length) {
    while (from < end) {
        from = static_cast<const char*>(std::memchr(from, text[0], size_t(end - from)));
        if (!from || size_t(end - from) < length) return nullptr;
        if (std::memcmp(from, text, length) == 0) return from;
        ++from;
    }
    return nullptr;
}

bool isNameEnd(char c) {
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The character an entity reference names ("amp", "#38", "#x26"), or 0 for
// one the parser would not know either (then the text is kept as it stands).
char32_t entityCharacter(QByteArrayView name) {
    if (name == "amp") return u'&';
    if (name == "lt") return u'<';
    if (name == "gt") return u'>';
    if (name == "quot") return u'"';
    if (name == "apos") return u'\'';
    if (name == "nbsp") return 0xA0;
    if (name.size() < 2 || name[0] != '#') return 0;
    bool ok = false;
    const uint code = name[1] == 'x' || name[1] == 'X' ? name.sliced(2).toUInt(&ok, 16)
                                                       : name.sliced(1).toUInt(&ok, 10);
    return ok && code > 0 && code <= 0x10FFFF ? char32_t(code) : 0;
}

// XML text (UTF-8) with its entity references decoded; with `withoutTags`,
// the markup inside it (the elements around a link's words) left out.
QString decodedText(const char* begin, const char* end, bool withoutTags) {
    QByteArray bytes;
    bytes.reserve(end - begin);
    for (const char* c = begin; c < end; ++c) {
        if (withoutTags && *c == '<') {
            const void* close = std::memchr(c, '>', size_t(end - c));
            if (!close) break;
            c = static_cast<const char*>(close);
            continue;
        }
        if (*c == '&') {
            const void* semicolon = std::memchr(c, ';', size_t(std::min<qsizetype>(end - c, 12)));
            if (semicolon) {
                const char* stop = static_cast<const char*>(semicolon);
                if (const char32_t code = entityCharacter(QByteArrayView(c + 1, stop - c - 1))) {
                    bytes += QString::fromUcs4(&code, 1).toUtf8();
                    c = stop;
                    continue;
                }
            }
        }
        bytes += *c;
    }
    return QString::fromUtf8(bytes);
}

// The value of the attribute `name` in the start tag [begin, end), decoded;
// empty when it has none.
QString attributeValue(const char* begin, const char* end, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* c = begin; c + length + 2 < end; ++c) {
        if (std::memcmp(c, name, length) != 0 || !isNameEnd(c[-1])) continue;
        const char* at = c + length;
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r')) ++at;
        if (at >= end || *at != '=') continue;
        ++at;
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r')) ++at;
        if (at >= end || (*at != '"' && *at != '\'')) return QString();
        const void* close = std::memchr(at + 1, *at, size_t(end - at - 1));
        if (!close) return QString();
        return decodedText(at + 1, static_cast<const char*>(close), false);
    }
    return QString();
}

// The place of `offset` in the file, as the parser reports places: lines and
// columns counted from 1.
std::pair<qint64, qint64> lineAndColumn(QFile& file, qint64 offset) {
    file.seek(0);
    qint64 line = 1, lineStart = 0, position = 0;
    while (position < offset) {
        const QByteArray chunk = file.read(std::min<qint64>(kChunkSize, offset - position));
        if (chunk.isEmpty()) break;
        for (qsizetype i = 0; i < chunk.size(); ++i)
            if (chunk[i] == '\n') {
                ++line;
                lineStart = position + i + 1;
            }
        position += chunk.size();
    }
    return {line, offset - lineStart + 1};
}

}  // namespace

std::optional<unsigned long> ENEXNoteCounter::countNotesInFileAtPath(const QString& path,
                                                                     Error* error,
                                                                     qsizetype chunkSize) {
    const auto counts = countInFileAtPath(path, error, chunkSize);
    if (!counts) return std::nullopt;
    return counts->notes;
}

std::optional<ENEXNoteCounter::Counts> ENEXNoteCounter::countInFileAtPath(
    const QString& path, Error* error, qsizetype chunkSize, EvernoteNoteLinkIndex* links) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Error(QString::fromLatin1(XMLParserErrorDomain), XML_IO_EIO, file.errorString())
            .report(error);
        return std::nullopt;
    }
    // The bytes left over by one read (markup cut off) stay at the front of
    // the buffer and the next read goes after them: nothing is copied twice.
    ENEXNoteCounter counter;
    counter.links_ = links;
    QByteArray buffer;
    qsizetype carried = 0;
    while (true) {
        buffer.resize(carried + chunkSize);
        const qint64 read = file.read(buffer.data() + carried, chunkSize);
        if (read < 0) {
            Error(QString::fromLatin1(XMLParserErrorDomain), XML_IO_EIO, file.errorString())
                .report(error);
            return std::nullopt;
        }
        if (read == 0) break;
        const qsizetype size = carried + read;
        const qsizetype done = counter.scanBytes(buffer.constData(), size, false);
        if (done < 0) break;
        carried = size - done;
        std::memmove(buffer.data(), buffer.constData() + done, size_t(carried));
    }
    if (counter.failureOffset() < 0) counter.pending_ = buffer.left(carried);
    if (counter.failureOffset() < 0 && counter.finish())
        return Counts{counter.noteCount(), counter.passageCount_};
    const auto [line, column] = lineAndColumn(file, counter.failureOffset());
    XMLParserSupport::positionedError(counter.failureCode(), line, column, counter.failureMessage())
        .report(error);
    return std::nullopt;
}

bool ENEXNoteCounter::finish() {
    if (failureOffset_ >= 0) return false;
    const qsizetype size = pending_.size();
    const qsizetype done = scanBytes(pending_.constData(), size, true);
    if (done < 0) return false;
    if (state_ != State::Content || done < size) {
        failureOffset_ = consumed_ + (size - done);
        failureCode_ = XML_ERR_TAG_NOT_FINISHED;
        failureMessage_ = QStringLiteral("Premature end of data");
        return false;
    }
    if (!open_.empty()) {
        fail(0, XML_ERR_TAG_NOT_FINISHED,
             QStringLiteral("Premature end of data in tag %1")
                 .arg(QString::fromStdString(open_.back())));
        return false;
    }
    if (!sawRoot_) {
        fail(0, XML_ERR_DOCUMENT_EMPTY, QStringLiteral("Document is empty"));
        return false;
    }
    return true;
}

void ENEXNoteCounter::countPassages(const char* from, const char* startsBefore, const char* end) {
    while (from < startsBefore) {
        from = findClosing(from, end, kPassageStart, kPassageStartLength);
        if (!from || from >= startsBefore) return;
        ++passageCount_;
        from += kPassageStartLength;
    }
}

void ENEXNoteCounter::fail(qsizetype at, long code, const QString& message) {
    failureOffset_ = consumed_ + at;
    failureCode_ = code;
    failureMessage_ = message;
}

qsizetype ENEXNoteCounter::scanBytes(const char* data, qsizetype size, bool atEnd) {
    data_ = data;
    size_ = size;
    const qsizetype done = scan(atEnd);
    if (done >= 0) consumed_ += done;
    return done;
}

qsizetype ENEXNoteCounter::scan(bool atEnd) {
    const char* data = data_;
    const qsizetype size = size_;
    qsizetype at = 0;
    while (at < size) {
        const char* from = data + at;
        const size_t left = size_t(size - at);
        const char* found = nullptr;  // where the closing text of the current state ends
        switch (state_) {
            case State::Content: {
                found = static_cast<const char*>(std::memchr(from, '<', left));
                if (inTitle_) title_.append(from, (found ? found : data + size) - from);
                if (!found) return size;
                const qsizetype taken = markup(found - data, atEnd);
                if (taken < 0) return -1;
                if (taken == 0) return found - data;  // cut off: keep it for the next chunk
                at = found - data + taken;
                continue;
            }
            case State::CDATA:
                if ((found = findClosing(from, data + size, "]]>", 3))) {
                    countPassages(from, found, found);
                    if (links_) gatherLinks(from, found, true);
                    if (inTitle_) title_.append(from, found - from);
                    found += 3;
                    break;
                }
                // A passage tag or a link may straddle the chunks: the bytes
                // where one could start without ending here are kept for the next.
                {
                    qsizetype kept = std::max(at, size - qsizetype(kPassageStartLength - 1));
                    if (links_)
                        if (const char* cut = gatherLinks(from, data + size, atEnd))
                            kept = std::min(kept, qsizetype(cut - data));
                    countPassages(from, data + kept, data + size);
                    if (inTitle_) title_.append(from, data + kept - from);
                    return kept;
                }
            case State::Comment:
                if ((found = findClosing(from, data + size, "-->", 3))) found += 3;
                break;
            case State::ProcessingInstruction:
                if ((found = findClosing(from, data + size, "?>", 2))) found += 2;
                break;
            case State::DocumentType:
                if ((found = static_cast<const char*>(std::memchr(from, '>', left)))) found += 1;
                break;
        }
        // Keep the last two bytes: the closing text may straddle the chunks.
        if (!found) return std::max(at, size - 2);
        at = found - data;
        state_ = State::Content;
    }
    return at;
}

qsizetype ENEXNoteCounter::markup(qsizetype at, bool atEnd) {
    const char* begin = data_ + at;
    const char* end = data_ + size_;
    // Enough to tell every kind of markup apart ("<![CDATA[" is the longest).
    if (end - begin < 9 && !atEnd) return 0;
    if (startsWith(begin, end, "<![CDATA[")) {
        state_ = State::CDATA;
        return 9;
    }
    if (startsWith(begin, end, "<!--")) {
        state_ = State::Comment;
        return 4;
    }
    if (startsWith(begin, end, "<?")) {
        state_ = State::ProcessingInstruction;
        return 2;
    }
    if (startsWith(begin, end, "<!")) {
        state_ = State::DocumentType;
        return 2;
    }
    return startsWith(begin, end, "</") ? endTag(at) : startTag(at);
}

qsizetype ENEXNoteCounter::endTag(qsizetype at) {
    const char* begin = data_ + at;
    const qsizetype size = size_ - at;
    const char* close = static_cast<const char*>(std::memchr(begin, '>', size_t(size)));
    if (!close) return 0;
    const char* name = begin + 2;
    const char* nameEnd = name;
    while (nameEnd < close && !isNameEnd(*nameEnd)) ++nameEnd;
    const size_t length = size_t(nameEnd - name);
    if (open_.empty() || open_.back().size() != length ||
        std::memcmp(open_.back().data(), name, length) != 0) {
        fail(at, XML_ERR_TAG_NAME_MISMATCH,
             QStringLiteral("Opening and ending tag mismatch: %1 and %2")
                 .arg(open_.empty() ? QString() : QString::fromStdString(open_.back()),
                      QString::fromUtf8(name, qsizetype(length))));
        return -1;
    }
    if (length == 4 && std::memcmp(name, "note", 4) == 0) ++noteCount_;
    if (inTitle_ && length == 5 && std::memcmp(name, "title", 5) == 0) {
        links_->addTitle(
            decodedText(title_.constData(), title_.constData() + title_.size(), false));
        inTitle_ = false;
        title_.clear();
    }
    open_.pop_back();
    if (open_.empty()) rootClosed_ = true;
    return close - begin + 1;
}

qsizetype ENEXNoteCounter::startTag(qsizetype at) {
    const char* begin = data_ + at;
    const char* end = data_ + size_;
    // The tag ends at the first '>' outside its quoted attribute values.
    const char* close = begin + 1;
    while (true) {
        close = static_cast<const char*>(std::memchr(close, '>', size_t(end - close)));
        if (!close) return 0;
        const char* quote = begin + 1;
        char openQuote = 0;
        for (const char* c = begin + 1; c < close; ++c) {
            if (openQuote) {
                if (*c == openQuote) openQuote = 0;
            } else if (*c == '"' || *c == '\'') {
                openQuote = *c;
                quote = c;
            }
        }
        if (!openQuote) break;
        const char* after =
            static_cast<const char*>(std::memchr(quote + 1, openQuote, size_t(end - quote - 1)));
        if (!after) return 0;
        close = after + 1;
    }
    const char* name = begin + 1;
    const char* nameEnd = name;
    while (nameEnd < close && !isNameEnd(*nameEnd)) ++nameEnd;
    const size_t length = size_t(nameEnd - name);
    if (rootClosed_) {
        fail(at, XML_ERR_DOCUMENT_END, QStringLiteral("Extra content at the end of the document"));
        return -1;
    }
    sawRoot_ = true;
    const bool empty = close[-1] == '/';
    if (empty) {
        if (length == 4 && std::memcmp(name, "note", 4) == 0) ++noteCount_;
        if (open_.empty()) rootClosed_ = true;
    } else {
        open_.emplace_back(name, length);
        if (links_) noteChildStarted(name, length);
    }
    return close - begin + 1;
}

void ENEXNoteCounter::noteChildStarted(const char* name, size_t length) {
    // The title is the "title" child of a note, the note a child of the root.
    if (open_.size() == 2 && length == 4 && std::memcmp(name, "note", 4) == 0) noteLinks_ = 0;
    if (open_.size() == 3 && length == 5 && std::memcmp(name, "title", 5) == 0 &&
        open_[1] == "note") {
        inTitle_ = true;
        title_.clear();
    }
}

const char* ENEXNoteCounter::gatherLinks(const char* from, const char* end, bool complete) {
    const char* at = from;
    while (at < end) {
        at = static_cast<const char*>(std::memchr(at, '<', size_t(end - at)));
        if (!at) return nullptr;
        if (end - at < 5) return complete ? nullptr : at;  // too short to tell
        const char* after = at + 1;
        const bool isLink = at[1] == 'a' && isNameEnd(at[2]);
        const bool mayBeCard = at[1] == 'd' || at[1] == 's';  // a div or a span
        if (isLink || mayBeCard) {
            after = isLink ? gatherLink(at, end) : gatherCard(at, end);
            if (!after) {
                // Cut off: read again with more bytes, unless it runs too long to be a link.
                if (!complete && end - at < maximumLinkBytes) return at;
                after = at + 2;
            }
        }
        at = after;
    }
    return nullptr;
}

const char* ENEXNoteCounter::gatherLink(const char* at, const char* end) {
    const char* tagEnd = static_cast<const char*>(std::memchr(at, '>', size_t(end - at)));
    if (!tagEnd) return nullptr;
    const char* close = findClosing(tagEnd, end, "</a>", 4);
    if (!close || close - at > maximumLinkBytes) return close ? tagEnd + 1 : nullptr;
    addEvidence(attributeValue(at + 2, tagEnd, "href"), decodedText(tagEnd + 1, close, true));
    return close + 4;
}

const char* ENEXNoteCounter::gatherCard(const char* at, const char* end) {
    const char* tagEnd = static_cast<const char*>(std::memchr(at, '>', size_t(end - at)));
    if (!tagEnd) return nullptr;
    if (!findClosing(at, tagEnd, "richlink", 8)) return tagEnd + 1;
    const auto card =
        EvernoteNoteLinkURL::richLinkFromStyle(attributeValue(at + 1, tagEnd, "style"));
    if (card) addEvidence(card->href, card->title);
    return tagEnd + 1;
}

void ENEXNoteCounter::addEvidence(const QString& href, const QString& text) {
    if (noteLinks_ >= EvernoteNoteLinks::maximumLinksPerNote) return;
    const auto guid = EvernoteNoteLinkURL::noteGUIDFromURL(href);
    if (!guid) return;
    ++noteLinks_;
    links_->addGUIDEvidence(*guid, text);
}
