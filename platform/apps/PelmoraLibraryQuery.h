// A look into what a Pelmora library already holds, for an import that must
// not add a note twice: which items carry a note's fingerprint, or its note
// key (the "evernoteFingerprint" and "evernoteNoteKey" that an earlier import
// gave them). A query is opened once per run, before the first note converts
// (PelmoraApplication::openLibraryQuery), and answers each look-up from the
// library's index, not by reading the library.
//
// A fingerprint covers everything its note key covers, so an item that
// carries a note's fingerprint carries its note key too: one look-up by the
// key answers both.
//
// Threading: a query may be asked from several threads at once; the answers
// are serialised. Owned by whoever opened it; it closes the index when it
// goes.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

#include "platform/foundation/Error.h"

// One item of the library: its identifier and where its file is.
struct PelmoraLibraryItem {
    QString identifier;
    QString path;
    bool operator==(const PelmoraLibraryItem&) const = default;
};

// What an import knows of one note.
struct PelmoraLibraryNote {
    QString fingerprint;
    QString noteKey;
};

// The item that holds a note: one with its fingerprint, else one with its
// note key only (the same note, changed since).
struct PelmoraLibraryHolding {
    PelmoraLibraryItem item;
    bool sameFingerprint = false;
    bool operator==(const PelmoraLibraryHolding&) const = default;
};

class PelmoraLibraryQuery {
  public:
    using Holdings = QHash<QString, PelmoraLibraryHolding>;  // fingerprint → holding

    virtual ~PelmoraLibraryQuery() = default;
    // Of `notes`, those the library holds, by fingerprint: each with the
    // earliest item that carries its fingerprint, else the earliest that
    // carries its note key. nullopt with the index's error when it cannot be
    // read.
    virtual std::optional<Holdings> holdingsOf(const QList<PelmoraLibraryNote>& notes,
                                               Error* error = nullptr) = 0;
};
