// RTFWriter: writes an AttributedString as RTF in the Cocoa dialect, for
// everything the model holds: fonts (PostScript names with family classes),
// colours (\colortbl with entry 1 white and a matching \expandedcolortbl),
// paragraph styles, nested lists (list table, \ls/\ilvl, {\listtext}),
// character attributes, links (HYPERLINK fields), attachments (NeXTGraphic
// groups with the 0xAC placeholder byte) and tables, nested ones included.
// The output also opens in other RTF readers: a paragraph break is "\" +
// newline as Cocoa writes it, and \par where the next paragraph restates its
// paragraph words, since some readers take "\" + newline for a line break.
//
// List markers: a list paragraph whose text starts with its rendered marker
// (a tab, the marker, a tab, as the HTML importer and the RTF reader put it)
// has that marker written as {\listtext}; the list membership itself is
// always written with \ls and \ilvl.
//
// Attachments are written with the name given by setAttachmentFileNames for
// their character index, else their file wrapper's preferred name; an
// attachment without a file is written as a bare U+FFFC. The writer never
// fails. Reentrant: separate writers may run on separate threads.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include "platform/richtext/AttributedString.h"
#include "platform/richtext/RTFDocumentAttributes.h"

class RTFWriter {
  public:
    explicit RTFWriter(const AttributedString& text,
                       const RTFDocumentAttributes& documentAttributes = {});

    // File names of attachments by character index (the RTFD package names).
    void setAttachmentFileNames(const QHash<qsizetype, QString>& names) {
        attachmentNames_ = names;
    }

    // The RTF bytes of the whole text.
    QByteArray data() const;

    // Shorthand for RTFWriter(text, documentAttributes).data().
    static QByteArray RTFFromAttributedString(const AttributedString& text,
                                              const RTFDocumentAttributes& documentAttributes = {});

  private:
    AttributedString text_;
    RTFDocumentAttributes documentAttributes_;
    QHash<qsizetype, QString> attachmentNames_;
};
