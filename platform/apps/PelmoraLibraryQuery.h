// A look into what a Pelmora library already holds, for an import that must
// not add a note twice: which of a set of note fingerprints, and which of a
// set of note keys, its items carry (the "evernoteFingerprint" and
// "evernoteNoteKey" that an earlier import gave them), each with one item
// that carries it. A query is opened once per run, before the first note
// converts (PelmoraApplication::openLibraryQuery), and answers each look-up
// from the library's index, not by reading the library.
//
// Threading: a query may be asked from several threads at once; the answers
// are serialised. Owned by whoever opened it; it closes the index when it
// goes.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/foundation/Error.h"

// One item of the library: its identifier and where its file is.
struct PelmoraLibraryItem {
    QString identifier;
    QString path;
    bool operator==(const PelmoraLibraryItem&) const = default;
};

class PelmoraLibraryQuery {
  public:
    using Holdings = QHash<QString, PelmoraLibraryItem>;  // fingerprint or key → item

    virtual ~PelmoraLibraryQuery() = default;
    // Of `fingerprints`, those an item of the library carries, each with the
    // earliest such item; nullopt with the index's error when it cannot be read.
    virtual std::optional<Holdings> itemsWithFingerprints(const QStringList& fingerprints,
                                                          Error* error = nullptr) = 0;
    // The same for note keys.
    virtual std::optional<Holdings> itemsWithNoteKeys(const QStringList& noteKeys,
                                                      Error* error = nullptr) = 0;
};
