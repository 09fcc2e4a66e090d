// One attachment of a note: its bytes as read from the ENEX file, its MIME type
// and attributes. The base64 text is decoded as it is read; the bytes are kept
// with their digest, so that matching many media tags stays linear.
//
// A large attachment is never held whole: given a spool folder, the bytes go
// into a hidden file there (".<identifier>.attachment") as soon as they pass
// the memory limit, and the MD5 digest is computed on the way. The file is the
// resource's own: it is removed with the resource.
//
// Threading: a resource is used by one thread at a time (filled by the
// parser's thread, then handed over with its note to a converting worker).
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

#include "enex/EvernoteXMLItemResourceAttributes.h"
#include "platform/foundation/Error.h"
#include "util/Base64.h"

inline const QString kEvernoteXMLResourceErrorDomain =
    QStringLiteral("EvernoteXMLResourceErrorDomain");
enum EvernoteXMLResourceErrorCode : long {
    EvernoteXMLResourceNoContentData = 1001,
    EvernoteXMLResourceInvalidContentData = 1002,
    EvernoteXMLResourceNotEnoughSpace = 1003,
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
    // Attachments up to this size stay in memory by default.
    static constexpr qint64 kDefaultMemoryLimit = 1024 * 1024;

    // The free space kept beneath a spool file: an attachment that would take
    // it fails alone, before the disk is full for every other program.
    static constexpr qint64 kFreeSpaceReserve = 16 * 1024 * 1024;
    // The bytes this user may still write on the file system holding a path;
    // none when unknown.
    using FreeSpaceQuery = std::function<std::optional<qint64>(const QString& path)>;

    // A new resource with a fresh identifier and empty fields, held in memory.
    EvernoteXMLResource();
    // A new resource whose bytes go into a file in `spoolFolder` once they
    // pass `memoryLimit` bytes.
    EvernoteXMLResource(const QString& spoolFolder, qint64 memoryLimit = kDefaultMemoryLimit);
    ~EvernoteXMLResource();
    EvernoteXMLResource(const EvernoteXMLResource&) = delete;
    // Replaces the free-space query of the spool folder (statvfs by default).
    void setFreeSpaceQuery(FreeSpaceQuery query) { freeSpace_ = std::move(query); }
    EvernoteXMLResource& operator=(const EvernoteXMLResource&) = delete;

    QString identifier;  // a fresh upper-case UUID
    QByteArray
        base64Data;  // base64 text given whole (ASCII; may hold line breaks); emptied once decoded
    QString mime;
    double width = 0;
    double height = 0;
    EvernoteXMLItemResourceAttributes attributes;

    // Takes the next piece of the base64 text as the parser reads it; the
    // piece is decoded at once, so the text itself is never kept. A large
    // attachment's bytes go on into its file.
    void appendBase64Text(QStringView text);

    // Ends the decoding (of base64Data, or of the pieces appended). Errors
    // (domain "EvernoteXMLResourceErrorDomain"): 1001 "No content data for
    // resource." when there is no base64 text, 1002 "Invalid content data for
    // resource." when it does not decode; a failed write of the spool file is
    // 1002 as well, with the system's error beneath; 1003 when the bytes would
    // leave less than kFreeSpaceReserve free in the spool folder (nothing of
    // them is left there).
    bool finishDecoding(Error* error = nullptr);
    // False, with the system's error (a full disk, a file too large), when
    // the bytes of a large attachment could not be written to its file: the
    // note cannot be converted without them.
    bool wasStored(Error* error = nullptr) const;
    // The file that holds the bytes of a large attachment (after
    // finishDecoding()); empty while they are held in memory.
    QString contentsPath() const { return spoolPath_; }
    // The decoded bytes held in memory now: for an attachment that goes into
    // a file, never more than the memory limit plus the last piece appended.
    qint64 bytesInMemory() const {
        return decoder_.decodedSize() + (contentData_ ? contentData_->size() : 0);
    }
    // How many bytes the attachment holds once decoded (after finishDecoding();
    // 0 for one that did not decode).
    qint64 decodedSize() const { return contentData_ ? contentData_->size() : spooledBytes_; }
    // The decoded bytes (errors as finishDecoding()). For an attachment held
    // in a file, the file is read: prefer contentsPath() where a file will do.
    std::optional<QByteArray> getContentData(Error* error = nullptr);
    // The MD5 digest of the decoded bytes as 32 lower-case hex digits, the form
    // in which ENML's "hash" attribute names an attachment.
    std::optional<QString> md5Hash(Error* error = nullptr);
    // The item type from the MIME type, else from the file name's extension.
    int itemType() const;
    // Puts the bytes at `path` (not atomically): the spool file is linked
    // there (copied across file systems) and stays the resource's, so the
    // bytes can be written again; bytes in memory are written.
    bool writeToURL(const QString& path, Error* error = nullptr);

  private:
    void spill(const QByteArray& bytes);
    bool hasRoomFor(qint64 bytes);
    Error decodeRest();
    void removeSpoolFile();

    Base64Decoder decoder_;
    QString spoolFolder_;  // empty: always in memory
    qint64 memoryLimit_ = kDefaultMemoryLimit;
    QString spoolPath_;   // the file being written or written; empty when none
    int spoolFile_ = -1;  // open while decoding into the file
    Error spoolError_;    // the first failed open or write of the spool file
    qint64 spooledBytes_ = 0;
    FreeSpaceQuery freeSpace_;                         // none: FileOperations::availableBytes
    QCryptographicHash md5_{QCryptographicHash::Md5};  // of the bytes spilled so far
    bool finished_ = false;  // decoding ends once; a failure stays a failure
    Error decodeError_;
    std::optional<QByteArray> contentData_;  // the bytes, when held in memory
    std::optional<QString> md5Hash_;
};
