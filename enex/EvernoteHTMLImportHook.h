// EvernoteHTMLImportHook: what the HTML importer needs to read the note
// service's notes (a note's ENML tree, or a note of its HTML export) the way
// the note service shows them, on top of plain HTML:
//  - "en-note", the element around a note's body, is a block;
//  - "en-todo" is a check box, ticked when its "checked" attribute is "true"
//    (isTodoChecked, which the ENML to XHTML conversion shares);
//  - the note properties of inline styles, written "--en-name" (older clients
//    "-en-name"): --en-codeblock:true (a fixed-width block on a light grey
//    background), --en-code:true (fixed-width text), --en-highlight (the
//    background of a highlighter pen: yellow, green, blue, purple, pink, red
//    or orange by name, else the value as a CSS colour, else yellow),
//    --en-todo:true on a list (its items are check boxes) and --en-checked on
//    a list item (its box, ticked when "true");
//  - check boxes become the checklist markers (U+2611 U+FE0E U+0020 ticked,
//    U+2610 U+0020 not), which the checklist pass turns into checklist boxes.
// An element's own font-family and background-color win over what a code
// block would give it. Values are compared without regard to case or blanks.
//
// Stateless: one hook may serve any number of imports on any threads at once.
#pragma once

#include "platform/richtext/HTMLImporterExtension.h"

class EvernoteHTMLImportHook : public HTMLImporterExtension {
  public:
    // Whether the to-do element `todo` is ticked: its "checked" attribute is
    // "true" in any case, blanks around it ignored. The one rule for every
    // path that reads to-dos, so a note looks the same whichever way it goes.
    static bool isTodoChecked(const XMLNode& todo);

    HTMLCheckBoxMarkers checkBoxMarkers() const override;
    bool isBlockElement(const QString& name) const override;
    std::optional<bool> checkBoxStateForElement(const XMLNode& element,
                                                const QString& name) const override;
    HTMLStyleAdditions styleAdditions(const CSSStyle& style) const override;
    bool isChecklist(const CSSStyle& listStyle) const override;
    std::optional<bool> listItemCheckState(const CSSStyle& itemStyle) const override;
};
