// HTMLImportDelegate: lets the caller of the HTML importer stand in for
// elements that only it understands (its own media and encrypted passages,
// for example), so that such content reaches the rich text by
// identity, without travelling through the document's text.
//
// Called on the importing thread, once per element, in document order.
#pragma once

#include <optional>

#include "platform/richtext/TextAttachment.h"
#include "platform/xml/XMLNode.h"

// What stands in the text in place of an element and all of its content:
// an attachment when `attachment` is set, otherwise `text` (not folded).
struct HTMLReplacement {
    std::optional<TextAttachment> attachment;
    QString text;
};

class HTMLImportDelegate {
  public:
    virtual ~HTMLImportDelegate() = default;
    // The replacement for `element`, or nullopt to read the element as usual.
    virtual std::optional<HTMLReplacement> replacementForElement(const XMLNode& element) = 0;
};
