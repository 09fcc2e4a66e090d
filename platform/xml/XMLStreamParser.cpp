#include "platform/xml/XMLStreamParser.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <QHash>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/xml/XMLEntityBudget.h"

namespace {

constexpr qint64 kChunkSize = 64 * 1024;
// libxml2 holds back the input of a construct whose end it waits for (an "&"
// until its ";", a start tag until its ">"); beyond this much, the parse is
// ended there instead of holding the rest of a large file in memory.
constexpr qint64 kMaximumHeldInput = 64 * 1024 * 1024;
constexpr int kMaximumEntityDepth = 40;
constexpr qsizetype kMaximumCachedNames = 4096;
// Stands in for a prefix in the name cache to tell "xmlns:p" from "p".
const xmlChar kNamespaceDeclarationKey[] = "xmlns";

const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

QByteArray utf8ForCodePoint(uint codePoint) {
    if (codePoint == 0 || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return QByteArray();
    const char32_t units[1] = {char32_t(codePoint)};
    return QString::fromUcs4(units, 1).toUtf8();
}

QByteArray predefinedEntityText(QByteArrayView name) {
    if (name == "amp") return "&";
    if (name == "lt") return "<";
    if (name == "gt") return ">";
    if (name == "quot") return "\"";
    if (name == "apos") return "'";
    return QByteArray();
}

}  // namespace

struct XMLStreamParser::Private {
    QIODevice* input = nullptr;
    XMLStreamParserDelegate* delegate = nullptr;
    xmlParserCtxtPtr context = nullptr;
    std::atomic<bool> abortRequested{false};
    bool started = false;
    bool succeeded = false;
    bool stopped = false;  // an error ended the parse: no more events
    bool halted = false;   // libxml2 was told to stop
    bool documentEnded = false;
    bool openedInput = false;  // parse() opened the input, so it closes it
    Error error;
    qint64 lastLine = 0;
    XMLEntityBudget budget;
    std::vector<char> buffer;
    QList<XMLAttribute> attributes;  // reused for every start tag
    QHash<std::pair<const xmlChar*, const xmlChar*>, QString> names;
    // CDATA arrives from libxml2 in pieces; a section is delivered whole once
    // the next event shows that it ended. The end offset tells a continuation
    // of the same section from a new section that follows it.
    QByteArray pendingCDATA;
    bool hasPendingCDATA = false;
    qint64 pendingCDATAEnd = -1;

    ~Private() { release(); }

    void run();
    void push(const char* bytes, qint64 length);
    bool holdsTooMuchInput() const;
    void endHeldConstruct();
    qint64 readChunk();
    void release();

    qint64 line() const { return context && context->input ? context->input->line : lastLine; }
    qint64 column() const { return context && context->input ? context->input->col : 0; }
    qint64 inputOffset() const {
        return qint64(context->input->consumed) + (context->input->cur - context->input->base);
    }
    Error abortedError() const {
        return XMLParserSupport::positionedError(XMLParserAbortedErrorCode, line(), column(),
                                                 localizedString("The parse was aborted."));
    }
    static Error inputError(const QString& reason) {
        return Error(QString::fromLatin1(XMLParserErrorDomain), XML_IO_EIO,
                     stringWithFormat(localizedString("Cannot read the XML input: %@"), {reason}));
    }

    void fail(const Error& reason);
    bool mayDeliver();
    void flushCDATA();
    void deliverCharacters(const char* bytes, qsizetype length);
    QString qualifiedName(const xmlChar* prefix, const xmlChar* localName);
    QString namespaceDeclarationName(const xmlChar* prefix);
    QString attributeValue(const xmlChar* begin, const xmlChar* end);
    QByteArray resolveReferences(QByteArrayView text, int depth);
    QByteArray referenceText(const QByteArray& name, int depth);
    xmlEntityPtr chargedEntity(const xmlChar* name);

    static xmlSAXHandler saxHandler();
    static Private* self(void* context) { return static_cast<Private*>(context); }
    static void onStartDocument(void* ctx);
    static void onInternalSubset(void* ctx, const xmlChar* name, const xmlChar* externalID,
                                 const xmlChar* systemID);
    static void onEntityDeclaration(void* ctx, const xmlChar* name, int type,
                                    const xmlChar* publicID, const xmlChar* systemID,
                                    xmlChar* content);
    static xmlEntityPtr onGetEntity(void* ctx, const xmlChar* name);
    static xmlEntityPtr onGetParameterEntity(void* ctx, const xmlChar* name);
    static void onReference(void* ctx, const xmlChar* name);
    static void onStartElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int defaultedCount, const xmlChar** attributes);
    static void onEndElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri);
    static void onCharacters(void* ctx, const xmlChar* text, int length);
    static void onCDATA(void* ctx, const xmlChar* bytes, int length);
    static void onEndDocument(void* ctx);
    static void onError(void* ctx, xmlErrorPtr error);
};

// Parse control

void XMLStreamParser::Private::run() {
    if (abortRequested.load()) return fail(abortedError());
    if (!input) return fail(inputError(localizedString("There is no input.")));
    if (!input->isOpen()) {
        if (!input->open(QIODevice::ReadOnly)) return fail(inputError(input->errorString()));
        openedInput = true;
    }
    buffer.resize(kChunkSize);
    qint64 length = readChunk();
    if (length < 0) return;
    if (length == 0)
        return fail(XMLParserSupport::positionedError(XML_ERR_DOCUMENT_EMPTY, 1, 1,
                                                      localizedString("Document is empty")));
    // The first bytes let libxml2 detect the encoding and a byte-order mark.
    const int head = int(std::min<qint64>(length, 4));
    xmlSAXHandler handler = saxHandler();
    context = xmlCreatePushParserCtxt(&handler, this, buffer.data(), head, nullptr);
    if (!context)
        return fail(XMLParserSupport::positionedError(XML_ERR_NO_MEMORY, 0, 0,
                                                      localizedString("Out of memory.")));
    xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_HUGE);
    budget.addInput(length);
    push(buffer.data() + head, length - head);
    while (!stopped) {
        length = readChunk();
        if (length <= 0) break;
        budget.addInput(length);
        push(buffer.data(), length);
        if (!stopped && holdsTooMuchInput()) return endHeldConstruct();
    }
    if (stopped) return;
    xmlParseChunk(context, nullptr, 0, 1);
    if (!stopped && !documentEnded)
        fail(abortRequested.load() ? abortedError()
                                   : XMLParserSupport::positionedError(
                                         XML_ERR_DOCUMENT_END, line(), column(),
                                         localizedString("The document ended unexpectedly.")));
}

void XMLStreamParser::Private::push(const char* bytes, qint64 length) {
    if (abortRequested.load() && !documentEnded) return fail(abortedError());
    if (length > 0) xmlParseChunk(context, bytes, int(length), 0);
}

bool XMLStreamParser::Private::holdsTooMuchInput() const {
    return context && context->input &&
           context->input->end - context->input->cur > kMaximumHeldInput;
}

// Ending the input makes libxml2 read the held construct as it is, which
// gives the fault its own error and place (an "&" that starts no reference).
void XMLStreamParser::Private::endHeldConstruct() {
    xmlParseChunk(context, nullptr, 0, 1);
    if (!stopped)
        fail(XMLParserSupport::positionedError(
            XML_ERR_INTERNAL_ERROR, line(), column(),
            localizedString("The markup here does not end within 64 MB.")));
}

qint64 XMLStreamParser::Private::readChunk() {
    for (;;) {
        const qint64 length = input->read(buffer.data(), kChunkSize);
        if (length > 0) return length;
        if (length < 0) {
            if (!input->isOpen()) return 0;  // a stream that closed itself has ended
            fail(inputError(input->errorString()));
            return -1;
        }
        if (!input->isSequential() || abortRequested.load()) return 0;
        if (!input->waitForReadyRead(-1)) return 0;
    }
}

void XMLStreamParser::Private::release() {
    if (!context) return;
    lastLine = line();
    if (context->myDoc) xmlFreeDoc(context->myDoc);  // holds only the DTD's declarations
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
    context = nullptr;
}

void XMLStreamParser::Private::fail(const Error& reason) {
    if (stopped) return;
    stopped = true;
    error = reason;
    pendingCDATA.clear();
    hasPendingCDATA = false;
}

// Called first by every callback that would deliver an event. Stops libxml2
// from inside the callback, where stopping is safe, once the parse has failed
// or an abort was asked for.
bool XMLStreamParser::Private::mayDeliver() {
    if (!stopped && !documentEnded && abortRequested.load(std::memory_order_relaxed))
        fail(abortedError());
    if (!stopped) return true;
    if (!halted && context) {
        halted = true;
        xmlStopParser(context);
    }
    return false;
}

// Event delivery

void XMLStreamParser::Private::flushCDATA() {
    if (!hasPendingCDATA) return;
    hasPendingCDATA = false;
    // Handed over whole: a note's content is one section of megabytes, which
    // the delegate keeps, so the parser must not keep a buffer of that size.
    const QByteArray section = std::exchange(pendingCDATA, QByteArray());
    if (delegate) delegate->foundCDATA(section);
}

void XMLStreamParser::Private::deliverCharacters(const char* bytes, qsizetype length) {
    flushCDATA();
    if (delegate) delegate->foundCharacters(QString::fromUtf8(bytes, length));
}

QString XMLStreamParser::Private::qualifiedName(const xmlChar* prefix, const xmlChar* localName) {
    // libxml2 interns names in its dictionary, so the pointers identify them.
    const auto key = std::make_pair(prefix, localName);
    const auto found = names.constFind(key);
    if (found != names.cend()) return *found;
    QString name = prefix ? QString::fromUtf8(chars(prefix)) + QLatin1Char(':') +
                                QString::fromUtf8(chars(localName))
                          : QString::fromUtf8(chars(localName));
    if (names.size() < kMaximumCachedNames) names.insert(key, name);
    return name;
}

QString XMLStreamParser::Private::namespaceDeclarationName(const xmlChar* prefix) {
    if (!prefix) return QStringLiteral("xmlns");
    return qualifiedName(kNamespaceDeclarationKey, prefix);
}

QString XMLStreamParser::Private::attributeValue(const xmlChar* begin, const xmlChar* end) {
    const QByteArrayView raw(chars(begin), end - begin);
    // libxml2 leaves "&#38;" for "&amp;" and "&name;" for other entities in
    // attribute values when it does not substitute entities itself.
    if (!raw.contains('&')) return QString::fromUtf8(raw);
    return QString::fromUtf8(resolveReferences(raw, 0));
}

QByteArray XMLStreamParser::Private::resolveReferences(QByteArrayView text, int depth) {
    QByteArray out;
    out.reserve(text.size());
    qsizetype position = 0;
    while (position < text.size() && !stopped) {
        const qsizetype ampersand = text.indexOf('&', position);
        const qsizetype semicolon = ampersand < 0 ? -1 : text.indexOf(';', ampersand + 1);
        if (semicolon < 0) {
            out += text.sliced(position);
            break;
        }
        out += text.sliced(position, ampersand - position);
        out += referenceText(text.sliced(ampersand + 1, semicolon - ampersand - 1).toByteArray(),
                             depth);
        position = semicolon + 1;
    }
    return out;
}

// The text a reference stands for: a character, a predefined or internal
// entity's text, an HTML entity's character, or else the reference itself.
QByteArray XMLStreamParser::Private::referenceText(const QByteArray& name, int depth) {
    const QByteArray literal = '&' + name + ';';
    if (name.startsWith('#')) {
        bool ok = false;
        const uint codePoint =
            name.startsWith("#x") ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        const QByteArray text = ok ? utf8ForCodePoint(codePoint) : QByteArray();
        return text.isEmpty() ? literal : text;
    }
    const QByteArray predefined = predefinedEntityText(name);
    if (!predefined.isEmpty()) return predefined;
    const xmlEntityPtr entity = chargedEntity(reinterpret_cast<const xmlChar*>(name.constData()));
    if (entity) {
        if (entity->etype != XML_INTERNAL_GENERAL_ENTITY || !entity->content ||
            depth >= kMaximumEntityDepth)
            return literal;
        return resolveReferences(QByteArrayView(chars(entity->content), entity->length), depth + 1);
    }
    const QByteArray html = XMLParserSupport::htmlEntityText(name);
    return html.isEmpty() ? literal : html;
}

xmlEntityPtr XMLStreamParser::Private::chargedEntity(const xmlChar* name) {
    if (stopped) return nullptr;
    const xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    if (entity && entity->etype == XML_INTERNAL_GENERAL_ENTITY && !budget.charge(entity->length)) {
        fail(XMLEntityBudget::exceededError(line(), column()));
        return nullptr;
    }
    return entity;
}

// libxml2 callbacks. Their context is this Private, also inside the nested
// parses that libxml2 runs for internal entities.

xmlSAXHandler XMLStreamParser::Private::saxHandler() {
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startDocument = onStartDocument;
    handler.internalSubset = onInternalSubset;  // no externalSubset: the DTD is never loaded
    handler.entityDecl = onEntityDeclaration;
    handler.getEntity = onGetEntity;
    handler.getParameterEntity = onGetParameterEntity;
    handler.reference = onReference;
    handler.startElementNs = onStartElement;
    handler.endElementNs = onEndElement;
    handler.characters = onCharacters;
    handler.ignorableWhitespace = onCharacters;
    handler.cdataBlock = onCDATA;
    handler.endDocument = onEndDocument;
    handler.serror = onError;
    return handler;
}

// The document object that libxml2 keeps holds the DTD's entity declarations
// only; elements and text are never added to it.
void XMLStreamParser::Private::onStartDocument(void* ctx) {
    xmlSAX2StartDocument(self(ctx)->context);
}

void XMLStreamParser::Private::onInternalSubset(void* ctx, const xmlChar* name,
                                                const xmlChar* externalID,
                                                const xmlChar* systemID) {
    xmlSAX2InternalSubset(self(ctx)->context, name, externalID, systemID);
}

void XMLStreamParser::Private::onEntityDeclaration(void* ctx, const xmlChar* name, int type,
                                                   const xmlChar* publicID, const xmlChar* systemID,
                                                   xmlChar* content) {
    xmlSAX2EntityDecl(self(ctx)->context, name, type, publicID, systemID, content);
}

xmlEntityPtr XMLStreamParser::Private::onGetEntity(void* ctx, const xmlChar* name) {
    return self(ctx)->chargedEntity(name);
}

xmlEntityPtr XMLStreamParser::Private::onGetParameterEntity(void* ctx, const xmlChar* name) {
    return xmlSAX2GetParameterEntity(self(ctx)->context, name);
}

// libxml2 has delivered a declared entity's text already; a reference to an
// undeclared one (possible when the document names an external DTD) becomes
// the HTML entity's character or the reference text itself.
void XMLStreamParser::Private::onReference(void* ctx, const xmlChar* name) {
    Private* d = self(ctx);
    if (!d->mayDeliver() || xmlSAX2GetEntity(d->context, name)) return;
    QByteArray text = XMLParserSupport::htmlEntityText(QByteArray(chars(name)));
    if (text.isEmpty()) text = '&' + QByteArray(chars(name)) + ';';
    d->deliverCharacters(text.constData(), text.size());
}

void XMLStreamParser::Private::onStartElement(void* ctx, const xmlChar* localName,
                                              const xmlChar* prefix, const xmlChar*,
                                              int namespaceCount, const xmlChar** namespaces,
                                              int attributeCount, int, const xmlChar** attributes) {
    Private* d = self(ctx);
    if (!d->mayDeliver()) return;
    d->flushCDATA();
    const QString name = d->qualifiedName(prefix, localName);
    d->attributes.resize(namespaceCount + attributeCount);
    for (int i = 0; i < namespaceCount; ++i) {
        XMLAttribute& attribute = d->attributes[i];
        attribute.name = d->namespaceDeclarationName(namespaces[2 * i]);
        attribute.value = QString::fromUtf8(chars(namespaces[2 * i + 1]));
    }
    // Five pointers per attribute: local name, prefix, URI, value, value end.
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** fields = attributes + 5 * i;
        XMLAttribute& attribute = d->attributes[namespaceCount + i];
        attribute.name = d->qualifiedName(fields[1], fields[0]);
        attribute.value = d->attributeValue(fields[3], fields[4]);
    }
    if (d->stopped) return;  // an entity in a value exceeded the budget
    if (d->delegate) d->delegate->didStartElement(name, d->attributes);
}

void XMLStreamParser::Private::onEndElement(void* ctx, const xmlChar* localName,
                                            const xmlChar* prefix, const xmlChar*) {
    Private* d = self(ctx);
    if (!d->mayDeliver()) return;
    d->flushCDATA();
    if (d->delegate) d->delegate->didEndElement(d->qualifiedName(prefix, localName));
}

void XMLStreamParser::Private::onCharacters(void* ctx, const xmlChar* text, int length) {
    Private* d = self(ctx);
    if (!d->mayDeliver()) return;
    d->deliverCharacters(chars(text), length);
}

void XMLStreamParser::Private::onCDATA(void* ctx, const xmlChar* bytes, int length) {
    Private* d = self(ctx);
    if (!d->mayDeliver()) return;
    xmlParserInputPtr in = d->context->input;
    // A piece of the main input sits at the parser's position; pieces from a
    // nested entity parse do not, and stand as sections of their own.
    const bool fromMainInput = in && (length == 0 || bytes == in->cur);
    const qint64 offset = fromMainInput ? d->inputOffset() : -1;
    const bool continuesSection =
        fromMainInput && d->hasPendingCDATA && offset == d->pendingCDATAEnd;
    if (length == 0 && continuesSection) return;  // the end of a section already collected
    if (!continuesSection) d->flushCDATA();
    d->pendingCDATA.append(chars(bytes), length);
    d->hasPendingCDATA = true;
    d->pendingCDATAEnd = fromMainInput ? offset + length : -1;
    if (!fromMainInput || length == 0) d->flushCDATA();
}

void XMLStreamParser::Private::onEndDocument(void* ctx) {
    Private* d = self(ctx);
    if (!d->mayDeliver()) return;
    d->flushCDATA();
    d->documentEnded = true;
    if (d->delegate) d->delegate->didEndDocument();
}

// Warnings and recoverable errors leave the parse running; the first fatal
// error ends it.
void XMLStreamParser::Private::onError(void* ctx, xmlErrorPtr error) {
    if (!error || error->level != XML_ERR_FATAL) return;
    self(ctx)->fail(XMLParserSupport::errorFromLibxml(error));
}

// Public interface

XMLStreamParser::XMLStreamParser(QIODevice* input) : d(std::make_unique<Private>()) {
    d->input = input;
}

XMLStreamParser::~XMLStreamParser() = default;

void XMLStreamParser::setDelegate(XMLStreamParserDelegate* delegate) { d->delegate = delegate; }

bool XMLStreamParser::parse() {
    if (d->started) return d->succeeded;
    d->started = true;
    XMLParserSupport::initialize();
    {
        XMLParserSupport::UntrustedParseScope untrusted;
        d->run();
        d->release();
        if (d->openedInput) d->input->close();
    }
    d->succeeded = d->error.isNull();
    if (!d->succeeded && d->delegate) d->delegate->parseErrorOccurred(d->error);
    return d->succeeded;
}

void XMLStreamParser::abortParsing() { d->abortRequested.store(true); }

Error XMLStreamParser::error() const { return d->error; }

qint64 XMLStreamParser::lineNumber() const { return d->line(); }
