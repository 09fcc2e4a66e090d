// What makes a note the same note in a later import: two SHA-256 digests (64
// lower-case hex digits) taken from its record (EvernoteNoteRecord).
//
//  - The fingerprint covers the title, the creation date and the content,
//    attachments included (each by the MD5 digest of its decoded bytes, in
//    the note's order): a note imported again with the same fingerprint is a
//    duplicate of the item that holds it.
//  - The note key covers the title and the creation date alone: a note whose
//    key matches an item but whose fingerprint does not is the same note,
//    changed since.
//
// Normalisation, so that the export's layout never changes a digest: the
// title is trimmed and each run of white space in it is one space; in the
// content, white space that stands alone between two tags (indentation, line
// breaks between elements) is dropped, every other run of white space is one
// space, and the content is trimmed. The creation date is taken in UTC to the
// second ("" when the note has none). Fields are length-prefixed, so no two
// different notes can run together into one text.
//
// Stateless, any thread. Reading the digests of attachments held in a file
// uses the digest kept while they were decoded: no file is read again.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

#include "platform/apps/PelmoraLibraryQuery.h"

struct EvernoteNoteRecord;

// What the library already holds of one note: the item that holds it as it
// is (the note is a duplicate), or an item of the same note before it changed.
struct EvernoteLibraryMatch {
    std::optional<PelmoraLibraryItem> duplicateOf;
    std::optional<PelmoraLibraryItem> earlierVersion;
};

struct EvernoteNoteFingerprint {
    QString fingerprint;
    QString noteKey;

    // The digests of `record`; its attachments must be decoded already.
    static EvernoteNoteFingerprint ofRecord(EvernoteNoteRecord& record);
    // The digests of a note known by its fields alone: `contentDigests` stands
    // for its content and attachments (any text that is equal exactly when
    // they are).
    static EvernoteNoteFingerprint ofFields(const QString& title, const QDateTime& created,
                                            const QByteArray& contentDigests);
    // The content as the fingerprint reads it (see above).
    static QByteArray normalizedContent(const QByteArray& content);
    // The title as both digests read it.
    static QString normalizedTitle(const QString& title);
};
