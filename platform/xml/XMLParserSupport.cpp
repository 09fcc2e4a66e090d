#include "platform/xml/XMLParserSupport.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace XMLParserSupport {

namespace {

thread_local int untrustedScopeDepth = 0;
xmlExternalEntityLoader systemEntityLoader = nullptr;

// Refuses every load that one of our parses asks for; other libxml2 users in
// the process keep the loader they had.
xmlParserInputPtr guardedEntityLoader(const char* url, const char* id, xmlParserCtxtPtr context) {
    if (untrustedScopeDepth > 0) return nullptr;
    return systemEntityLoader ? systemEntityLoader(url, id, context) : nullptr;
}

void appendUtf8(QByteArray& out, char32_t codePoint) {
    char32_t units[1] = {codePoint};
    out += QString::fromUcs4(units, 1).toUtf8();
}

}  // namespace

void initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        systemEntityLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(guardedEntityLoader);
    });
}

UntrustedParseScope::UntrustedParseScope() { ++untrustedScopeDepth; }
UntrustedParseScope::~UntrustedParseScope() { --untrustedScopeDepth; }
bool UntrustedParseScope::isActive() { return untrustedScopeDepth > 0; }

Error positionedError(long code, qint64 line, qint64 column, const QString& message) {
    return Error(QString::fromLatin1(XMLParserErrorDomain), code,
                 stringWithFormat(localizedString("Line %ld, column %ld: %@"),
                                  {static_cast<long long>(line), static_cast<long long>(column),
                                   message.trimmed()}));
}

Error errorFromLibxml(const _xmlError* error) {
    if (!error) return positionedError(XML_ERR_INTERNAL_ERROR, 0, 0, QString());
    return positionedError(error->code, error->line, error->int2,
                           QString::fromUtf8(error->message ? error->message : ""));
}

QByteArray htmlEntityText(const QByteArray& name) {
    const htmlEntityDesc* entity =
        htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.constData()));
    if (!entity) return QByteArray();
    QByteArray text;
    appendUtf8(text, entity->value);
    return text;
}

}  // namespace XMLParserSupport
