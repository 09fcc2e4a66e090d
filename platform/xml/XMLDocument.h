// XMLDocument: a parsed DOM tree (owns libxml2's xmlDocPtr and every node of
// it), with XPath 1.0 queries and a serializer that writes what the HTML
// importer and the ENML passes expect.
//
// Parsing is for untrusted text: nothing is loaded from outside the document
// (the ENML DOCTYPE's DTD is never fetched), internal entities expand within a
// bounded budget, HTML named entities (&nbsp; &eacute; ...) read as their
// characters even without a DTD. Errors are in XMLParserErrorDomain with
// libxml2's codes and "Line L, column C: message" descriptions.
// Not thread-safe: one document is used by one thread at a time; different
// documents may be used on different threads.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <unordered_set>

#include "platform/foundation/Error.h"
#include "platform/xml/XMLNode.h"
#include "platform/xml/XMLParserSupport.h"

struct _xmlDoc;

class XMLDocument {
  public:
    // A new empty XML document (no root element).
    XMLDocument();
    ~XMLDocument();
    XMLDocument(const XMLDocument&) = delete;
    XMLDocument& operator=(const XMLDocument&) = delete;

    // XML first; when the text is not well-formed XML, libxml2's HTML parser in
    // tidying mode (recovering, no network, no messages). Returns null with
    // *error set only when neither gives a document (empty input, or an entity
    // expansion beyond the budget, which is not retried as HTML).
    static std::unique_ptr<XMLDocument> parse(const QByteArray& data, Error* error = nullptr);
    // XML only: fails on the first fatal well-formedness error.
    static std::unique_ptr<XMLDocument> parseXML(const QByteArray& data, Error* error = nullptr);
    // HTML only, tidying as parse() does. Text that is valid UTF-8 is read as
    // UTF-8; other text by its own declaration (meta charset) or as Latin-1.
    static std::unique_ptr<XMLDocument> parseHTML(const QByteArray& data, Error* error = nullptr);

    bool isHTML() const;
    // The document itself as a node (type Document), e.g. as an XPath context.
    XMLNode documentNode() const;
    XMLNode rootElement() const;
    // Makes `element` the root element; the previous root is unlinked (kept).
    void setRootElement(XMLNode element);

    // Evaluates an XPath 1.0 expression with `context` as the context node (the
    // document when null; it must belong to this document). Returns the
    // selected nodes in document order. An invalid expression, or one whose
    // result is not a node set, gives an empty list and *error.
    QList<XMLNode> nodesForXPath(const QString& path, XMLNode context = {},
                                 Error* error = nullptr) const;

    // New detached nodes owned by this document.
    XMLNode createElement(const QString& name);
    XMLNode createTextNode(const QString& text);
    // A deep (or shallow) copy of a node of any document, owned by this one, detached.
    XMLNode importNode(XMLNode node, bool deep = true);

    // Serializes a node and its subtree as XML text, UTF-8 characters as they
    // are, text and attribute values escaped, no XML declaration. An empty
    // element is written as a start and an end tag ("<br></br>", never "<br/>").
    // Nodes of HTML documents are written as XML too.
    static QString serialize(XMLNode node);
    // The serialized children of `node`, concatenated.
    QString serializeChildren(XMLNode node) const;

    // The document that owns `node`'s tree, or null for a node of a tree that
    // no XMLDocument owns.
    static XMLDocument* owner(XMLNode node);

    // Low level: links `child` (unlinked first) under `parent` before `before`
    // (null: as the last child), without merging adjacent text nodes as
    // libxml2's own functions do. Does not change detached-node bookkeeping.
    static void linkChildBefore(_xmlNode* parent, _xmlNode* child, _xmlNode* before);

  private:
    friend class XMLNode;
    explicit XMLDocument(_xmlDoc* document);
    void keepDetached(_xmlNode* node);
    void forgetDetached(_xmlNode* node);

    _xmlDoc* document_ = nullptr;
    std::unordered_set<_xmlNode*> detached_;  // roots of subtrees outside the tree
};
