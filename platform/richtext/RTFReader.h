// RTFReader: reads RTF, the Cocoa dialect first (everything RTFWriter writes
// and what Cocoa writes), into an AttributedString and the document
// attributes. Text bytes are decoded with the document's code page
// (\ansicpg, double-byte ones included) or a font's character set; \uN
// characters honour \ucN skipping; unknown {\* ...} destinations are skipped.
// An attachment (a NeXTGraphic group followed by its 0xAC or \'ac
// placeholder) becomes a U+FFFC character with a TextAttachment whose file
// wrapper is null but carries the file name as its preferred name; the RTFD
// package fills in the files.
//
// List markers written as {\listtext} become part of the text, as in the
// writer. Tables become paragraphs carrying TextTableBlocks, with row and
// column spans from merged cells.
//
// Errors: domain "NSCocoaErrorDomain", code 259, when the data is not RTF.
// Reentrant: separate readers may run on separate threads.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSizeF>
#include <QString>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/RTFDocumentAttributes.h"

// An attachment the RTF refers to: where it stands and the file it names.
struct RTFAttachmentReference {
    qsizetype index = 0;  // of its U+FFFC character
    QString fileName;
    QSizeF size;  // points; empty when not given
};

class RTFReader {
  public:
    explicit RTFReader(const QByteArray& data) : data_(data) {}

    // Parses the data. False with the error when it is not RTF; damaged RTF
    // (unbalanced groups, truncation) is read as far as it goes.
    bool read(Error* error = nullptr);

    const AttributedString& attributedString() const { return text_; }
    const RTFDocumentAttributes& documentAttributes() const { return documentAttributes_; }
    const QList<RTFAttachmentReference>& attachments() const { return attachments_; }

    // Shorthand: the text of `data`, filling `documentAttributes` when given.
    static std::optional<AttributedString> attributedStringFromRTF(
        const QByteArray& data, RTFDocumentAttributes* documentAttributes = nullptr,
        Error* error = nullptr);

  private:
    QByteArray data_;
    AttributedString text_;
    RTFDocumentAttributes documentAttributes_;
    QList<RTFAttachmentReference> attachments_;
};
