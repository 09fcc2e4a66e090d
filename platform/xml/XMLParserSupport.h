// Pieces shared by the libxml2 wrappers (XMLStreamParser, XMLDocument):
// one-time library set-up, the guard that keeps our parses from loading
// anything from outside the document, libxml2 errors as Error values, and the
// HTML named entities that ENML uses without declaring them.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/foundation/Error.h"

struct _xmlError;

// The domain of every error the XML readers report. Codes are libxml2's
// (xmlParserErrors), or XMLParserAbortedErrorCode for an aborted parse.
inline constexpr char XMLParserErrorDomain[] = "XMLParserErrorDomain";
inline constexpr long XMLParserAbortedErrorCode = 512;

namespace XMLParserSupport {

// Initializes libxml2 once per process and installs the guarded external
// entity loader. Idempotent and thread-safe; every entry point calls it.
void initialize();

// While a scope is alive on a thread, the external entity loader refuses every
// request made on that thread: no DTD, entity or XInclude is read from a file
// or the network. Parses of libxml2 elsewhere in the process are unaffected.
class UntrustedParseScope {
  public:
    UntrustedParseScope();
    ~UntrustedParseScope();
    UntrustedParseScope(const UntrustedParseScope&) = delete;
    UntrustedParseScope& operator=(const UntrustedParseScope&) = delete;
    // True while any scope is alive on the calling thread.
    static bool isActive();
};

// "Line L, column C: message" in XMLParserErrorDomain with the given code.
Error positionedError(long code, qint64 line, qint64 column, const QString& message);
// A libxml2 error as an Error (its code, line, column and message).
Error errorFromLibxml(const _xmlError* error);

// The UTF-8 text of the HTML 4 named entity `name` (e.g. "nbsp" → U+00A0), or
// an empty array when there is no such entity.
QByteArray htmlEntityText(const QByteArray& name);

}  // namespace XMLParserSupport
