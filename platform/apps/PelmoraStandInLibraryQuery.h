// The stand-in's library query (PelmoraLibraryQuery) over its SQLite index
// "Library.sqlite": the `items` table's `fingerprint` and `note_key` columns.
// One look-up finds both (see PelmoraLibraryQuery), through an index of the
// note key's head (`note_key_head`, noteKeyHead()) rather than of the key:
// an eight-byte integer instead of 64 characters makes the index a fifth of
// the size, so a library of a hundred thousand items keeps it in a few
// hundred pages, and a look-up or an import touches fewer of them. Two keys
// with one head are told apart by the key itself, in the row.
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
// The query never changes the index. Look-ups share read transactions: one
// begun for each look-up cost eight system calls of file locking, several
// times the look-up itself. A read transaction ends kReadSpan after it
// began, whether look-ups go on or not (a thread of the query ends it), so a
// writer in another process, such as a second import into the same library,
// waits no longer than that for the index.
//
// Thread-safe: one connection, used under a mutex.
#pragma once

#include <QByteArrayView>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/apps/PelmoraLibraryQuery.h"

struct sqlite3;
struct sqlite3_stmt;

class PelmoraStandInLibraryQuery : public PelmoraLibraryQuery {
  public:
    // The layout of the index this program writes and reads.
    // 1 added the fingerprint and note-key columns, each indexed; 2 dropped
    // the fingerprint's index; 3 indexes the note key's head instead of the
    // key. The query reads layouts 1 and 2 too, until an import upgrades them.
    static constexpr int kLibraryIndexVersion = 3;
    static constexpr long kIndexUnreadable = 3;
    static constexpr long kIndexBusy = 6;
    static constexpr long kIndexTooNew = 7;
    static constexpr std::chrono::milliseconds kReadSpan{20};

    // Opens the index of the library at `libraryPath`, or nullptr with the error.
    static std::unique_ptr<PelmoraStandInLibraryQuery> open(const QString& libraryPath,
                                                            Error* error = nullptr);
    ~PelmoraStandInLibraryQuery() override;

    std::optional<Holdings> holdingsOf(const QList<PelmoraLibraryNote>& notes,
                                       Error* error = nullptr) override;

    // The `note_key_head` of a note key given as UTF-8: its 64-bit FNV-1a
    // hash. Stored in the index, so it never changes.
    static qint64 noteKeyHead(QByteArrayView noteKey);

  private:
    PelmoraStandInLibraryQuery() = default;
    bool prepare(Error* error);
    Error failure(long code, const QString& cause) const;
    Error failureOfStep(int code) const;
    // Under mutex_.
    bool beginReading(Error* error);
    void endReading();
    // The thread that ends each read transaction.
    void endReadsWhenDue();

    QString indexPath_;
    sqlite3* db_ = nullptr;
    bool hasColumns_ = false;  // false: the library holds no fingerprint
    sqlite3_stmt* byNoteKey_ = nullptr;
    std::mutex mutex_;
    std::condition_variable readingBegan_;
    bool reading_ = false;
    bool closing_ = false;
    std::chrono::steady_clock::time_point readingSince_;
    std::thread readEnder_;
};
