// XMLNode: a thin, non-owning handle on one node of an XMLDocument's tree
// (libxml2's xmlNodePtr). Cheap to copy; a null handle answers every query with
// an empty result and ignores every change.
//
// A handle is like a pointer: changing the node does not change the handle,
// so the editing operations are const.
//
// Ownership: the XMLDocument owns all its nodes, attached or not. A node that
// is created, unlinked or replaced stays alive until the document is destroyed
// (or remove() frees it), so handles to it stay valid. remove() frees the node
// and its subtree at once: handles to them become invalid. Nodes moved between
// documents are copied (see addChild). Not thread-safe: one thread per document.
#pragma once

#include <QList>
#include <QString>

#include "platform/xml/XMLAttribute.h"

struct _xmlNode;
class XMLDocument;

class XMLNode {
  public:
    enum class Type {
        Element,
        Attribute,
        Text,
        CDATA,
        EntityReference,
        ProcessingInstruction,
        Comment,
        Document,
        DocumentType,
        DocumentFragment,
        Other,
    };

    XMLNode() = default;
    explicit XMLNode(_xmlNode* node) : node_(node) {}

    bool isNull() const { return node_ == nullptr; }
    explicit operator bool() const { return node_ != nullptr; }
    bool operator==(const XMLNode& other) const { return node_ == other.node_; }
    bool operator!=(const XMLNode& other) const { return node_ != other.node_; }
    // The libxml2 node, for code that must call libxml2 directly.
    _xmlNode* libxmlNode() const { return node_; }

    Type type() const;
    bool isElement() const { return type() == Type::Element; }
    // The qualified name ("prefix:local") of an element or attribute, the target
    // of a processing instruction, the name of an entity reference; empty for
    // text, CDATA, comments and documents.
    QString name() const;
    void setName(const QString& name) const;

    XMLNode parent() const;
    XMLNode firstChild() const;
    XMLNode lastChild() const;
    XMLNode nextSibling() const;
    XMLNode previousSibling() const;
    // All child nodes in order (not attributes).
    QList<XMLNode> children() const;
    qsizetype childCount() const;

    // Attributes by qualified name ("href", "xml:lang"). attribute() returns a
    // null QString when there is none. setAttribute() changes the value in place
    // or appends a new attribute after the existing ones.
    QString attribute(const QString& name) const;
    bool hasAttribute(const QString& name) const;
    void setAttribute(const QString& name, const QString& value) const;
    void removeAttribute(const QString& name) const;
    QList<XMLAttribute> attributes() const;

    // The text of the node and all its descendants, concatenated.
    QString textContent() const;
    // Replaces the children (freed) with one text node, or a text node's text.
    void setTextContent(const QString& text) const;

    // Appends `child` as the last child. A child from another document is
    // copied into this one (deeply) and the copy is appended. A child already
    // elsewhere in the tree is moved. Adjacent text nodes are not merged, so
    // the handle stays valid. Returns the appended node; null when nothing was
    // done (null handles, an attribute, or `child` contains this node).
    XMLNode addChild(XMLNode child) const;
    // Inserts `child` before `referenceChild`, which must be a child of this
    // node (null appends), with addChild's rules. Returns the inserted node.
    XMLNode insertBefore(XMLNode child, XMLNode referenceChild) const;
    // Puts `replacement` where this node is and unlinks this node.
    void replaceWith(XMLNode replacement) const;
    // Detaches the node (and its subtree) from its parent; it stays valid.
    void unlink() const;
    // Detaches the node and frees it with its subtree.
    void remove();

    // A new detached element or text node owned by `document`.
    static XMLNode newElement(XMLDocument* document, const QString& name);
    static XMLNode newText(XMLDocument* document, const QString& text);

  private:
    _xmlNode* node_ = nullptr;
};
