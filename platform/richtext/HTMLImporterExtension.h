// HTMLImporterExtension: teaches the HTML importer the vocabulary of one kind
// of document (an application's own elements and style properties) without
// the importer knowing that kind. The importer asks it once per element or
// per inline style, never per character, and only about what HTML itself
// does not settle:
//  - which extra elements are blocks;
//  - whether an element the importer does not know stands for a check box;
//  - what an element's inline style adds beyond CSS (a fixed-width font, a
//    background);
//  - which lists are checklists and which state a list item's box has;
//  - the text a check box becomes (its marker).
//
// Check boxes: with an extension, every check box (an input of type checkbox,
// an element the extension names, a checklist item) becomes the extension's
// marker at the point where it stands, and the importer reports where each
// marker starts. Without an extension a document has no check boxes: a form
// check box is left out like every other form control.
//
// Threading: called on the importing thread through const functions. An
// extension that holds no state may serve several imports at once; one that
// does must be made for each import. The importer never takes ownership.
#pragma once

#include <QColor>
#include <QString>
#include <optional>

#include "platform/richtext/CSSStyle.h"
#include "platform/xml/XMLNode.h"

// The text a check box becomes, ticked and not ticked. Each starts with a
// visible character; trailing blanks belong to the marker (see HTMLTextBuilder).
struct HTMLCheckBoxMarkers {
    QString checked;
    QString unchecked;
};

// What an element's inline style adds to the text inside it. The element's
// own CSS background (background-color, background) still wins over
// `background`.
struct HTMLStyleAdditions {
    bool fixedPitch = false;  // the text takes the importer's fixed-width font
    std::optional<QColor> background;
};

class HTMLImporterExtension {
  public:
    virtual ~HTMLImporterExtension() = default;

    // The markers check boxes become; asked once per import.
    virtual HTMLCheckBoxMarkers checkBoxMarkers() const = 0;

    // True when the element named `name` (lower case) is a block besides
    // HTML's own. Asked only when the element's style does not make it a
    // block or inline (`display`).
    virtual bool isBlockElement(const QString& name) const = 0;

    // For an element that HTML gives no content of its own (not li, br, img,
    // hr or input; `name` in lower case): its state when it stands for a
    // check box (the box is written where the element starts, its content is
    // read after it), nullopt otherwise.
    virtual std::optional<bool> checkBoxStateForElement(const XMLNode& element,
                                                        const QString& name) const = 0;

    // What an element's non-empty inline `style` adds (see HTMLStyleAdditions).
    virtual HTMLStyleAdditions styleAdditions(const CSSStyle& style) const = 0;

    // True when the items of the list (ul or ol) with inline style
    // `listStyle` are check boxes, unticked unless an item says otherwise.
    virtual bool isChecklist(const CSSStyle& listStyle) const = 0;

    // The state a list item's inline style gives its check box, nullopt when
    // it gives none; an item with a state is a check box in any list.
    virtual std::optional<bool> listItemCheckState(const CSSStyle& itemStyle) const = 0;
};
