// PMChecklistTextAttachment: a checklist box in a note's rich text. In the
// text model a box is a TextAttachment value whose file type is
// "com.quorvel.checklist" and whose userInfo holds its state (a bool); this
// class is the object behind such a value: it owns the box's cell
// (PMChecklistAttachmentCell), knows the box's marker string and paragraph
// style, and is what goes on the clipboard.
//
// Marker strings, the form a box takes in text that knows nothing of boxes:
// checked U+2611 U+FE0E U+0020 (3 units), not checked U+2610 U+0020 (2 units).
//
// Pasteboard form, in order of preference: "com.quorvel.checklist" (the keyed
// archive of the attachment with its cell and state; MIME type
// "application/x-com.quorvel.checklist") and the string type (the marker
// string; MIME type "text/plain"). Only "com.quorvel.checklist" is read.
//
// Archived as class "PMChecklistTextAttachment" (a text attachment) with the
// cell under "NSCell". Objects are shared through std::shared_ptr; not
// thread-safe, one thread at a time.
#pragma once

#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "formats/PMChecklistAttachmentCell.h"
#include "platform/archive/ArchivableObject.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/ParagraphStyle.h"
#include "platform/richtext/TextAttachment.h"

class KeyedUnarchiver;

class PMChecklistTextAttachment : public ArchivableObject {
  public:
    // The file type of a box, also its pasteboard type.
    static const QString fileTypeIdentifier;  // "com.quorvel.checklist"
    // The platform's plain-string pasteboard type.
    static const QString stringPasteboardType;  // "NSStringPboardType"
    static const QString checkedReplacementString;
    static const QString uncheckedReplacementString;

    // A box with the given state and a new cell.
    explicit PMChecklistTextAttachment(bool on = false);

    // The cell; made (unchecked) when the attachment has none.
    PMChecklistAttachmentCell& cell();
    void setCell(std::shared_ptr<PMChecklistAttachmentCell> cell) { cell_ = std::move(cell); }
    QString fileType() const { return fileTypeIdentifier; }

    // The cell's state.
    bool on() { return cell().on(); }
    void setOn(bool on) { cell().setOn(on); }

    // The checked or unchecked marker string for the current state.
    QString replacementString() {
        return on() ? checkedReplacementString : uncheckedReplacementString;
    }
    // The default paragraph style with head indent = the cell's width and
    // first-line head indent = minus the cell's width.
    ParagraphStyle checklistParagraphStyle();
    // The box as one attachment character with checklistParagraphStyle over it.
    AttributedString attributedString();

    // The box as the text model holds it: file type, state in userInfo,
    // display size = the cell's size.
    TextAttachment textAttachment();
    // Whether a text attachment is a checklist box.
    static bool isChecklistAttachment(const TextAttachment& attachment);
    // The box behind a text attachment (state from its userInfo); nullptr
    // when it is not a checklist box.
    static std::shared_ptr<PMChecklistTextAttachment> fromTextAttachment(
        const TextAttachment& attachment);

    // ---- pasteboard ----
    // The types written, most preferred first.
    QStringList writableTypes() const { return {fileTypeIdentifier, stringPasteboardType}; }
    // The value for a written type: the archive (QByteArray) for the box type,
    // the marker (QString) for the string type, an invalid QVariant otherwise.
    QVariant pasteboardPropertyListForType(const QString& type);
    // The only type read.
    static QStringList readableTypes() { return {fileTypeIdentifier}; }
    // The box from pasteboard data of `type`; nullptr for another type or
    // data that is not an archived box.
    static std::shared_ptr<PMChecklistTextAttachment> fromPasteboardPropertyList(
        const QVariant& propertyList, const QString& type);
    // The MIME type that carries a pasteboard type on the clipboard ("" when
    // the type has none).
    static QString mimeTypeForPasteboardType(const QString& type);
    // Clipboard data holding every written type (for QClipboard::setMimeData,
    // which takes ownership).
    std::unique_ptr<QMimeData> mimeData();
    // The box on the clipboard, read from its "com.quorvel.checklist" form;
    // nullptr when the data has no box.
    static std::shared_ptr<PMChecklistTextAttachment> fromMimeData(const QMimeData* data);

    // ---- archiving ----
    QString className() const override { return QStringLiteral("PMChecklistTextAttachment"); }
    QStringList classChain() const override;
    void encodeWithCoder(KeyedArchiver& coder) override;
    // The unarchiver factory: the archived cell, or a new unchecked one.
    static std::shared_ptr<ArchivableObject> decode(KeyedUnarchiver& coder);
    // Sets the factories of the attachment and its cell.
    static void registerClasses(KeyedUnarchiver& coder);

  private:
    std::shared_ptr<PMChecklistAttachmentCell> cell_;
};
