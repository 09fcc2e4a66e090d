#include "platform/xml/XMLNode.h"

#include <libxml/tree.h>

#include "platform/xml/XMLDocument.h"

namespace {

const xmlChar* xmlText(const QByteArray& utf8) {
    return reinterpret_cast<const xmlChar*>(utf8.constData());
}

QString takeString(xmlChar* text) {
    if (!text) return QString();
    const QString result = QString::fromUtf8(reinterpret_cast<const char*>(text));
    xmlFree(text);
    return result;
}

QString prefixedName(const xmlNs* ns, const xmlChar* name) {
    const QString local = QString::fromUtf8(reinterpret_cast<const char*>(name));
    if (!ns || !ns->prefix) return local;
    return QString::fromUtf8(reinterpret_cast<const char*>(ns->prefix)) + QLatin1Char(':') + local;
}

xmlAttrPtr findAttribute(xmlNodePtr node, const QString& name) {
    if (!node || node->type != XML_ELEMENT_NODE) return nullptr;
    for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        if (prefixedName(attribute->ns, attribute->name) == name) return attribute;
    }
    return nullptr;
}

QString attributeValue(xmlAttrPtr attribute) {
    return takeString(xmlNodeListGetString(attribute->doc, attribute->children, 1));
}

bool canHaveChildren(xmlNodePtr node) {
    return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE ||
           node->type == XML_HTML_DOCUMENT_NODE || node->type == XML_DOCUMENT_FRAG_NODE;
}

bool isAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node) {
    for (xmlNodePtr current = node; current; current = current->parent) {
        if (current == candidate) return true;
    }
    return false;
}

}  // namespace

XMLNode::Type XMLNode::type() const {
    if (!node_) return Type::Other;
    switch (node_->type) {
        case XML_ELEMENT_NODE:
            return Type::Element;
        case XML_ATTRIBUTE_NODE:
            return Type::Attribute;
        case XML_TEXT_NODE:
            return Type::Text;
        case XML_CDATA_SECTION_NODE:
            return Type::CDATA;
        case XML_ENTITY_REF_NODE:
            return Type::EntityReference;
        case XML_PI_NODE:
            return Type::ProcessingInstruction;
        case XML_COMMENT_NODE:
            return Type::Comment;
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE:
            return Type::Document;
        case XML_DTD_NODE:
        case XML_DOCUMENT_TYPE_NODE:
            return Type::DocumentType;
        case XML_DOCUMENT_FRAG_NODE:
            return Type::DocumentFragment;
        default:
            return Type::Other;
    }
}

QString XMLNode::name() const {
    switch (type()) {
        case Type::Element:
        case Type::Attribute:
            return prefixedName(node_->ns, node_->name);
        case Type::ProcessingInstruction:
        case Type::EntityReference:
        case Type::DocumentType:
            return node_->name ? QString::fromUtf8(reinterpret_cast<const char*>(node_->name))
                               : QString();
        default:
            return QString();
    }
}

// The node takes exactly this name; a namespace prefix it had is dropped.
void XMLNode::setName(const QString& name) const {
    if (!node_ || (node_->type != XML_ELEMENT_NODE && node_->type != XML_ATTRIBUTE_NODE)) return;
    xmlNodeSetName(node_, xmlText(name.toUtf8()));
    node_->ns = nullptr;
}

XMLNode XMLNode::parent() const { return XMLNode(node_ ? node_->parent : nullptr); }
XMLNode XMLNode::firstChild() const {
    return XMLNode(node_ && canHaveChildren(node_) ? node_->children : nullptr);
}
XMLNode XMLNode::lastChild() const {
    return XMLNode(node_ && canHaveChildren(node_) ? node_->last : nullptr);
}
XMLNode XMLNode::nextSibling() const { return XMLNode(node_ ? node_->next : nullptr); }
XMLNode XMLNode::previousSibling() const { return XMLNode(node_ ? node_->prev : nullptr); }

QList<XMLNode> XMLNode::children() const {
    QList<XMLNode> nodes;
    for (XMLNode child = firstChild(); child; child = child.nextSibling()) nodes.append(child);
    return nodes;
}

qsizetype XMLNode::childCount() const {
    qsizetype count = 0;
    for (XMLNode child = firstChild(); child; child = child.nextSibling()) ++count;
    return count;
}

QString XMLNode::attribute(const QString& name) const {
    const xmlAttrPtr found = findAttribute(node_, name);
    if (!found) return QString();
    const QString value = attributeValue(found);
    return value.isNull() ? QStringLiteral("") : value;
}

bool XMLNode::hasAttribute(const QString& name) const {
    return findAttribute(node_, name) != nullptr;
}

// libxml2 stores the value as one text node, so '&' and '<' need no escaping here.
void XMLNode::setAttribute(const QString& name, const QString& value) const {
    if (!node_ || node_->type != XML_ELEMENT_NODE) return;
    const QByteArray utf8 = value.toUtf8();
    if (const xmlAttrPtr existing = findAttribute(node_, name))
        xmlSetNsProp(node_, existing->ns, existing->name, xmlText(utf8));
    else
        xmlNewProp(node_, xmlText(name.toUtf8()), xmlText(utf8));
}

void XMLNode::removeAttribute(const QString& name) const {
    if (const xmlAttrPtr found = findAttribute(node_, name)) xmlRemoveProp(found);
}

QList<XMLAttribute> XMLNode::attributes() const {
    QList<XMLAttribute> list;
    if (!node_ || node_->type != XML_ELEMENT_NODE) return list;
    for (xmlAttrPtr attribute = node_->properties; attribute; attribute = attribute->next)
        list.append({prefixedName(attribute->ns, attribute->name), attributeValue(attribute)});
    return list;
}

QString XMLNode::textContent() const {
    if (!node_) return QString();
    const QString text = takeString(xmlNodeGetContent(node_));
    return text.isNull() ? QStringLiteral("") : text;
}

void XMLNode::setTextContent(const QString& text) const {
    if (!node_) return;
    const QByteArray utf8 = text.toUtf8();
    if (!canHaveChildren(node_) && node_->type != XML_ATTRIBUTE_NODE) {
        xmlNodeSetContentLen(node_, xmlText(utf8), int(utf8.size()));  // taken as raw text
        return;
    }
    while (xmlNodePtr child = node_->children) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
    }
    xmlNodePtr textNode = xmlNewDocTextLen(node_->doc, xmlText(utf8), int(utf8.size()));
    XMLDocument::linkChildBefore(node_, textNode, nullptr);
}

XMLNode XMLNode::addChild(XMLNode child) const { return insertBefore(child, XMLNode()); }

XMLNode XMLNode::insertBefore(XMLNode child, XMLNode referenceChild) const {
    if (!node_ || !child || !canHaveChildren(node_) || child.type() == Type::Attribute ||
        child.type() == Type::Document)
        return {};
    if (referenceChild && referenceChild.node_->parent != node_) return {};
    xmlNodePtr node = child.node_;
    if (node->doc != node_->doc) {
        // A node of another document is copied: its names may belong to that
        // document's dictionary.
        XMLDocument* target = XMLDocument::owner(*this);
        node = target ? target->importNode(child).node_ : xmlDocCopyNode(node, node_->doc, 1);
        if (!node) return {};
    } else if (isAncestorOrSelf(node, node_)) {
        return {};
    }
    if (node == referenceChild.node_) return XMLNode(node);
    if (XMLDocument* owner = XMLDocument::owner(XMLNode(node))) owner->forgetDetached(node);
    XMLDocument::linkChildBefore(node_, node, referenceChild.node_);
    return XMLNode(node);
}

void XMLNode::replaceWith(XMLNode replacement) const {
    if (!node_ || !node_->parent || !replacement || replacement == *this) return;
    if (parent().insertBefore(replacement, *this)) unlink();
}

void XMLNode::unlink() const {
    if (!node_ || type() == Type::Document) return;
    xmlUnlinkNode(node_);
    if (XMLDocument* owner = XMLDocument::owner(*this)) owner->keepDetached(node_);
}

void XMLNode::remove() {
    if (!node_ || type() == Type::Document) return;
    xmlUnlinkNode(node_);
    if (XMLDocument* owner = XMLDocument::owner(*this)) owner->forgetDetached(node_);
    xmlFreeNode(node_);  // frees an attribute node as an attribute
    node_ = nullptr;
}

XMLNode XMLNode::newElement(XMLDocument* document, const QString& name) {
    return document ? document->createElement(name) : XMLNode();
}

XMLNode XMLNode::newText(XMLDocument* document, const QString& text) {
    return document ? document->createTextNode(text) : XMLNode();
}
