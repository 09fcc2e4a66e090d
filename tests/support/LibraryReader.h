// Reads a Pelmora library folder back for tests, the way a user finds it:
// the items its index "Library.sqlite" lists, in the order they were taken,
// each with its file's name, kind, dates and tags (file modification time and
// extended attributes), what the index recorded for it, and what it holds:
// the MD5 of every attachment, the note text and the archived checklist
// items of a note package, the resources of a web archive.
//
// Everything is read at once into plain values, so the library folder may be
// removed afterwards. Main thread (it reads note packages).
#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// One link of a note package's text: the words under it and its address.
struct LibraryLink {
    QString text;
    QUrl url;
};

struct LibraryItem {
    enum class Kind { NotePackage, WebArchive, File };
    Kind kind = Kind::File;
    QString folderName;  // the group's folder inside the library
    QString fileName;
    QString path;
    bool exists = false;  // the index names a file that is there

    // The index's record.
    QString indexName;
    QDateTime indexCreated;  // invalid when the index holds none
    QDateTime indexModified;
    QStringList indexTags;                   // split at commas, empty entries kept
    QMap<QString, QString> indexAttributes;  // the note's attributes: field name → value

    // The file's own metadata.
    QDateTime fileCreated;                // the creation-date attribute; invalid when absent
    QDateTime fileModified;               // the modification time
    std::optional<QStringList> fileTags;  // the tag attribute split at commas, empty entries kept
    QMap<QByteArray, QByteArray> fileExtendedAttributes;  // every "user." attribute

    // Contents. The digests are sorted; for a plain file, its own.
    QStringList attachmentDigests;
    QString text;  // note package: its text with boxes as attachment characters; web archive: main
                   // resource
    QList<bool>
        checklistStates;       // note package: the archived checklist items' states in text order
    QList<LibraryLink> links;  // note package: its links in text order
    QString contentError;      // why the contents could not be read; empty when they could
};

QString kindName(LibraryItem::Kind kind);

// The library at `libraryPath`; nullopt with a message in `error` when its
// index cannot be read.
std::optional<QList<LibraryItem>> readLibrary(const QString& libraryPath, QString* error = nullptr);
