// XMLStreamParser: an event-driven XML reader over libxml2's push parser, for
// documents too large to hold in memory (ENEX exports of several gigabytes).
// It reads its input in 64 KiB chunks and reports what it finds to a delegate,
// on the thread that calls parse().
//
// The input is untrusted. Nothing is ever loaded from outside the document
// (no external DTD or entity, no network); internal entities are expanded
// within a bounded budget, so an entity bomb fails quickly; very large text
// nodes are accepted. Markup whose end does not come within 64 MB (an "&"
// without its ";") fails there instead of being held in memory. A UTF-8 (or UTF-16) byte-order mark
// is accepted.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/xml/XMLAttribute.h"
#include "platform/xml/XMLParserSupport.h"

// Receives the parse events. All callbacks run on the parsing thread, inside
// parse(); the default implementations ignore the event.
class XMLStreamParserDelegate {
  public:
    virtual ~XMLStreamParserDelegate() = default;
    // An element starts. `attributes` holds namespace declarations first, then
    // the attributes, in document order; the list is reused by the parser, so
    // copy it to keep it.
    virtual void didStartElement(const QString& /*name*/,
                                 const QList<XMLAttribute>& /*attributes*/) {}
    // Text, possibly in several pieces for one run of text (around entity
    // references, at chunk boundaries, every few hundred bytes of a long text).
    // References are resolved: "&amp;" arrives as "&"; an undeclared HTML
    // entity such as "&nbsp;" as its character; any other undeclared entity as
    // its reference text.
    virtual void foundCharacters(const QString& /*text*/) {}
    // The raw UTF-8 bytes of one CDATA section, in one piece. A text split into
    // two sections (as "]]>" forces) arrives as two calls, in order.
    virtual void foundCDATA(const QByteArray& /*bytes*/) {}
    virtual void didEndElement(const QString& /*name*/) {}
    // The parse failed or was aborted; called once, after which no other event
    // comes and parse() returns false.
    virtual void parseErrorOccurred(const Error& /*error*/) {}
    // The whole document was read; the last event of a successful parse.
    virtual void didEndDocument() {}
};

class XMLStreamParser {
  public:
    // Reads from `input` (a file, a socket, a buffer), which must outlive the
    // parser. An input that is not open yet is opened for reading by parse(),
    // which closes it again when done.
    explicit XMLStreamParser(QIODevice* input);
    ~XMLStreamParser();
    XMLStreamParser(const XMLStreamParser&) = delete;
    XMLStreamParser& operator=(const XMLStreamParser&) = delete;

    // The delegate (not owned; may be null). Set it before parse().
    void setDelegate(XMLStreamParserDelegate* delegate);

    // Runs the parse to its end, synchronously; the callbacks happen on this
    // thread. Returns true when the document was read completely and not
    // aborted. On failure error() holds the reason, in XMLParserErrorDomain:
    // libxml2's error code (for an input that cannot be opened or read,
    // XML_IO_EIO) or XMLParserAbortedErrorCode (512) for an aborted parse, with
    // a localized description giving line and column, e.g. "Line 12, column 5:
    // Opening and ending tag mismatch: note line 3 and en-export". Only fatal
    // errors end the parse; recoverable ones (an undefined namespace prefix, an
    // undeclared entity in a document with an external DTD) do not.
    // A parser runs once; later calls return the first result again.
    bool parse();

    // Stops the parse at the next callback boundary (or before the next chunk
    // is read); parse() then returns false with the aborted error (code 512),
    // which parseErrorOccurred() also receives. An abort requested before
    // parse() makes it fail at once; one requested after didEndDocument() was
    // delivered changes nothing. Safe from any thread and from inside a callback.
    void abortParsing();

    // The error that ended the parse; null while none did. Parsing thread.
    Error error() const;
    // The current line of the input (1-based) while parsing, the last line
    // reached afterwards. Parsing thread.
    qint64 lineNumber() const;

  private:
    struct Private;
    std::unique_ptr<Private> d;
};
