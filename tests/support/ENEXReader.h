// An independent reading of ENEX files for tests: libxml2's xmlTextReader
// walks the export and collects each note's facts as a user would read them
// in the file, without any of the importer's parsing code. Simple values are
// the text inside their element; the token values (dates, tags, source,
// source URL, MIME type, file name, task fields) are trimmed.
//
// ENMLOutline reads a note's content (ENML) the same way and keeps what the
// checks need: the media tags, whether the note holds nothing but one
// en-media, and its check boxes and task-group blocks in document order.
//
// Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct ENEXResource {
    QString digest;  // lower-case MD5 hex of the decoded data
    QString mime;
    QString fileName;
    // Every field of its resource-attributes: element name ("application-data.<key>"
    // for application data) and text, trimmed, in file order.
    QList<std::pair<QString, QString>> attributes;
};

// An Evernote 10 task (a <task> element of the note).
struct ENEXTask {
    QString title;
    bool completed = false;  // taskStatus "completed"
    QString sortWeight;
    QString groupID;  // taskGroupNoteLevelID
};

struct ENEXNote {
    QString title;      // as written, not trimmed
    QDateTime created;  // invalid when absent or unreadable
    QDateTime updated;
    QStringList tags;  // trimmed; empty ones left out
    QString source;
    QString sourceURL;
    // Every field of its note-attributes, as ENEXResource::attributes.
    QList<std::pair<QString, QString>> attributes;
    QByteArray content;  // the content element's text (CDATA included), as written
    QList<ENEXResource> resources;
    QList<ENEXTask> tasks;
};

// The notes of the ENEX file at `path` in file order; nullopt with a message
// in `error` when the file is not well-formed XML.
std::optional<QList<ENEXNote>> readENEXNotes(const QString& path, QString* error = nullptr);
// The notes of ENEX text held in memory.
std::optional<QList<ENEXNote>> readENEXNotes(const QByteArray& enex, QString* error = nullptr);

// One element of a note's content that stands for checklist items.
struct ENMLCheckbox {
    enum class Kind { Todo, CheckedListItem, TaskGroup };
    Kind kind = Kind::Todo;
    bool checked = false;  // Todo: checked="true"; CheckedListItem: --en-checked:true
    QString taskGroupID;   // TaskGroup: its --en-id
};

struct ENMLMedia {
    QString hash;
    QString type;  // the type attribute, trimmed
};

struct ENMLOutline {
    // The en-note holds one child that is an en-media, or a div holding one
    // en-media and nothing but br elements beside it (white space ignored).
    bool holdsOnlyOneMedia = false;
    QList<ENMLMedia> media;          // document order
    QList<ENMLCheckbox> checkboxes;  // document order
};

// Reads ENML leniently (white space before the XML declaration, undeclared
// entities and other recoverable faults are tolerated).
ENMLOutline outlineOfENML(const QByteArray& enml);
