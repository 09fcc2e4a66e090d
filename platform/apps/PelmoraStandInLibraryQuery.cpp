#include "platform/apps/PelmoraStandInLibraryQuery.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

namespace {

const QString kErrorDomain = QStringLiteral("PelmoraStandInErrorDomain");

// How long the check waits for a lock that another process holds only for a
// moment (a reader, the end of a write) before it calls the index locked.
constexpr int kBusyTimeoutMilliseconds = 2000;

bool isBusy(int code) { return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED; }

}  // namespace

Error PelmoraStandInLibraryQuery::failure(long code, const QString& cause) const {
    QString text;
    if (code == kIndexBusy)
        text = QStringLiteral(
            "The library index %1 is in use by another program (%2); close it "
            "and import again.");
    else if (code == kIndexTooNew)
        text = QStringLiteral(
            "The library index %1 was written by a newer version (%2); this "
            "version cannot import into it.");
    else
        text = QStringLiteral("Cannot read the library index %1: %2");
    return Error(kErrorDomain, code, text.arg(indexPath_, cause));
}

qint64 PelmoraStandInLibraryQuery::noteKeyHead(QByteArrayView noteKey) {
    quint64 hash = 0xcbf29ce484222325ULL;
    for (const char c : noteKey) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return static_cast<qint64>(hash);
}

std::unique_ptr<PelmoraStandInLibraryQuery> PelmoraStandInLibraryQuery::open(
    const QString& libraryPath, Error* error) {
    std::unique_ptr<PelmoraStandInLibraryQuery> query(new PelmoraStandInLibraryQuery);
    query->indexPath_ = libraryPath + QStringLiteral("/Library.sqlite");
    // A library that has never been imported into holds nothing yet.
    if (!QFileInfo::exists(query->indexPath_)) return query;
    if (!query->prepare(error)) return nullptr;
    if (query->hasColumns_)
        query->readEnder_ = std::thread([q = query.get()] { q->endReadsWhenDue(); });
    return query;
}

bool PelmoraStandInLibraryQuery::prepare(Error* error) {
    // Read-write without creating: only so that the lock check below can ask
    // for the write lock the import will need; nothing is ever written.
    int rc = sqlite3_open_v2(QFile::encodeName(indexPath_).constData(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    auto fail = [&](int code) {
        const QString cause = QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code));
        failure(isBusy(code) ? kIndexBusy : kIndexUnreadable, cause).report(error);
        return false;
    };
    if (rc != SQLITE_OK) return fail(rc);
    sqlite3_busy_timeout(db_, kBusyTimeoutMilliseconds);
    // Each look-up takes an index at a random place: with SQLite's small
    // default cache a large library's pages were read again for every note.
    sqlite3_exec(db_, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
    sqlite3_stmt* version = nullptr;
    rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &version, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    rc = sqlite3_step(version);
    const int found = rc == SQLITE_ROW ? sqlite3_column_int(version, 0) : 0;
    sqlite3_finalize(version);
    if (rc != SQLITE_ROW) return fail(rc);
    if (found > kLibraryIndexVersion) {
        failure(kIndexTooNew, QStringLiteral("version %1, this one reads up to %2")
                                  .arg(found)
                                  .arg(kLibraryIndexVersion))
            .report(error);
        return false;
    }
    // Another process writing the index now would make the import fail at the end.
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    rc = sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    hasColumns_ = found >= 1;
    if (!hasColumns_) return true;
    // The items of a note key in the order they came (the index keeps equal
    // heads or keys in rowid order: no sorting). Layouts before 3 index the
    // key itself, and have no head.
    const char* byNoteKey = found >= 3 ? "SELECT identifier, path, fingerprint IS ?3 FROM items "
                                         "WHERE note_key_head = ?1 AND note_key = ?2 ORDER BY rowid"
                                       : "SELECT identifier, path, fingerprint IS ?3 FROM items "
                                         "WHERE note_key = ?2 ORDER BY rowid";
    rc = sqlite3_prepare_v2(db_, byNoteKey, -1, &byNoteKey_, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    return true;
}

PelmoraStandInLibraryQuery::~PelmoraStandInLibraryQuery() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    readingBegan_.notify_all();
    if (readEnder_.joinable()) readEnder_.join();
    if (reading_) endReading();
    sqlite3_finalize(byNoteKey_);
    if (db_) sqlite3_close(db_);
}

Error PelmoraStandInLibraryQuery::failureOfStep(int code) const {
    return failure(isBusy(code) ? kIndexBusy : kIndexUnreadable,
                   QString::fromUtf8(sqlite3_errmsg(db_)));
}

bool PelmoraStandInLibraryQuery::beginReading(Error* error) {
    // Deferred: the first look-up takes the read lock, waiting out a writer.
    const int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return failureOfStep(rc).report(error), false;
    reading_ = true;
    readingSince_ = std::chrono::steady_clock::now();
    readingBegan_.notify_all();
    return true;
}

void PelmoraStandInLibraryQuery::endReading() {
    sqlite3_reset(byNoteKey_);
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    reading_ = false;
}

void PelmoraStandInLibraryQuery::endReadsWhenDue() {
    std::unique_lock lock(mutex_);
    for (;;) {
        readingBegan_.wait(lock, [&] { return reading_ || closing_; });
        const auto due = readingSince_ + kReadSpan;
        if (readingBegan_.wait_until(lock, due, [&] { return closing_; })) return;
        if (reading_ && std::chrono::steady_clock::now() >= due) endReading();
    }
}

std::optional<PelmoraLibraryQuery::Holdings> PelmoraStandInLibraryQuery::holdingsOf(
    const QList<PelmoraLibraryNote>& notes, Error* error) {
    Holdings holdings;
    if (!hasColumns_) return holdings;
    std::lock_guard lock(mutex_);
    if (!reading_ && !beginReading(error)) return std::nullopt;
    for (const PelmoraLibraryNote& note : notes) {
        if (note.noteKey.isEmpty()) continue;
        const QByteArray key = note.noteKey.toUtf8();
        const QByteArray fingerprint = note.fingerprint.toUtf8();
        sqlite3_reset(byNoteKey_);
        sqlite3_bind_int64(byNoteKey_, 1, noteKeyHead(key));
        sqlite3_bind_text(byNoteKey_, 2, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(byNoteKey_, 3, fingerprint.constData(), int(fingerprint.size()),
                          SQLITE_TRANSIENT);
        // The first item with the fingerprint, else the first with the key.
        int rc;
        while ((rc = sqlite3_step(byNoteKey_)) == SQLITE_ROW) {
            const bool sameFingerprint = sqlite3_column_int(byNoteKey_, 2) != 0;
            if (!sameFingerprint && holdings.contains(note.fingerprint)) continue;
            auto text = [&](int i) {
                return QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(byNoteKey_, i)),
                    sqlite3_column_bytes(byNoteKey_, i));
            };
            holdings.insert(note.fingerprint, {{text(0), text(1)}, sameFingerprint});
            if (sameFingerprint) break;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            // The next look-up begins a fresh transaction.
            const Error e = failureOfStep(rc);
            endReading();
            e.report(error);
            return std::nullopt;
        }
    }
    sqlite3_reset(byNoteKey_);
    return holdings;
}
