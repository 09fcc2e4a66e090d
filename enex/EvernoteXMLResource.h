// One attachment of a note: its base64 text as read from the ENEX file, its
// MIME type and attributes. The bytes are decoded at most once and kept, with
// their digest, so that matching many media tags stays linear.
//
// Threading: a resource is touched by the parser's thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "enex/EvernoteXMLItemResourceAttributes.h"
#include "platform/foundation/Error.h"
#include "util/Base64.h"

inline const QString kEvernoteXMLResourceErrorDomain = QStringLiteral("EvernoteXMLResourceErrorDomain");
enum EvernoteXMLResourceErrorCode : long {
    EvernoteXMLResourceNoContentData = 1001,
    EvernoteXMLResourceInvalidContentData = 1002,
};

// Item types, stored under "itemType" in an item dictionary.
enum EvernoteItemType : int {
    EvernoteItemTypeNote = 1,
    EvernoteItemTypeDocument = 2,
    EvernoteItemTypeImage = 3,
    EvernoteItemTypeSound = 4,
    EvernoteItemTypeMovie = 5,
    EvernoteItemTypeBookmark = 6,
    EvernoteItemTypeWebPage = 7,
};

class EvernoteXMLResource {
public:
    // A new resource with a fresh identifier and empty fields.
    EvernoteXMLResource();

    QString identifier;      // a fresh upper-case UUID
    QByteArray base64Data;   // base64 text given whole (ASCII; may hold line breaks); emptied once decoded
    QString mime;
    double width = 0;
    double height = 0;
    EvernoteXMLItemResourceAttributes attributes;

    // Takes the next piece of the base64 text as the parser reads it; the
    // piece is decoded at once, so the text itself is never kept.
    void appendBase64Text(QStringView text) { decoder_.append(text); }

    // The decoded bytes (of base64Data, or of the pieces appended). Errors (domain "EvernoteXMLResourceErrorDomain"):
    // 1001 "No content data for resource." when there is no base64 text,
    // 1002 "Invalid content data for resource." when it does not decode.
    std::optional<QByteArray> getContentData(Error* error = nullptr);
    // The MD5 digest of the decoded bytes as 32 lower-case hex digits, the form
    // in which ENML's "hash" attribute names an attachment.
    std::optional<QString> md5Hash(Error* error = nullptr);
    // The item type from the MIME type, else from the file name's extension.
    int itemType() const;
    // Writes the decoded bytes to `path` (not atomically).
    bool writeToURL(const QString& path, Error* error = nullptr);

private:
    Base64Decoder decoder_;
    std::optional<QByteArray> contentData_;
    bool decodeFailed_ = false;  // decoding is tried once; a failure stays a failure
    std::optional<QString> md5Hash_;
};
