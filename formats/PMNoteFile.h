// PMNoteFile: one Pelmora note in memory, and its package on disk.
//
// A note package is a folder "<name>.pmnote" holding the RTFD contents of the
// note's text ("TXT.rtf" plus one file per attachment, named as the RTF refers
// to them) and the regular file "NoteAttributes", the keyed archive of the
// note's PMNoteAttributes. The RTF never holds checklist boxes: each box is
// written as its marker string and listed in the archived checklist items;
// reading turns the markers back into boxes.
//
// The text is shared, not copied: setNoteText keeps the very object it is
// given, so a caller may go on changing it (restoring checklists in place)
// and the note sees the change. Ownership of the note itself is the caller's;
// it is neither copyable nor movable (copy() makes a new one).
//
// Errors are those of the failing step: "NSCocoaErrorDomain" file and format
// errors (FileWrapper, RTFDPackage), 262 for a URL that is not a file URL.
// Not thread-safe; a note is used on one thread at a time. An undo stack, when
// set, must belong to that thread.
#pragma once

#include <QPointer>
#include <QString>
#include <QUndoStack>
#include <QUrl>
#include <memory>
#include <optional>

#include "formats/PMNoteAttributes.h"
#include "platform/foundation/Error.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/FileWrapper.h"
#include "platform/richtext/RTFDocumentAttributes.h"
#include "platform/richtext/TextAttributes.h"

class UserDefaults;

class PMNoteFile {
  public:
    // The package extension and the archive entry's name.
    static const QString fileExtension;           // "pmnote"
    static const QString noteAttributesFileName;  // "NoteAttributes"

    // A new empty note: empty text, new note attributes (their defaults read
    // from the standard user defaults, or from `defaults`), and the default
    // RTFD document attributes.
    PMNoteFile();
    explicit PMNoteFile(const UserDefaults& defaults);
    ~PMNoteFile();
    PMNoteFile(const PMNoteFile&) = delete;
    PMNoteFile& operator=(const PMNoteFile&) = delete;

    // Reads the package at the file URL `url`:
    // 1. the package folder as a file wrapper, 2. its RTFD text and document
    // attributes, 3. runs in the system font's family move to the family of
    // the user font of 14 points, 4. "NoteAttributes" is unarchived; from
    // version 3000 on its checklist items are trusted, otherwise (and when the
    // entry is missing or unreadable, which gives default attributes) the
    // items are found from the marker strings in the text, 5. the markers
    // become boxes. Null with the error of the failing step.
    static std::unique_ptr<PMNoteFile> noteFileWithFileURL(const QUrl& url, Error* error = nullptr);

    // The localised text "New Note", the name of a new note.
    static QString nameOfNewNote();
    // True only when the URL's extension is "pmnote", its file name without
    // the extension begins with nameOfNewNote(), and the note read from it has
    // no text (a note that cannot be read counts as having none).
    static bool noteFileAtURLIsEmpty(const QUrl& url);
    // The path of the application's "Welcome to Pelmora" note package, made
    // on first use in the user's cache folder ($XDG_CACHE_HOME, else
    // ~/.cache, under "ferrymark/Resources"); none when it cannot be made.
    static std::optional<QString> oldWelcomeNotePath();
    // Typing attributes for new text: the font named by the default
    // "DefaultNoteFontName" at "DefaultNoteFontSize" points, or the user font
    // of 14 points when there is no such font; the colour archived in
    // "DefaultNoteTextColor" as foreground colour, left out when absent.
    static TextAttributes defaultNoteAttributes();
    static TextAttributes defaultNoteAttributes(const UserDefaults& defaults);

    // The package as a directory wrapper: the RTFD of a copy of the text in
    // which boxes are markers (with the note's background colour as the
    // document's), plus "NoteAttributes". Stores the boxes' items in
    // noteAttributes() first. None with the error on failure; the note is then
    // unchanged.
    std::optional<FileWrapper> fileWrapper(Error* error = nullptr);
    // Writes `wrapper` (a directory) to `path`, with the archive of
    // noteAttributes() as its only "NoteAttributes" entry. The package is
    // written beside the destination and swapped in with a rename. A replaced
    // package's creation date and extension visibility are kept; a new one
    // gets a hidden extension. On failure logs "Error writing note to <path>:
    // <error>" and returns false with the error; an existing package is then
    // left as it was.
    bool writeFileWrapper(const FileWrapper& wrapper, const QString& path, Error* error = nullptr);
    // fileWrapper() followed by writeFileWrapper().
    bool writeToFile(const QString& path, Error* error = nullptr);

    // The note's text, with boxes as checklist attachments. Never null.
    const std::shared_ptr<AttributedString>& noteText() const { return noteText_; }
    // Keeps `text` itself (null is taken as a new empty text). With an undo
    // stack set, first pushes a command whose undo sets back a copy of the
    // current text.
    void setNoteText(std::shared_ptr<AttributedString> text);

    PMNoteAttributes& noteAttributes() { return noteAttributes_; }
    const PMNoteAttributes& noteAttributes() const { return noteAttributes_; }
    void setNoteAttributes(const PMNoteAttributes& attributes) { noteAttributes_ = attributes; }
    // The document attributes used when writing and filled when reading; none
    // means the defaults (the package is always written as RTFD).
    const std::optional<RTFDocumentAttributes>& documentAttributes() const {
        return documentAttributes_;
    }
    void setDocumentAttributes(const std::optional<RTFDocumentAttributes>& attributes) {
        documentAttributes_ = attributes;
    }
    // Not owned; forgotten when the stack is destroyed.
    QUndoStack* undoManager() const { return undoManager_; }
    void setUndoManager(QUndoStack* undoManager) { undoManager_ = undoManager; }

    // A new note with a copy of this one's text and attributes and fresh
    // document attributes (no undo stack).
    std::unique_ptr<PMNoteFile> copy() const;

  private:
    friend class PMNoteTextUndoCommand;

    bool readFromFileURL(const QUrl& url, Error* error);
    void restoreChecklistsAfterReading(const FileWrapper& package);
    // Writes `package` (a directory holding its "NoteAttributes" already) as
    // writeFileWrapper does.
    bool writePackage(const FileWrapper& package, const QString& path, Error* error);
    // Replaces the text without registering an undo action.
    void replaceNoteText(std::shared_ptr<AttributedString> text);

    std::shared_ptr<AttributedString> noteText_;
    std::optional<RTFDocumentAttributes> documentAttributes_;
    PMNoteAttributes noteAttributes_;
    QPointer<QUndoStack> undoManager_;
    // Undo commands reach the note through this; cleared when the note goes,
    // so a command outliving it does nothing.
    std::shared_ptr<PMNoteFile*> undoTarget_;
};
