// The stand-in's library query (PelmoraLibraryQuery) over its SQLite index
// "Library.sqlite": the `items` table's `fingerprint` and `note_key` columns,
// each with an index of its own, so a look-up costs the same in a library of
// a hundred items and of a hundred thousand.
//
// The index's layout is versioned with PRAGMA user_version
// (kLibraryIndexVersion); a library without an index yet, or one made before
// the columns were added (version 0), holds no fingerprint. Opening checks
// the index as far as it can without a scan: an index that is not SQLite or
// is damaged, one locked by another process, or one from a newer version is
// refused before any note converts.
//
// Errors (domain "PelmoraStandInErrorDomain", shared with the stand-in): 3 the
// index cannot be opened or read (damaged, not a database), 6 it is locked by
// another process, 7 it comes from a newer version. The message names the
// index file and the cause.
//
// The query opens the index read-only and never changes it. Thread-safe (one
// connection, its statements serialised by a mutex).
#pragma once

#include <memory>
#include <mutex>

#include "platform/apps/PelmoraLibraryQuery.h"

struct sqlite3;
struct sqlite3_stmt;

class PelmoraStandInLibraryQuery : public PelmoraLibraryQuery {
  public:
    // The layout of the index this program writes and reads.
    static constexpr int kLibraryIndexVersion = 1;
    static constexpr long kIndexUnreadable = 3;
    static constexpr long kIndexBusy = 6;
    static constexpr long kIndexTooNew = 7;

    // Opens the index of the library at `libraryPath`, or nullptr with the error.
    static std::unique_ptr<PelmoraStandInLibraryQuery> open(const QString& libraryPath,
                                                            Error* error = nullptr);
    ~PelmoraStandInLibraryQuery() override;

    std::optional<Holdings> itemsWithFingerprints(const QStringList& fingerprints,
                                                  Error* error = nullptr) override;
    std::optional<Holdings> itemsWithNoteKeys(const QStringList& noteKeys,
                                              Error* error = nullptr) override;

  private:
    PelmoraStandInLibraryQuery() = default;
    bool prepare(Error* error);
    std::optional<Holdings> lookUp(sqlite3_stmt* statement, const QStringList& values,
                                   Error* error);
    Error failure(long code, const QString& cause) const;

    QString indexPath_;
    sqlite3* db_ = nullptr;
    bool hasColumns_ = false;  // false: the library holds no fingerprint
    sqlite3_stmt* byFingerprint_ = nullptr;
    sqlite3_stmt* byNoteKey_ = nullptr;
    std::mutex mutex_;
};
