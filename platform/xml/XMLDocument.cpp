#include "platform/xml/XMLDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <QMutex>
#include <QSet>
#include <QStringDecoder>
#include <climits>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/xml/XMLEntityBudget.h"

namespace {

// Documents owned by an XMLDocument; lets owner() trust xmlDoc::_private.
QMutex registryMutex;
QSet<const xmlDoc*>& registry() {
    static QSet<const xmlDoc*> documents;
    return documents;
}

const xmlChar* xmlText(const QByteArray& utf8) {
    return reinterpret_cast<const xmlChar*>(utf8.constData());
}

Error emptyDocumentError() {
    return XMLParserSupport::positionedError(XML_ERR_DOCUMENT_EMPTY, 1, 1,
                                             localizedString("Document is empty"));
}

// What the callbacks of one XML parse share. Parses are synchronous, so the
// state of the parse running on this thread is found through a thread-local
// pointer, also from the nested parses libxml2 runs for entities.
struct XMLParseState {
    XMLEntityBudget budget;
    Error fatalError;
    bool budgetExceeded = false;
    bool sawEntityReference = false;
};
thread_local XMLParseState* currentParse = nullptr;

// The HTML named entities (&nbsp; &eacute; ...) that ENML uses without
// declaring them, declared on first use in the document's external subset,
// which is never loaded and so holds only these. What the document declares
// itself is looked up first and wins. Each stands for one character: no
// amplification to charge to the budget.
xmlEntityPtr declaredHTMLEntity(xmlDocPtr document, const xmlChar* name) {
    return document && document->extSubset ? xmlGetDtdEntity(document, name) : nullptr;
}

xmlEntityPtr declareHTMLEntity(xmlDocPtr document, const xmlChar* name) {
    const QByteArray text =
        XMLParserSupport::htmlEntityText(QByteArray(reinterpret_cast<const char*>(name)));
    if (!document || text.isEmpty()) return nullptr;
    if (!document->extSubset &&
        !xmlNewDtd(document, reinterpret_cast<const xmlChar*>("html"), nullptr, nullptr))
        return nullptr;
    return xmlAddDtdEntity(document, name, XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr,
                           xmlText(text));
}

bool isDeclaredHTMLEntity(xmlDocPtr document, const xmlEntity* entity) {
    return document && document->extSubset &&
           entity->parent == reinterpret_cast<const xmlDtd*>(document->extSubset);
}

// Drops the HTML entity declarations once no reference to them is left.
void removeHTMLEntityDeclarations(xmlDocPtr document) {
    if (xmlDtdPtr subset = document->extSubset) {
        document->extSubset = nullptr;
        xmlFreeDtd(subset);
    }
}

xmlEntityPtr parseGetEntity(void* context, const xmlChar* name) {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    // Ours first: libxml2's lookup calls an entity of the external subset an
    // error in a standalone document.
    if (const xmlEntityPtr html = declaredHTMLEntity(parser->myDoc, name)) return html;
    XMLParseState* state = currentParse;
    xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    if (!entity && !parser->inSubset) {
        entity = declareHTMLEntity(parser->myDoc, name);
        if (entity && state) state->sawEntityReference = true;
        return entity;
    }
    if (!entity || !state || entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) return entity;
    state->sawEntityReference = true;
    if (entity->etype == XML_INTERNAL_GENERAL_ENTITY && !state->budget.charge(entity->length)) {
        if (!state->budgetExceeded) {
            state->budgetExceeded = true;
            state->fatalError = XMLEntityBudget::exceededError(
                parser->input ? parser->input->line : 0, parser->input ? parser->input->col : 0);
        }
        // Returning no entity is not enough: libxml2 then looks the name up
        // itself and expands on. A stopped parser ends its expansion loops.
        xmlStopParser(parser);
        return nullptr;
    }
    return entity;
}

void parseReference(void* context, const xmlChar* name) {
    if (currentParse) currentParse->sawEntityReference = true;
    xmlSAX2Reference(context, name);
}

void parseError(void*, xmlErrorPtr error) {
    XMLParseState* state = currentParse;
    if (!state || !error || error->level != XML_ERR_FATAL || !state->fatalError.isNull()) return;
    state->fatalError = XMLParserSupport::errorFromLibxml(error);
}

// Replaces entity reference nodes by the entity's content (copied), and
// references to undeclared or external entities by their reference text, so
// that the tree holds plain text and elements only. Copying is charged to the
// same budget as the parse.
class EntityReferenceFlattener {
  public:
    EntityReferenceFlattener(xmlDocPtr document, XMLEntityBudget& budget)
        : document_(document), budget_(budget) {}

    bool flatten(xmlNodePtr parent) {
        bool replaced = false;
        for (xmlNodePtr child = parent->children; child && !failed_;) {
            if (child->type == XML_ENTITY_REF_NODE) {
                child = replace(child);  // continue with the inserted content
                replaced = true;
                continue;
            }
            if (child->type == XML_ELEMENT_NODE) {
                for (xmlAttrPtr attribute = child->properties; attribute;
                     attribute = attribute->next)
                    flatten(reinterpret_cast<xmlNodePtr>(attribute));
                flatten(child);
            }
            child = child->next;
        }
        if (replaced) mergeAdjacentText(parent);
        return !failed_;
    }

    Error error() const { return error_; }

  private:
    xmlNodePtr replace(xmlNodePtr reference) {
        xmlEntityPtr entity = xmlGetDocEntity(document_, reference->name);
        if (!entity) entity = declaredHTMLEntity(document_, reference->name);   // standalone
        if (const long line = xmlGetLineNo(reference); line > 0) line_ = line;  // copies have none
        xmlNodePtr first = nullptr;
        if (entity && isDeclaredHTMLEntity(document_, entity)) {
            // One character, as text: libxml2 parses an entity's content only
            // at its first use in content, not when it is first met in a value.
            first = xmlNewDocText(document_, entity->content);
            XMLDocument::linkChildBefore(reference->parent, first, reference);
        } else if (entity && entity->etype == XML_INTERNAL_GENERAL_ENTITY && entity->children) {
            if (!budget_.charge(entity->length)) {
                failed_ = true;
                error_ = XMLEntityBudget::exceededError(line_, 0);
                return nullptr;
            }
            for (xmlNodePtr copy = xmlDocCopyNodeList(document_, entity->children); copy;) {
                xmlNodePtr next = copy->next;
                copy->next = copy->prev = nullptr;
                XMLDocument::linkChildBefore(reference->parent, copy, reference);
                if (!first) first = copy;
                copy = next;
            }
        } else {
            const QByteArray text =
                '&' + QByteArray(reinterpret_cast<const char*>(reference->name)) + ';';
            first = xmlNewDocTextLen(document_, xmlText(text), int(text.size()));
            XMLDocument::linkChildBefore(reference->parent, first, reference);
        }
        xmlNodePtr after = reference->next;
        xmlUnlinkNode(reference);
        xmlFreeNode(reference);
        return first ? first : after;
    }

    // Each run of adjacent text nodes becomes its first node, its text set
    // once: libxml2's xmlTextMerge measures the grown text again at every
    // step, quadratic in a run of thousands of &nbsp;.
    static void mergeAdjacentText(xmlNodePtr parent) {
        for (xmlNodePtr child = parent->children; child; child = child->next) {
            if (!continuesText(child)) continue;
            QByteArray text(reinterpret_cast<const char*>(child->content));
            while (continuesText(child)) {
                xmlNodePtr next = child->next;
                if (next->content) text += reinterpret_cast<const char*>(next->content);
                xmlUnlinkNode(next);
                xmlFreeNode(next);
            }
            xmlNodeSetContentLen(child, xmlText(text), int(qMin<qsizetype>(text.size(), INT_MAX)));
        }
    }

    // Whether `node` is text that the next node, text of the same kind, continues.
    static bool continuesText(xmlNodePtr node) {
        return node->type == XML_TEXT_NODE && node->next && node->next->type == XML_TEXT_NODE &&
               node->name == node->next->name;
    }

    xmlDocPtr document_;
    XMLEntityBudget& budget_;
    bool failed_ = false;
    long line_ = 0;
    Error error_;
};

// Parses XML; HTML named entities read as their characters. Returns null with
// *error on a fatal error; *entityBomb tells a budget overrun from the rest.
xmlDocPtr readXML(const QByteArray& data, Error* error, bool* entityBomb) {
    *entityBomb = false;
    if (data.isEmpty()) return emptyDocumentError().report(error), nullptr;
    if (data.size() > INT_MAX)
        return XMLParserSupport::positionedError(XML_ERR_NO_MEMORY, 0, 0,
                                                 localizedString("The document is too large."))
                   .report(error),
               nullptr;
    xmlParserCtxtPtr parser = xmlCreateMemoryParserCtxt(data.constData(), int(data.size()));
    if (!parser) return emptyDocumentError().report(error), nullptr;
    xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOWARNING);
    parser->sax->getEntity = parseGetEntity;
    parser->sax->reference = parseReference;
    parser->sax->serror = parseError;
    XMLParseState state;
    state.budget.addInput(data.size());
    XMLParseState* const outer = currentParse;
    currentParse = &state;
    xmlParseDocument(parser);
    currentParse = outer;
    xmlDocPtr document = parser->myDoc;
    parser->myDoc = nullptr;
    xmlFreeParserCtxt(parser);
    if (document && state.fatalError.isNull() && state.sawEntityReference) {
        EntityReferenceFlattener flattener(document, state.budget);
        if (!flattener.flatten(reinterpret_cast<xmlNodePtr>(document))) {
            state.fatalError = flattener.error();
            state.budgetExceeded = true;
        }
    }
    if (document && state.fatalError.isNull()) removeHTMLEntityDeclarations(document);
    if (document && state.fatalError.isNull()) return document;
    if (document) xmlFreeDoc(document);
    *entityBomb = state.budgetExceeded;
    (state.fatalError.isNull() ? emptyDocumentError() : state.fatalError).report(error);
    return nullptr;
}

bool isValidUtf8(const QByteArray& data) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(data);
    return !decoder.hasError();
}

// True when the text says how it is encoded: a byte-order mark, or a
// "charset" (a meta element, an XML declaration's "encoding") near its start,
// where a browser's prescan looks for one.
bool declaresItsEncoding(const QByteArray& data) {
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF") ||
        data.startsWith("\xEF\xBB\xBF"))
        return true;
    const QByteArray head = data.left(1024).toLower();
    return head.contains("charset") || (head.startsWith("<?xml") && head.contains("encoding"));
}

// The encoding to read HTML in: UTF-8 when the bytes are UTF-8, the declared
// one when the text has one; else windows-1252, as browsers read such pages
// (libxml2 alone would take ISO-8859-1, and the quotes, dashes and euro signs
// that windows-1252 puts at 0x80-0x9F would become control characters).
const char* htmlEncoding(const QByteArray& data) {
    if (isValidUtf8(data)) return "UTF-8";
    return declaresItsEncoding(data) ? nullptr : "windows-1252";
}

xmlDocPtr readHTML(const QByteArray& data, Error* error) {
    if (data.isEmpty()) return emptyDocumentError().report(error), nullptr;
    htmlParserCtxtPtr parser = htmlNewParserCtxt();
    if (!parser) return emptyDocumentError().report(error), nullptr;
    const char* encoding = htmlEncoding(data);
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                        HTML_PARSE_NOWARNING | XML_PARSE_HUGE;
    htmlDocPtr document =
        htmlCtxtReadMemory(parser, data.constData(), int(qMin<qsizetype>(data.size(), INT_MAX)),
                           nullptr, encoding, options);
    if (!document) {
        (parser->lastError.code != XML_ERR_OK
             ? XMLParserSupport::errorFromLibxml(&parser->lastError)
             : emptyDocumentError())
            .report(error);
    }
    htmlFreeParserCtxt(parser);
    return document;
}

void xpathError(void* userData, xmlErrorPtr error) {
    auto* captured = static_cast<Error*>(userData);
    if (!captured->isNull() || !error) return;
    *captured = Error(QString::fromLatin1(XMLParserErrorDomain), error->code,
                      QString::fromUtf8(error->message ? error->message : "").trimmed());
}

}  // namespace

// Construction and ownership

XMLDocument::XMLDocument() : XMLDocument(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"))) {}

XMLDocument::XMLDocument(xmlDocPtr document) : document_(document) {
    document_->_private = this;
    QMutexLocker lock(&registryMutex);
    registry().insert(document_);
}

XMLDocument::~XMLDocument() {
    {
        QMutexLocker lock(&registryMutex);
        registry().remove(document_);
    }
    for (xmlNodePtr node : detached_) {
        if (!node->parent)
            xmlFreeNode(node);  // before the document: names may live in its dictionary
    }
    xmlFreeDoc(document_);
}

XMLDocument* XMLDocument::owner(XMLNode node) {
    if (!node) return nullptr;
    xmlDocPtr document = node.libxmlNode()->doc;
    QMutexLocker lock(&registryMutex);
    return document && registry().contains(document) ? static_cast<XMLDocument*>(document->_private)
                                                     : nullptr;
}

void XMLDocument::keepDetached(xmlNodePtr node) {
    if (node && node != reinterpret_cast<xmlNodePtr>(document_)) detached_.insert(node);
}

void XMLDocument::forgetDetached(xmlNodePtr node) { detached_.erase(node); }

void XMLDocument::linkChildBefore(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
    xmlUnlinkNode(child);
    if (child->doc != parent->doc) xmlSetTreeDoc(child, parent->doc);
    child->parent = parent;
    child->next = before;
    child->prev = before ? before->prev : parent->last;
    if (child->prev)
        child->prev->next = child;
    else
        parent->children = child;
    if (before)
        before->prev = child;
    else
        parent->last = child;
}

// Parsing

std::unique_ptr<XMLDocument> XMLDocument::parse(const QByteArray& data, Error* error) {
    XMLParserSupport::initialize();
    XMLParserSupport::UntrustedParseScope untrusted;
    Error xmlError;
    bool entityBomb = false;
    if (xmlDocPtr document = readXML(data, &xmlError, &entityBomb))
        return std::unique_ptr<XMLDocument>(new XMLDocument(document));
    if (entityBomb) return xmlError.report(error), nullptr;
    if (xmlDocPtr document = readHTML(data, nullptr))
        return std::unique_ptr<XMLDocument>(new XMLDocument(document));
    xmlError.report(error);
    return nullptr;
}

std::unique_ptr<XMLDocument> XMLDocument::parseXML(const QByteArray& data, Error* error) {
    XMLParserSupport::initialize();
    XMLParserSupport::UntrustedParseScope untrusted;
    bool entityBomb = false;
    xmlDocPtr document = readXML(data, error, &entityBomb);
    return document ? std::unique_ptr<XMLDocument>(new XMLDocument(document)) : nullptr;
}

std::unique_ptr<XMLDocument> XMLDocument::parseHTML(const QByteArray& data, Error* error) {
    XMLParserSupport::initialize();
    XMLParserSupport::UntrustedParseScope untrusted;
    xmlDocPtr document = readHTML(data, error);
    return document ? std::unique_ptr<XMLDocument>(new XMLDocument(document)) : nullptr;
}

// The tree

bool XMLDocument::isHTML() const { return document_->type == XML_HTML_DOCUMENT_NODE; }

XMLNode XMLDocument::documentNode() const {
    return XMLNode(reinterpret_cast<xmlNodePtr>(document_));
}

XMLNode XMLDocument::rootElement() const { return XMLNode(xmlDocGetRootElement(document_)); }

void XMLDocument::setRootElement(XMLNode element) {
    if (!element || element.type() != XMLNode::Type::Element) return;
    xmlNodePtr node = element.libxmlNode();
    if (node->doc != document_) node = importNode(element).libxmlNode();
    if (XMLDocument* previousOwner = owner(XMLNode(node))) previousOwner->forgetDetached(node);
    const xmlNodePtr previous = xmlDocSetRootElement(document_, node);
    if (previous && previous != node) keepDetached(previous);
}

XMLNode XMLDocument::createElement(const QString& name) {
    xmlNodePtr node = xmlNewDocNode(document_, nullptr, xmlText(name.toUtf8()), nullptr);
    keepDetached(node);
    return XMLNode(node);
}

XMLNode XMLDocument::createTextNode(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    xmlNodePtr node = xmlNewDocTextLen(document_, xmlText(utf8), int(utf8.size()));
    keepDetached(node);
    return XMLNode(node);
}

XMLNode XMLDocument::importNode(XMLNode node, bool deep) {
    if (!node) return {};
    xmlNodePtr copy = xmlDocCopyNode(node.libxmlNode(), document_, deep ? 1 : 2);
    keepDetached(copy);
    return XMLNode(copy);
}

// XPath

QList<XMLNode> XMLDocument::nodesForXPath(const QString& path, XMLNode context,
                                          Error* error) const {
    XMLParserSupport::initialize();
    QList<XMLNode> nodes;
    xmlXPathContextPtr xpath = xmlXPathNewContext(document_);
    if (!xpath) return nodes;
    Error captured;
    xpath->error = xpathError;
    xpath->userData = &captured;
    xpath->node = context ? context.libxmlNode() : reinterpret_cast<xmlNodePtr>(document_);
    const QByteArray expression = path.toUtf8();
    xmlXPathObjectPtr result = xmlXPathEvalExpression(xmlText(expression), xpath);
    if (result && result->type == XPATH_NODESET) {
        if (xmlNodeSetPtr set = result->nodesetval) {
            xmlXPathNodeSetSort(set);
            nodes.reserve(set->nodeNr);
            for (int i = 0; i < set->nodeNr; ++i) {
                // Namespace nodes are not real nodes of the tree.
                if (set->nodeTab[i]->type != XML_NAMESPACE_DECL)
                    nodes.append(XMLNode(set->nodeTab[i]));
            }
        }
    } else if (result) {
        captured = Error(
            QString::fromLatin1(XMLParserErrorDomain), XML_XPATH_INVALID_TYPE,
            stringWithFormat(localizedString("The XPath expression \"%@\" does not select nodes."),
                             {path}));
    } else if (captured.isNull()) {
        captured =
            Error(QString::fromLatin1(XMLParserErrorDomain), XML_XPATH_EXPR_ERROR,
                  stringWithFormat(localizedString("Invalid XPath expression \"%@\"."), {path}));
    }
    if (result) xmlXPathFreeObject(result);
    xmlXPathFreeContext(xpath);
    if (!captured.isNull()) captured.report(error);
    return nodes;
}

// Serialization

QString XMLDocument::serialize(XMLNode node) {
    if (!node) return QString();
    XMLParserSupport::initialize();
    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer) return QString();
    xmlSaveCtxtPtr saver =
        xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_EMPTY | XML_SAVE_AS_XML | XML_SAVE_NO_DECL);
    QString text;
    if (saver) {
        xmlSaveTree(saver, node.libxmlNode());
        xmlSaveClose(saver);
        text = QString::fromUtf8(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                                 xmlBufferLength(buffer));
    }
    xmlBufferFree(buffer);
    return text;
}

QString XMLDocument::serializeChildren(XMLNode node) const {
    QString text;
    for (XMLNode child = node.firstChild(); child; child = child.nextSibling())
        text += serialize(child);
    return text;
}
