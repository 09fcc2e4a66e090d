// The report of an import run, note by note: what each note became and where
// it went, or why it was left out, written as JSON Lines (one object a line,
// in the order of the files and of the notes in each file) for a script or a
// spreadsheet. The fields of a line (README.md, "The report of a run"):
//
//   file, notebook    the ENEX file read and the library folder its notes went to
//   index             the note's place in its file, counted from 1
//   title, created, updated   as the export gives them (dates ISO 8601 UTC, null when absent)
//   outcome           "imported", "duplicate", "skipped", "refused" or "damaged"
//   kind              "note", "web archive", "attachment" or "bookmark" (null: no item)
//   identifier, path  the library item and the file Pelmora filed it as (null when none)
//   attachments       {"count", "bytes"}: the note's attachments, decoded
//   warnings          what the conversion logged about the note for the user
//   error             {"domain", "code", "message"} for a note left out, else null
//
// The run keeps one compact entry per note while it converts (only when a
// report was asked for); the library's paths are known once Pelmora has
// imported, at the run's end, and applyImportResult fills them in.
//
// A note left out as a duplicate of an item the library holds already is an
// entry with Outcome::Duplicate, the holding item's identifier and its path
// set: applyImportResult leaves it as it is.
//
// Error domain "NoteReport": 1 the report's folder is missing or not writable,
// or the path is a folder; 2 the report could not be written (the system's
// error beneath); 3 in a "refused" line: the library did not take the item.
//
// Threading: entries may be added from any thread; the rest once the run has
// ended, on any one thread.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <mutex>

#include "platform/apps/PelmoraImportResult.h"
#include "platform/foundation/Error.h"

inline const QString kNoteReportErrorDomain = QStringLiteral("NoteReport");
enum NoteReportErrorCode : long {
    NoteReportPathNotWritable = 1,
    NoteReportWriteFailed = 2,
    // The error of a "refused" line: the library did not take the note's item.
    NoteReportItemRefused = 3,
};

class NoteReport {
  public:
    enum class Outcome { Imported, Duplicate, Skipped, Refused, Damaged };

    // One note. Compact: texts and numbers only, no item dictionary.
    struct Entry {
        int source = -1;          // addSource's answer for the note's file
        unsigned long index = 0;  // its place in the file, counted from 0
        QString title;
        QDateTime created;  // invalid: the note has none
        QDateTime updated;
        Outcome outcome = Outcome::Imported;
        int itemType = 0;    // the item's "itemType" (EvernoteItemType); 0 without an item
        QString identifier;  // the item's, or for a duplicate the holding item's
        QString path;        // the item's file in the library; empty until known
        qsizetype attachments = 0;
        qint64 attachmentBytes = 0;
        QStringList warnings;
        Error error;  // why the note was left out (skipped, refused, damaged)
    };

    // Registers an ENEX file and the library folder (group) its notes go to;
    // the number its entries name. Any thread.
    int addSource(const QString& filePath, const QString& notebook);
    // Keeps `entry`. Any thread.
    void addEntry(Entry entry);
    // The number of entries kept.
    qsizetype size() const;

    // Fills in the library's answer: each imported entry whose item the
    // library took gets its path, each whose item it refused becomes
    // "refused" with the reason (and where its file stays). Entries with
    // other outcomes are left as they are.
    void applyImportResult(const PelmoraImportResult& result);

    // The entries in document order: by file, then by place in the file.
    QList<Entry> entries() const;
    // One entry as its JSON object.
    QJsonObject jsonObjectForEntry(const Entry& entry) const;
    // The whole report: one compact JSON object a line, each line ending in "\n".
    QByteArray jsonLines() const;
    // Writes jsonLines() to `path` whole or not at all (a temporary file
    // renamed over it). Error 2 when it could not be written.
    bool writeToFile(const QString& path, Error* error = nullptr) const;

    // Whether a report can be written at `path`: its folder exists and may
    // take a new file, and the path is not a folder. Error 1 saying why.
    static bool checkWritablePath(const QString& path, Error* error = nullptr);
    // The texts of the fields "outcome" and "kind".
    static QString outcomeText(Outcome outcome);
    // Empty for a type that names no item (0 or unknown).
    static QString kindText(int itemType);

  private:
    struct Source {
        QString filePath;
        QString notebook;
    };

    mutable std::mutex mutex_;
    QList<Source> sources_;
    QList<Entry> entries_;
};
