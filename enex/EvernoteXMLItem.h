// One note in memory, as the ENEX parser fills it, and its conversion into
// files and an item dictionary for the library import description.
//
// A note that holds nothing but one attachment becomes that attachment's file;
// a web clip becomes a web archive (falling back to a note package); every
// other note becomes a note package.
//
// Threading: an item is created, filled and converted on the parser's thread
// only, never on the main thread (a web clip refresh blocks it while the page
// loads on the main thread).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <optional>
#include <vector>

#include "enex/EvernoteXMLItemNoteAttributes.h"
#include "enex/EvernoteXMLResource.h"
#include "platform/plist/PlistValue.h"
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
}  // namespace ItemKeys

class EvernoteXMLItem {
public:
    // A new, empty note whose files go into `directoryURL` (the notebook folder).
    explicit EvernoteXMLItem(const QUrl& directoryURL);
    ~EvernoteXMLItem();

    QString identifier;  // a fresh upper-case UUID
    QString title;
    QByteArray contentData;  // the ENML, UTF-8, as read
    QDateTime created;
    QDateTime updated;
    QStringList tags;
    std::vector<std::unique_ptr<EvernoteXMLResource>> resources;
    EvernoteXMLItemNoteAttributes noteAttributes;
    QUrl directoryURL;
    QUrl intermediateHTMLDirectoryURL;  // the scratch folder while converting
    PlistDictionary groupDict;

    // The whole conversion of the note: writes its file into the notebook
    // folder (or the group's type folder) and returns the complete item
    // dictionary, or nullopt with the error of the step that failed (none for
    // a web clip that could not be made).
    std::optional<PlistDictionary> itemDictInGroup(const PlistDictionary& group, Error* error = nullptr);
    // Writes the only attachment as the item's file and fills "itemType",
    // "filename" and "absoluteFilename" of `itemDict`.
    bool processSingleResource(PlistDictionary& itemDict, Error* error = nullptr);
    // Stamps hidden extension, dates and tags on the written file; a refusal is
    // logged, not an error.
    void setAttributesOnFile(const QString& path) const;
    // "Notes", "Documents", "Images", "Sounds", "Movies", "Bookmarks", "Web Pages"
    // for the item types 1 to 7; nullopt for any other value.
    static std::optional<QString> libraryFolderForType(int type);

    // The note package and web archive of the note element; the written file's
    // path, or nullopt with an error.
    std::optional<QString> createNoteForElement(XMLNode element, Error* error = nullptr);
    std::optional<QString> createWebArchiveForElement(XMLNode element, bool refreshingFromWeb,
                                                      Error* error = nullptr);

private:
    bool isSingleAttachment(XMLNode note) const;
    std::optional<QString> convertWebClip(XMLNode note, PlistDictionary& itemDict, Error* error);
    QString targetFolderForType(int type) const;
    std::unique_ptr<XMLDocument> document_;  // the parsed ENML while converting
};
