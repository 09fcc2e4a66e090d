// Counts the notes of an ENEX file with a byte scan, far faster than parsing
// it: the "note" elements that end (an end tag, or an empty element), outside
// CDATA sections, comments, processing instructions and the document type,
// where the same text is not markup. On the way it checks that the elements
// nest (each end tag closes the element open last, one root, nothing open at
// the end), so a truncated or misnested file is refused before any note is
// converted. Anything else that makes a file not well-formed (a bad
// character, an undefined entity) is left to the converting parse.
//
// The file is read in chunks; markup cut between chunks is kept until its
// end arrives.
//
// The same scan counts the encrypted passages: the "<en-crypt" start tags in
// CDATA sections, where ENEX files keep the notes' ENML.
//
// Given a link index, the scan also gathers what the links between notes need
// before any note converts (EvernoteNoteLinkIndex): each note's title, and for
// each note link in the ENML (an "a" element, a rich-link card) its GUID with
// the link's text or the card's title. Entities are decoded as the parser
// decodes them; at most EvernoteNoteLinks::maximumLinksPerNote links of one
// note are taken, and a link whose text runs past maximumLinkBytes is not.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

class EvernoteNoteLinkIndex;

class ENEXNoteCounter {
  public:
    // The notes in the file at `path`, or nullopt with the error: the file
    // cannot be read (XMLParserErrorDomain, the I/O code), or its elements do
    // not nest (XMLParserErrorDomain, libxml2's code, "Line L, column C: …").
    // The file is read `chunkSize` bytes at a time (tests cut it finer).
    static constexpr qsizetype kDefaultChunkSize = 1 << 20;
    static std::optional<unsigned long> countNotesInFileAtPath(
        const QString& path, Error* error = nullptr, qsizetype chunkSize = kDefaultChunkSize);

    struct Counts {
        unsigned long notes = 0;
        unsigned long encryptedPassages = 0;
    };
    // The notes and encrypted passages of the file, with the errors above;
    // with `links`, its titles and link evidence go into it as well (also
    // those read before a failure).
    static std::optional<Counts> countInFileAtPath(const QString& path, Error* error = nullptr,
                                                   qsizetype chunkSize = kDefaultChunkSize,
                                                   EvernoteNoteLinkIndex* links = nullptr);
    // A link's bytes, start tag to end tag, beyond which it is not read.
    static constexpr qsizetype maximumLinkBytes = 64 * 1024;

  private:
    // Ends the input; false when the file is not well-formed as far as the
    // scan can tell (then failureOffset(), failureCode() and failureMessage()
    // say where and why).
    bool finish();

    unsigned long noteCount() const { return noteCount_; }
    qint64 failureOffset() const { return failureOffset_; }
    long failureCode() const { return failureCode_; }
    QString failureMessage() const { return failureMessage_; }

    enum class State { Content, CDATA, Comment, ProcessingInstruction, DocumentType };

    // Scans `size` bytes at `data`, the file's bytes from the first not yet
    // done with; returns how many are now done with, -1 after a failure.
    qsizetype scanBytes(const char* data, qsizetype size, bool atEnd);
    qsizetype scan(bool atEnd);
    // Markup that starts with '<' at `at`: the bytes it takes, 0 when it is
    // cut off by the end of the chunk, -1 after a failure.
    qsizetype markup(qsizetype at, bool atEnd);
    qsizetype startTag(qsizetype at);
    qsizetype endTag(qsizetype at);
    void fail(qsizetype at, long code, const QString& message);
    // Counts the passage start tags that begin in [from, startsBefore) and end by `end`.
    void countPassages(const char* from, const char* startsBefore, const char* end);
    // Gathers the note links that start in [from, end): where a link starts
    // that `end` cuts off (to be read again with more bytes), or nullptr.
    // With `complete`, nothing more comes: a cut link is dropped.
    const char* gatherLinks(const char* from, const char* end, bool complete);
    // The link at `at` ("<a"): the bytes after it, or nullptr when cut off.
    const char* gatherLink(const char* at, const char* end);
    // The rich-link card that the start tag at `at` may open: the bytes
    // after the tag, or nullptr when it is cut off.
    const char* gatherCard(const char* at, const char* end);
    void addEvidence(const QString& href, const QString& text);
    // Notes the start of the note's title, and of each note.
    void noteChildStarted(const char* name, size_t length);

    QByteArray pending_;          // the bytes the last read left over, for finish()
    const char* data_ = nullptr;  // the bytes being scanned
    qsizetype size_ = 0;
    qint64 consumed_ = 0;  // bytes of the file before data_
    State state_ = State::Content;
    std::vector<std::string> open_;
    bool rootClosed_ = false;
    bool sawRoot_ = false;
    unsigned long noteCount_ = 0;
    unsigned long passageCount_ = 0;
    EvernoteNoteLinkIndex* links_ = nullptr;
    bool inTitle_ = false;
    QByteArray title_;         // the title's bytes so far, entities not yet decoded
    qsizetype noteLinks_ = 0;  // the note links taken from the current note
    long failureCode_ = 0;
    qint64 failureOffset_ = -1;
    QString failureMessage_;
};
