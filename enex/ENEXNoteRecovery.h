// Reads the rest of a damaged ENEX file note by note, once the parser has
// stopped in it: the file is cut into note stretches (ENEXNoteSplitter), each
// stretch is read as it is, and one that does not parse is repaired
// (ENEXDamageRepair) and read again. A note that still does not parse is
// lost: the log says where it starts, its title when the scan could read it
// and the parser's message, and its raw XML is written once into the keep
// folder (beside the import log) for the user to look at; the log line names
// that file. A file cut short inside a note is said so in the log.
//
// Memory is bounded by the stretch limit: a stretch that runs on longer
// without the start of another note is not read, and only its first bytes
// are kept.
//
// Runs on the thread that calls readNotesFrom (the parser's); the reader and
// the log writer are called on it.
#pragma once

#include <QString>
#include <functional>

#include "enex/ENEXNoteSplitter.h"
#include "platform/foundation/Error.h"

class ENEXNoteRecovery {
  public:
    // Reads one note's XML (a stretch, as found or repaired) and hands its
    // note on; false with the parser's error when it does not parse.
    using NoteReader = std::function<bool(const QByteArray& noteXML, bool repaired, Error* error)>;
    using LogWriter = std::function<void(const QString& line)>;
    // Told of each note as it is reached: its place in the file, counted from 0.
    using StretchObserver = std::function<void(unsigned long index)>;
    // Told of each lost note: its place, its title (empty when the scan could
    // not read one) and why it was lost, with where its XML is kept.
    using LostNoteObserver =
        std::function<void(unsigned long index, const QString& title, const QString& reason)>;

    // The recovery of the file at `filePath`; lost notes' XML goes into
    // `keepFolder` (made when needed; empty: not kept, and the log says so).
    ENEXNoteRecovery(QString filePath, QString keepFolder, NoteReader reader, LogWriter log);

    void setStretchLimit(qsizetype bytes) { stretchLimit_ = bytes; }
    void setStretchObserver(StretchObserver observer) { stretchObserver_ = std::move(observer); }
    void setLostNoteObserver(LostNoteObserver observer) { lostObserver_ = std::move(observer); }

    // Reads the notes from the one at `firstNote` (counted from 0 in the
    // file) on; those before were read already. Stops between two notes when
    // `isCancelled` says so.
    void readNotesFrom(unsigned long firstNote, const std::function<bool()>& isCancelled);

    // The notes met from firstNote on, and how many of them were lost.
    unsigned long found() const { return found_; }
    unsigned long lost() const { return lost_; }
    bool endsInsideNote() const { return endsInsideNote_; }
    // Why the file could not be read, or a null Error.
    Error fileError() const { return fileError_; }

  private:
    void readStretch(ENEXNoteStretch& stretch, unsigned long index);
    void loseStretch(const ENEXNoteStretch& stretch, unsigned long index, const QString& reason);
    // Writes the stretch's bytes into the keep folder; the file's path, or
    // empty with the reason in `problem`.
    QString keepStretch(const ENEXNoteStretch& stretch, unsigned long index,
                        QString* problem) const;
    QString noteName(const ENEXNoteStretch& stretch) const;

    QString filePath_;
    QString keepFolder_;
    NoteReader reader_;
    LogWriter log_;
    StretchObserver stretchObserver_;
    LostNoteObserver lostObserver_;
    qsizetype stretchLimit_ = ENEXNoteSplitter::kDefaultStretchLimit;
    unsigned long found_ = 0;
    unsigned long lost_ = 0;
    bool endsInsideNote_ = false;
    Error fileError_;
};
