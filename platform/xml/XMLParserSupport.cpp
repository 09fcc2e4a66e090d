#include "platform/xml/XMLParserSupport.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <QByteArrayView>
#include <QSet>
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

bool isNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isXMLPredefinedEntity(QByteArrayView name) {
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

void appendUtf8(QByteArray& out, char32_t codePoint) {
    char32_t units[1] = {codePoint};
    out += QString::fromUcs4(units, 1).toUtf8();
}

qsizetype endOf(const QByteArray& text, const char* terminator, qsizetype from) {
    const qsizetype found = text.indexOf(terminator, from);
    return found < 0 ? text.size() : found + qsizetype(qstrlen(terminator));
}

// The position after the DOCTYPE declaration starting at `start`; collects
// the names of the general entities its internal subset declares.
qsizetype skipDoctype(const QByteArray& xml, qsizetype start, QSet<QByteArray>* declared) {
    const qsizetype size = xml.size();
    bool inSubset = false;
    char quote = 0;
    for (qsizetype i = start + 2; i < size; ++i) {
        const char c = xml[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            inSubset = true;
        } else if (c == ']') {
            inSubset = false;
        } else if (c == '>' && !inSubset) {
            return i + 1;
        } else if (inSubset && QByteArrayView(xml).sliced(i).startsWith("<!--")) {
            i = endOf(xml, "-->", i + 4) - 1;
        } else if (inSubset && QByteArrayView(xml).sliced(i).startsWith("<!ENTITY")) {
            qsizetype n = i + 8;
            while (n < size &&
                   (xml[n] == ' ' || xml[n] == '\t' || xml[n] == '\n' || xml[n] == '\r'))
                ++n;
            const qsizetype nameStart = n;
            while (n < size && !QByteArrayView(" \t\r\n\"'>").contains(xml[n])) ++n;
            if (n > nameStart && xml[nameStart] != '%')
                declared->insert(xml.mid(nameStart, n - nameStart));
            i = n - 1;
        }
    }
    return size;
}

// The position after markup whose text holds no references (comment, CDATA,
// processing instruction, DOCTYPE), or -1 when `i` starts none of those.
qsizetype skipLiteralMarkup(const QByteArray& xml, qsizetype i, QSet<QByteArray>* declared) {
    const QByteArrayView rest = QByteArrayView(xml).sliced(i);
    if (rest.startsWith("<!--")) return endOf(xml, "-->", i + 4);
    if (rest.startsWith("<![CDATA[")) return endOf(xml, "]]>", i + 9);
    if (rest.startsWith("<?")) return endOf(xml, "?>", i + 2);
    if (rest.startsWith("<!DOCTYPE")) return skipDoctype(xml, i, declared);
    return -1;
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

QByteArray rewriteHTMLEntityReferences(const QByteArray& xml) {
    if (!xml.contains('&')) return xml;
    QByteArray out;
    QSet<QByteArray> declared;
    qsizetype copied = 0;  // xml[0, copied) is in `out` already
    const qsizetype size = xml.size();
    qsizetype i = 0;
    while (i < size) {
        const char c = xml[i];
        if (c == '<') {
            const qsizetype after = skipLiteralMarkup(xml, i, &declared);
            i = after < 0 ? i + 1 : after;
            continue;
        }
        if (c != '&') {
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < size && isNameByte(xml[end])) ++end;
        if (end == i + 1 || end >= size || xml[end] != ';') {
            i = end;
            continue;
        }
        const QByteArray name = xml.mid(i + 1, end - i - 1);
        const htmlEntityDesc* entity =
            isXMLPredefinedEntity(name) || declared.contains(name)
                ? nullptr
                : htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.constData()));
        if (entity) {
            if (out.isEmpty()) out.reserve(size + 64);
            out.append(xml.constData() + copied, i - copied);
            out += "&#" + QByteArray::number(entity->value) + ';';
            copied = end + 1;
        }
        i = end + 1;
    }
    if (copied == 0) return xml;
    out.append(xml.constData() + copied, size - copied);
    return out;
}

}  // namespace XMLParserSupport
