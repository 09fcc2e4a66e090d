// PMNoteAttributes: the per-note settings that travel inside a note package
// as the keyed archive "NoteAttributes" (root object of class
// PMNoteAttributes): visible and selected character ranges, typing
// attributes, layout orientation, hyphenation and scale factors, ruler
// visibility, the visible rectangle, the background colour and the positions
// of the checklist boxes.
//
// Archive keys, in the order written (all on every save): "fileVersion"
// (integer, always 3000), "visibleChars" and "selectedChars" (range strings),
// "typingAttributes" (object), "layoutOrientation" (integer),
// "hyphenationFactor" (32-bit real), "scaleFactor" (64-bit real),
// "visibleCGRect" (dictionary of 32-bit reals), "rulerVisible" (boolean),
// "backgroundColorComponents" (dictionary "red", "green", "blue", "alpha" of
// 32-bit reals; only when a colour is set) and "checklistItems" (array of
// PMNoteChecklistItem). Archives below version 2000 keep the rectangle under
// "visibleRect" (rectangle string) and the colour under "backgroundColor"
// (colour object); those keys are only read.
//
// A value type: copies share the typing-attribute dictionary (it is
// immutable) and hold equal checklist lists. Not thread-safe; use one copy
// per thread.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRectF>
#include <optional>

#include "formats/PMNoteChecklistItem.h"
#include "platform/archive/ArchiveValue.h"
#include "platform/archive/GeometryStrings.h"
#include "platform/foundation/Error.h"

class KeyedArchiver;
class KeyedUnarchiver;
class UserDefaults;

class PMNoteAttributes : public ArchivableObject {
  public:
    // The version every save writes; archives from 3000 on carry trustworthy
    // checklist items, archives below 2000 use the old rectangle and colour keys.
    static constexpr qint64 currentFileVersion = 3000;
    static constexpr qint64 firstVersionWithComponents = 2000;

    // New attributes for a new note: version 3000, zero ranges and rectangle,
    // no typing attributes, colour or checklist items, and from the standard
    // user defaults: "DefaultNoteScaleFactor" (read as a float), "NewNotesShowRuler"
    // and the colour archived in "DefaultNoteBackgroundColor" (when it holds a
    // readable keyed archive of a colour). Absent defaults give 0, off, none.
    PMNoteAttributes();
    // The same, reading the given defaults.
    explicit PMNoteAttributes(const UserDefaults& defaults);
    // Attributes with every field zero, false or none (version 0), the
    // starting point of decoding.
    static PMNoteAttributes emptyAttributes();

    qint64 fileVersion() const { return fileVersion_; }
    void setFileVersion(qint64 version) { fileVersion_ = version; }
    IndexRange visibleChars() const { return visibleChars_; }
    void setVisibleChars(IndexRange range) { visibleChars_ = range; }
    IndexRange selectedChars() const { return selectedChars_; }
    void setSelectedChars(IndexRange range) { selectedChars_ = range; }
    // A dictionary of text attributes, or nil.
    const ArchiveValue& typingAttributes() const { return typingAttributes_; }
    void setTypingAttributes(const ArchiveValue& attributes) { typingAttributes_ = attributes; }
    qint64 layoutOrientation() const { return layoutOrientation_; }
    void setLayoutOrientation(qint64 orientation) { layoutOrientation_ = orientation; }
    double hyphenationFactor() const { return hyphenationFactor_; }
    void setHyphenationFactor(double factor) { hyphenationFactor_ = factor; }
    double scaleFactor() const { return scaleFactor_; }
    void setScaleFactor(double factor) { scaleFactor_ = factor; }
    bool rulerVisible() const { return rulerVisible_; }
    void setRulerVisible(bool visible) { rulerVisible_ = visible; }
    QRectF visibleRect() const { return visibleRect_; }
    void setVisibleRect(const QRectF& rect) { visibleRect_ = rect; }
    const std::optional<QColor>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const std::optional<QColor>& color) { backgroundColor_ = color; }
    const std::optional<QList<PMNoteChecklistItem>>& checklistItems() const {
        return checklistItems_;
    }
    void setChecklistItems(const std::optional<QList<PMNoteChecklistItem>>& items) {
        checklistItems_ = items;
    }

    QString className() const override { return QStringLiteral("PMNoteAttributes"); }
    // Writes the keys above. A background colour is first converted to device
    // RGB and the converted colour replaces the field; a colour without an RGB
    // form (an invalid QColor) is written as four zero components and the
    // field becomes none.
    void encodeWithCoder(KeyedArchiver& coder) override;
    // The unarchiver factory: attributes decoded from an empty object, by the
    // version rules above.
    static std::shared_ptr<ArchivableObject> decode(KeyedUnarchiver& coder);
    // Sets the factories for PMNoteAttributes and PMNoteChecklistItem.
    static void registerClasses(KeyedUnarchiver& coder);

    // The keyed archive with these attributes as root object (key "root"), as
    // stored in "NoteAttributes". Applies the colour conversion of encodeWithCoder.
    QByteArray archivedData();
    // Attributes read from such an archive; nullopt with the error when the
    // data is not a keyed archive (KeyedArchiveErrorDomain 1), is corrupt, or
    // its root is not a PMNoteAttributes (KeyedArchiveErrorDomain 2).
    static std::optional<PMNoteAttributes> fromArchivedData(const QByteArray& data,
                                                            Error* error = nullptr);

  private:
    struct Empty {};
    explicit PMNoteAttributes(Empty) {}

    void encodeBackgroundColor(KeyedArchiver& coder);
    void decodeRectangleAndColor(KeyedUnarchiver& coder);

    qint64 fileVersion_ = 0;
    IndexRange visibleChars_;
    IndexRange selectedChars_;
    ArchiveValue typingAttributes_;
    qint64 layoutOrientation_ = 0;
    double hyphenationFactor_ = 0;
    double scaleFactor_ = 0;
    bool rulerVisible_ = false;
    QRectF visibleRect_;
    std::optional<QColor> backgroundColor_;
    std::optional<QList<PMNoteChecklistItem>> checklistItems_;
};
