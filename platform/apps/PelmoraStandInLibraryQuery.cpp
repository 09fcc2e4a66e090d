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

std::unique_ptr<PelmoraStandInLibraryQuery> PelmoraStandInLibraryQuery::open(
    const QString& libraryPath, Error* error) {
    std::unique_ptr<PelmoraStandInLibraryQuery> query(new PelmoraStandInLibraryQuery);
    query->indexPath_ = libraryPath + QStringLiteral("/Library.sqlite");
    // A library that has never been imported into holds nothing yet.
    if (!QFileInfo::exists(query->indexPath_)) return query;
    if (!query->prepare(error)) return nullptr;
    return query;
}

bool PelmoraStandInLibraryQuery::prepare(Error* error) {
    // Read-write without creating: only so that the lock check below can ask
    // for the write lock the import will need; nothing is ever written.
    int rc = sqlite3_open_v2(QFile::encodeName(indexPath_).constData(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
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
    rc = sqlite3_prepare_v2(
        db_, "SELECT identifier, path FROM items WHERE fingerprint = ? ORDER BY rowid LIMIT 1", -1,
        &byFingerprint_, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    rc = sqlite3_prepare_v2(
        db_, "SELECT identifier, path FROM items WHERE note_key = ? ORDER BY rowid LIMIT 1", -1,
        &byNoteKey_, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    return true;
}

PelmoraStandInLibraryQuery::~PelmoraStandInLibraryQuery() {
    sqlite3_finalize(byFingerprint_);
    sqlite3_finalize(byNoteKey_);
    if (db_) sqlite3_close(db_);
}

std::optional<PelmoraLibraryQuery::Holdings> PelmoraStandInLibraryQuery::itemsWithFingerprints(
    const QStringList& fingerprints, Error* error) {
    return lookUp(byFingerprint_, fingerprints, error);
}

std::optional<PelmoraLibraryQuery::Holdings> PelmoraStandInLibraryQuery::itemsWithNoteKeys(
    const QStringList& noteKeys, Error* error) {
    return lookUp(byNoteKey_, noteKeys, error);
}

std::optional<PelmoraLibraryQuery::Holdings> PelmoraStandInLibraryQuery::lookUp(
    sqlite3_stmt* statement, const QStringList& values, Error* error) {
    Holdings holdings;
    if (!hasColumns_) return holdings;
    std::lock_guard lock(mutex_);
    for (const QString& value : values) {
        if (value.isEmpty()) continue;
        const QByteArray text = value.toUtf8();
        sqlite3_reset(statement);
        sqlite3_bind_text(statement, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            auto column = [&](int i) {
                return QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, i)),
                    sqlite3_column_bytes(statement, i));
            };
            holdings.insert(value, {column(0), column(1)});
        } else if (rc != SQLITE_DONE) {
            const Error e = failure(isBusy(rc) ? kIndexBusy : kIndexUnreadable,
                                    QString::fromUtf8(sqlite3_errmsg(db_)));
            sqlite3_reset(statement);
            e.report(error);
            return std::nullopt;
        }
    }
    sqlite3_reset(statement);
    return holdings;
}
