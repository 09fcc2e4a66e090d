// The note converter: turns one note record (EvernoteNoteRecord, as the ENEX
// parser fills it) into its files and the item dictionary for the library
// import description.
//
// A note that holds nothing but one attachment becomes that attachment's file;
// a web clip becomes a web archive (falling back to a note package); every
// other note becomes a note package.
//
// Threading: a converter and its record are used by one thread at a time,
// never the main thread (a web clip refresh blocks it while the page loads on
// the main thread). Converters of different notes run in parallel, also into
// the same folder: the names they choose never collide.
#pragma once

#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

#include "enex/EvernoteENMLImportDelegate.h"
#include "enex/EvernoteEncryptedPassages.h"
#include "enex/EvernoteNamingOrder.h"
#include "enex/EvernoteNoteLinks.h"
#include "enex/EvernoteNoteRecord.h"
#include "enex/EvernoteReservedFileName.h"
#include "platform/plist/PlistValue.h"
#include "platform/richtext/AttributedString.h"
#include "platform/xml/XMLDocument.h"

inline const QString kEvernoteXMLItemErrorDomain = QStringLiteral("EvernoteXMLItemErrorDomain");

// Keys of an item dictionary.
namespace ItemKeys {
inline const QString EntityName = QStringLiteral("com.quorvel.Pelmora.EntityName");
inline const QString Name = QStringLiteral("name");
inline const QString Identifier = QStringLiteral("identifier");
inline const QString DateCreated = QStringLiteral("dateCreated");
inline const QString DateModified = QStringLiteral("dateModified");
inline const QString Comments = QStringLiteral("comments");
inline const QString TagsString = QStringLiteral("tagsString");
inline const QString ItemType = QStringLiteral("itemType");
inline const QString Filename = QStringLiteral("filename");
inline const QString AbsoluteFilename = QStringLiteral("absoluteFilename");
inline const QString ExtensionHidden = QStringLiteral("extensionHidden");
inline const QString Folder = QStringLiteral("folder");
// Our own: every attribute of the note and its attachments, field name →
// value as text (EvernoteAttributes); absent when the note has none.
inline const QString EvernoteAttributes = QStringLiteral("evernoteAttributes");
// Our own: the note's fingerprint and note key (EvernoteNoteFingerprint),
// by which a later import knows the note again.
inline const QString EvernoteFingerprint = QStringLiteral("evernoteFingerprint");
inline const QString EvernoteNoteKey = QStringLiteral("evernoteNoteKey");
}  // namespace ItemKeys

class EvernoteXMLItem {
  public:
    // Check boxes and attachment tags one note may hold; a note with more is
    // refused (error 1001 of "EvernoteXMLItemErrorDomain", saying how many it
    // holds). Each becomes an object of its own in the note package (a
    // checklist item, an attachment), so a hostile note of some tens of
    // megabytes would otherwise take gigabytes; real notes stay far below.
    static constexpr qsizetype maximumCheckBoxes = 250000;
    static constexpr qsizetype maximumMediaTags = 250000;

    // A converter of `record` whose files go into `directoryURL` (the notebook folder).
    EvernoteXMLItem(EvernoteNoteRecord record, const QUrl& directoryURL);
    // A converter of a new, empty record.
    explicit EvernoteXMLItem(const QUrl& directoryURL);
    ~EvernoteXMLItem();

    // Makes the converter wait for `turn` of `order` (not owned; must outlive
    // the conversion) before it chooses its file's name, and pass the turn
    // once it has chosen; without it, names are chosen at once.
    void setNamingTurn(EvernoteNamingOrder* order, quint64 turn) {
        namingOrder_ = order;
        namingTurn_ = turn;
    }

    // The run's passphrases and passage counts (shared; may be null): with
    // them, the note's encrypted passages that a passphrase opens are
    // converted like the rest of its text; without, they read "********".
    void setEncryptedPassages(std::shared_ptr<EvernoteEncryptedPassages> passages) {
        encryptedPassages_ = std::move(passages);
    }

    // The run's links between notes (shared; may be null): with them, the
    // note's links to other notes of the run lead to their items; without,
    // they stay as exported.
    void setNoteLinks(std::shared_ptr<EvernoteNoteLinks> links) { noteLinks_ = std::move(links); }

    // The note being converted.
    EvernoteNoteRecord& record() { return record_; }
    const EvernoteNoteRecord& record() const { return record_; }

    QUrl directoryURL;
    QUrl intermediateHTMLDirectoryURL;  // the scratch folder while converting
    PlistDictionary groupDict;

    // The whole conversion of the note: writes its file into the notebook
    // folder (or the group's type folder) and returns the complete item
    // dictionary, or nullopt with the error of the step that failed (for a
    // web clip that could not be archived, the archiving's error).
    std::optional<PlistDictionary> itemDictInGroup(const PlistDictionary& group,
                                                   Error* error = nullptr);
    // Writes the only attachment as the item's file and fills "itemType",
    // "filename" and "absoluteFilename" of `itemDict`.
    bool processSingleResource(PlistDictionary& itemDict, Error* error = nullptr);
    // Stamps hidden extension, dates, tags and every attribute of the note
    // and its attachments (attributes()) on the written file; a refusal is
    // logged with what was not set, not an error: the library import
    // description holds the attributes all the same. `extensionHidden`: the
    // file's writer has hidden its extension already (a new note package).
    void setAttributesOnFile(const QString& path, bool extensionHidden = false) const;
    // The attributes of the note, then those of its attachments in their
    // order, under the names of EvernoteAttributes.
    EvernoteAttributeList attributes() const;
    // "Notes", "Documents", "Images", "Sounds", "Movies", "Bookmarks", "Web Pages"
    // for the item types 1 to 7; nullopt for any other value.
    static std::optional<QString> libraryFolderForType(int type);
    // Whether a note's "source" marks a web clip: "web.clip", followed by the
    // clipper's version digits in newer exports ("web.clip7").
    static bool isWebClipSource(const QString& source);
    // Whether a web clip may be refreshed from `url`: an http or https address
    // with a host. A clip's source URL comes from the ENEX file, outside
    // input, so any other scheme (file: above all, which would pull a local
    // file into the library) is never loaded; the clip is kept as exported.
    static bool isRefreshableWebURL(const QUrl& url);

    // The note as a note package: its text (noteTextForElement) written
    // under the title (made safe and unique) into the target folder. The
    // package's path, or nullopt with the error of the write, or the
    // "HTMLNestingErrorDomain" error of a note nested too deeply to read
    // (HTMLNestingLimits). Runs on the converting thread.
    std::optional<QString> createNoteForElement(XMLNode element, Error* error = nullptr);
    // The note's rich text, read straight from its ENML tree in the note
    // font: attachments by identity, check boxes as checklist boxes wherever
    // they stand, encrypted passages hidden.
    AttributedString noteTextForElement(XMLNode element);
    // The web clip as a web archive, from the live page (`refreshingFromWeb`)
    // or from the stored body with its images. Error 1002 of
    // "EvernoteXMLItemErrorDomain" (no description) when the stored clip holds
    // an attachment that is not an image; error 1003 when refreshing from a
    // source URL that isRefreshableWebURL refuses (nothing is loaded). Blocks
    // the calling thread while the page loads on the main thread: never call
    // it on the main thread.
    std::optional<QString> createWebArchiveForElement(XMLNode element, bool refreshingFromWeb,
                                                      Error* error = nullptr);

    // ---- ENML to XHTML (EvernoteXMLItemXHTML.cpp) ----------------------------
    // Both read the record's resources and title, and `intermediateHTMLDirectoryURL` (the
    // scratch folder; REQUIRES: it exists). They write attachment files into
    // the scratch folder as a side effect; a failed call may leave some behind.
    // Errors: domain "EvernoteXMLItemErrorDomain", code 1001, "Invalid media
    // tag.", "Invalid todo tag." or "Invalid crypt tag."; otherwise the XML
    // parser's, the resource decoding's or the file write's error. There is no
    // partial result. Runs on the converting thread.
    //
    // The media pass: `element` serialized (empty elements as start and end
    // tags), its bare "<en-note>" and "</en-note>" tags removed, and every
    // "en-media" replaced: an image by an "img" element whose "src" names its
    // file written beside the XHTML, any other attachment by its file name
    // between "***PELMORAATTACHMENT  " and "  PELMORAATTACHMENT***" (the file
    // written as well), an attachment that no resource's digest names by the
    // localized "[Missing Attachment]". File names are made safe and unique in
    // the scratch folder, so a hostile attachment name never leaves it.
    std::optional<QString> XHTMLStringFromNoteElement(XMLNode element, Error* error = nullptr);
    // The media pass, then every "en-todo" replaced by the check-box marker
    // (U+2611 U+FE0E U+0020 when EvernoteHTMLImportHook::isTodoChecked, as
    // in a note package, else U+2610 U+0020), every "en-crypt" passage by
    // "********", and the result poured into the "Template.html" resource
    // with the title (HTML-escaped, so it reads back unchanged and can never
    // cut into the body) and the body in place of its two placeholders: a
    // complete UTF-8 HTML document.
    std::optional<QString> noteXHTMLStringFromNoteElement(XMLNode element, Error* error = nullptr);
    // The "Template.html" resource with the note's title and `body` in place
    // of its placeholders; nullopt when the template cannot be read.
    std::optional<QString> pageFromTemplate(const QString& body, Error* error = nullptr) const;
    // ---- end of ENML to XHTML -------------------------------------------------

  private:
    bool isSingleAttachment(XMLNode note) const;
    std::optional<QString> convertWebClip(XMLNode note, PlistDictionary& itemDict, Error* error);
    QString targetFolderForType(int type) const;
    // The title as a safe file name with `extension`, before it is made unique.
    QString targetFileName(const QString& extension) const;
    // A free name in `folder` for `name`, held until the file is made; chosen in turn.
    std::unique_ptr<EvernoteReservedFileName> reserveTargetName(const QString& name,
                                                                const QString& folder);
    // The note's media lookup, made on first use and kept for every reading
    // of the note, each starting over from the first resource.
    EvernoteENMLImportDelegate& mediaDelegate();
    // The rich text HTMLImporter reads from `element`, and where its check
    // boxes stand; then those boxes as checklist items of `text`.
    AttributedString importedText(XMLNode element, QList<qsizetype>* checkBoxes);
    static void restoreCheckBoxes(AttributedString& text, const QList<qsizetype>& checkBoxes);
    // Writes `text` as UTF-8 to "<identifier>.html" in the scratch folder.
    std::optional<QString> writeScratchHTML(const QString& text, Error* error) const;
    EvernoteNoteRecord record_;
    EvernoteNamingOrder* namingOrder_ = nullptr;
    quint64 namingTurn_ = 0;
    std::unique_ptr<XMLDocument> document_;              // the parsed ENML while converting
    std::unique_ptr<EvernoteENMLImportDelegate> media_;  // the note's resources by digest
    std::shared_ptr<EvernoteEncryptedPassages> encryptedPassages_;
    std::shared_ptr<EvernoteNoteLinks> noteLinks_;
};
