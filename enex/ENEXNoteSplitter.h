// Cuts the bytes of an ENEX file into note stretches, for reading a damaged
// file note by note once the parser has stopped in it. A stretch runs from a
// "<note" start tag to the end of its "</note>"; a note without its end tag
// ends where the next note or the "</en-export>" end tag starts, and a file
// cut short ends its last stretch. The markup is looked for outside CDATA
// sections and comments, the same text is no markup there; a CDATA section
// in a note that meets "</content>" before its "]]>" is taken as ending
// there, since a section left open would otherwise swallow the notes after it.
//
// The input is read in chunks; memory is bounded by the largest stretch,
// which is cut at `stretchLimit` bytes (the rest of it is still scanned, to
// find where the next note starts, and the stretch is marked oversized).
//
// Not thread-safe; any one thread. Errors: XMLParserErrorDomain, XML_IO_EIO,
// when the input cannot be read.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <deque>
#include <optional>

#include "platform/foundation/Error.h"

struct ENEXNoteStretch {
    QByteArray bytes;   // the stretch's bytes (its first stretchLimit bytes when oversized)
    qint64 offset = 0;  // where it starts in the file, in bytes
    qint64 line = 1;    // where it starts, counted from 1 as the parser counts
    qint64 column = 1;
    QString title;             // the text of its first <title>, when the scan could read it
    bool hasNoteEnd = false;   // it ends with "</note>"
    bool endsTheFile = false;  // the file ends inside it
    bool isOversized = false;  // longer than the limit: bytes holds only its start
};

class ENEXNoteSplitter {
  public:
    static constexpr qsizetype kDefaultStretchLimit = 64 * 1024 * 1024;
    static constexpr qsizetype kChunkSize = 1 << 20;

    // Reads `input` (not owned; opened for reading by the first call when it
    // is not open yet) from its current position.
    explicit ENEXNoteSplitter(QIODevice* input, qsizetype stretchLimit = kDefaultStretchLimit);

    // The next stretch, or nullopt at the end of the input or after a read
    // failure (then error() says why).
    std::optional<ENEXNoteStretch> nextStretch();
    Error error() const { return error_; }
    qsizetype stretchLimit() const { return stretchLimit_; }

    // The notes in the file at `path` as this scan finds them, or nullopt
    // with the error when it cannot be read.
    static std::optional<unsigned long> countStretchesInFileAtPath(const QString& path,
                                                                   Error* error = nullptr);

  private:
    enum class State { Text, CDATA, Comment };

    bool readChunk();
    // Scans the byte at `at` in buffer_, the markup it may end included.
    void scanByte(qsizetype at);
    bool endsWith(qsizetype at, const char* text) const;
    // Moves the bytes of the current stretch read so far, up to `end`, into it.
    void flushStretch(qsizetype end);
    void startStretch(qsizetype at);
    void endStretch(qsizetype end, bool hasNoteEnd);
    void takeTitle(qsizetype at);

    QIODevice* input_;
    qsizetype stretchLimit_;
    Error error_;
    bool atEnd_ = false;
    std::deque<ENEXNoteStretch> ready_;

    State state_ = State::Text;
    // The chunk being scanned, after the last bytes of the one before: markup
    // that ends in it may have started there.
    QByteArray buffer_;
    qsizetype flushedTo_ = 0;  // the bytes of buffer_ before it are in the current stretch
    std::optional<ENEXNoteStretch> current_;
    qsizetype titleStart_ = -1;  // where the title's text starts in the current stretch
    qint64 bufferOffset_ = 0;    // of buffer_'s first byte in the file
    qint64 line_ = 1;            // of the byte being scanned
    qint64 column_ = 1;
};
