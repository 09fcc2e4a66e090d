// The notes of one import run by title, for the links between them: an ENEX
// file names no note by its GUID, so a link's target is found from its text.
//
// Filled before any note converts (the counting scan of every file of the
// run, or the note list that the note service gives for the notebooks): each
// note's title, and the evidence that ties a GUID to a title (a link's text, a
// rich-link card's title, the note service's own note link). Then sealed, and
// from then on only read, by any number of converting threads at once.
//
// A text names a note when, made into a title key (Unicode NFC, white space
// trimmed and each run of it folded into one space), it equals the key of
// exactly one note of the run; else, when it equals the case-folded key of
// exactly one note. A key that two notes share names none of them, without
// regard to case either: never a guess. Texts and titles longer than
// maximumTitleLength are not taken: no real title is that long, and the index
// holds titles only, bounded by the run's notes.
//
// A GUID is tied to a note when every piece of evidence for it that names a
// note names the same one; evidence that names two notes ties it to neither.
// Once tied, every link to the GUID leads to that note, whatever its text.
//
// Each note whose title key is unique gets its item identifier here, before
// it converts, so that a link to a note later in the run can name it: the
// converter of that note claims it (claimIdentifierForTitle), once.
//
// Threading: add* and seal on one thread, before any lookup; lookups and
// claims on any thread after seal.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <mutex>
#include <optional>

class EvernoteNoteLinkIndex {
  public:
    // Titles and link texts longer than this (UTF-16 code units, as a key) are
    // never matched.
    static constexpr qsizetype maximumTitleLength = 1000;
    // Distinct texts kept as evidence for one GUID; a GUID named by more is
    // tied to no note.
    static constexpr int maximumEvidencePerGUID = 8;

    // `text` as a title key: NFC, trimmed, each run of white space one space.
    static QString titleKey(QStringView text);

    // Why a text or GUID leads to no note.
    enum class Miss {
        None,         // it leads to a note
        EmptyText,    // the link has no text
        TooLong,      // the text is longer than maximumTitleLength
        NoTitle,      // no note of the run has that title
        SharedTitle,  // two or more notes of the run have that title
        Conflicting,  // the evidence for the GUID names different notes
        Untied,       // no evidence ties the GUID to a note
    };
    struct Target {
        QString identifier;  // the note's item identifier; empty on a miss
        Miss miss = Miss::None;
        bool found() const { return miss == Miss::None; }
    };

    // A note titled `title`, with the item identifier it will have, or an
    // empty one for a fresh identifier (the form of makeUUIDString).
    void addTitle(QStringView title, const QString& identifier = QString());
    // Evidence that `guid` (any case) is the note titled `text`.
    void addGUIDEvidence(QStringView guid, QStringView text);
    // Ties `guid` (any case) to the note whose item identifier is
    // `identifier`: the note service's own word, over any evidence.
    void tieGUID(QStringView guid, const QString& identifier);
    // Ties the GUIDs from the evidence; no add* after this.
    void seal();

    qsizetype titleCount() const { return titleCount_; }
    // Whether the notes' contents were read into the index (the counting
    // scan of an ENEX file), so that a run whose notes hold no note link at
    // all is known not to; false (the default) when only titles were seen.
    bool hasScannedContents() const { return scannedContents_; }
    void setScannedContents(bool scanned) { scannedContents_ = scanned; }
    // Whether any note of the run may hold a note link: false only when the
    // contents were scanned and held none (encrypted passages aside).
    bool mayMeetNoteLinks() const { return !scannedContents_ || noteLinksSeen_ > 0; }
    // The note whose title `text` names, by the rule above.
    Target targetForText(QStringView text) const;
    // The note `guid` is tied to, or Untied / Conflicting.
    Target targetForGUID(QStringView guid) const;
    // The identifier given to the note titled `title`, the first time it is
    // asked for; nullopt when the title is not unique in the run (or not
    // indexed), or was claimed before. Any thread.
    std::optional<QString> claimIdentifierForTitle(QStringView title);

  private:
    struct Entry {
        int count = 0;
        QString identifier;
    };
    Target targetForKey(const QString& key) const;

    QHash<QString, Entry> byKey_;
    QHash<QString, Entry> byFoldedKey_;
    QHash<QString, QStringList> evidence_;  // GUID → distinct title keys; emptied by seal
    QHash<QString, Target> ties_;           // GUID → its note, or Conflicting
    qsizetype titleCount_ = 0;
    qsizetype noteLinksSeen_ = 0;
    bool scannedContents_ = false;
    std::mutex claimMutex_;
    QSet<QString> claimed_;  // title keys whose identifier a note took
};
