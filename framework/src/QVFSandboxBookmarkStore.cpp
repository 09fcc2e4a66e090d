#include "QVFSandboxBookmarkStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>

#include "Quorvel/QVFSandboxPersistedBookmark.h"
#include "platform/foundation/Format.h"

namespace {

// The steps that bring a store from version N - 1 to N, at index N - 1. A
// later schema appends a step; stores written earlier are migrated through
// every step after their own version.
const char* const kMigrationSteps[] = {
    "CREATE TABLE Bookmark ("
    " id INTEGER PRIMARY KEY,"
    " data BLOB NOT NULL,"
    " isDirectory INTEGER NOT NULL DEFAULT 0,"
    " isReadOnly INTEGER NOT NULL DEFAULT 0,"
    " urlString TEXT,"
    " isUnresolvable INTEGER NOT NULL DEFAULT 0)",
};
static_assert(std::size(kMigrationSteps) == QVFSandboxBookmarkStore::kSchemaVersion);

Error storeError(long code, const QString& what, const QSqlError& sqlError) {
    return Error(QVFSandboxBookmarkStore::errorDomain(), code,
                 stringWithFormat(QStringLiteral("%@: %@"), {what, sqlError.text()}));
}

}  // namespace

QString QVFSandboxBookmarkStore::errorDomain() {
    return QStringLiteral("QVFSandboxBookmarkStoreErrorDomain");
}

QVFSandboxBookmarkStore::QVFSandboxBookmarkStore(QVFDocumentPortal* portal)
    : portal_(portal),
      connectionName_(QStringLiteral("QVFSandboxBookmarkStore-") +
                      QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

QVFSandboxBookmarkStore::~QVFSandboxBookmarkStore() {
    if (QSqlDatabase::contains(connectionName_)) {
        QSqlDatabase::database(connectionName_, false).close();
        QSqlDatabase::removeDatabase(connectionName_);
    }
}

bool QVFSandboxBookmarkStore::open(const QString& path, Error* error) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    database.setDatabaseName(path);
    if (!database.open()) {
        storeError(CannotOpen, QStringLiteral("Cannot open the store"), database.lastError())
            .report(error);
        return false;
    }
    if (!migrate(error)) {
        database.close();
        return false;
    }
    isOpen_ = true;
    return true;
}

bool QVFSandboxBookmarkStore::migrate(Error* error) {
    QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
    QSqlQuery query(database);
    // Reading the version is the first read of the file: a file that is not
    // an SQLite database fails here.
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        storeError(CannotOpen, QStringLiteral("Cannot read the store"), query.lastError())
            .report(error);
        return false;
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version > kSchemaVersion) {
        Error(
            errorDomain(), NewerSchema,
            stringWithFormat(
                QStringLiteral("The store has schema version %ld; this framework knows up to %ld"),
                {version, kSchemaVersion}))
            .report(error);
        return false;
    }
    if (version < kSchemaVersion) {
        if (!database.transaction()) {
            storeError(CannotOpen, QStringLiteral("Cannot migrate the store"), database.lastError())
                .report(error);
            return false;
        }
        for (int step = version; step < kSchemaVersion; ++step) {
            if (!query.exec(QString::fromLatin1(kMigrationSteps[step]))) {
                storeError(CannotOpen, QStringLiteral("Cannot migrate the store"),
                           query.lastError())
                    .report(error);
                database.rollback();
                return false;
            }
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)) ||
            !database.commit()) {
            storeError(CannotOpen, QStringLiteral("Cannot migrate the store"), query.lastError())
                .report(error);
            database.rollback();
            return false;
        }
    }
    // The table must be there and readable, whatever the version said.
    if (!query.exec(QStringLiteral("SELECT count(*) FROM Bookmark"))) {
        storeError(CannotOpen, QStringLiteral("Cannot read the store"), query.lastError())
            .report(error);
        return false;
    }
    return true;
}

bool QVFSandboxBookmarkStore::loadRows(Error* error) {
    QSqlQuery query(QSqlDatabase::database(connectionName_, false));
    if (!query.exec(QStringLiteral("SELECT id, data, isDirectory, isReadOnly, urlString, "
                                   "isUnresolvable FROM Bookmark ORDER BY id"))) {
        storeError(StatementFailed, QStringLiteral("Cannot read the bookmarks"), query.lastError())
            .report(error);
        return false;
    }
    std::vector<std::unique_ptr<QVFSandboxPersistedBookmark>> rows;
    while (query.next()) {
        rows.emplace_back(new QVFSandboxPersistedBookmark(
            portal_, query.value(0).toLongLong(), query.value(1).toByteArray(),
            query.value(2).toBool(), query.value(3).toBool(), query.value(4).toString(),
            query.value(5).toBool()));
    }
    if (query.lastError().isValid()) {
        storeError(StatementFailed, QStringLiteral("Cannot read the bookmarks"), query.lastError())
            .report(error);
        return false;
    }
    // Records inserted before the first fetch come after the stored ones.
    for (auto& inserted : records_) rows.push_back(std::move(inserted));
    records_ = std::move(rows);
    loaded_ = true;
    return true;
}

std::optional<QList<QVFSandboxPersistedBookmark*>> QVFSandboxBookmarkStore::fetchBookmarks(
    Error* error) {
    if (!isOpen_) {
        Error(errorDomain(), NoStore, QStringLiteral("The bookmark store is not open"))
            .report(error);
        return std::nullopt;
    }
    if (!loaded_ && !loadRows(error)) return std::nullopt;
    QList<QVFSandboxPersistedBookmark*> result;
    for (const auto& record : records_) result.append(record.get());
    return result;
}

QVFSandboxPersistedBookmark* QVFSandboxBookmarkStore::insertBookmark(const QByteArray& data,
                                                                     bool isDirectory,
                                                                     bool isReadOnly,
                                                                     const QString& urlString) {
    records_.emplace_back(new QVFSandboxPersistedBookmark(portal_, -1, data, isDirectory,
                                                          isReadOnly, urlString, false));
    return records_.back().get();
}

void QVFSandboxBookmarkStore::deleteBookmark(QVFSandboxPersistedBookmark* bookmark) {
    const auto it = std::find_if(records_.begin(), records_.end(),
                                 [&](const auto& record) { return record.get() == bookmark; });
    if (it == records_.end()) return;
    deleted_.push_back(std::move(*it));
    records_.erase(it);
}

bool QVFSandboxBookmarkStore::save(Error* error) {
    if (!isOpen_) {
        Error(errorDomain(), NoStore, QStringLiteral("The bookmark store is not open"))
            .report(error);
        return false;
    }
    QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
    if (!database.transaction()) {
        storeError(StatementFailed, QStringLiteral("Cannot save the bookmarks"),
                   database.lastError())
            .report(error);
        return false;
    }
    QSqlQuery query(database);
    std::vector<QVFSandboxPersistedBookmark*> numbered;  // rows given ids in this attempt
    const auto fail = [&](const QSqlError& sqlError) {
        database.rollback();
        for (auto* record : numbered) record->rowID_ = -1;
        storeError(StatementFailed, QStringLiteral("Cannot save the bookmarks"), sqlError)
            .report(error);
        return false;
    };

    for (const auto& record : deleted_) {
        if (record->rowID_ < 0) continue;
        query.prepare(QStringLiteral("DELETE FROM Bookmark WHERE id = ?"));
        query.addBindValue(record->rowID_);
        if (!query.exec()) return fail(query.lastError());
    }
    for (const auto& record : records_) {
        if (record->rowID_ >= 0 && !record->changed_) continue;
        query.prepare(
            record->rowID_ < 0
                ? QStringLiteral("INSERT INTO Bookmark (data, isDirectory, isReadOnly, "
                                 "urlString, isUnresolvable) VALUES (?, ?, ?, ?, ?)")
                : QStringLiteral("UPDATE Bookmark SET data = ?, isDirectory = ?, "
                                 "isReadOnly = ?, urlString = ?, isUnresolvable = ? WHERE id = ?"));
        query.addBindValue(record->data_);
        query.addBindValue(record->isDirectory_);
        query.addBindValue(record->isReadOnly_);
        query.addBindValue(record->urlString_);
        query.addBindValue(record->isUnresolvable_);
        if (record->rowID_ >= 0) query.addBindValue(record->rowID_);
        if (!query.exec()) return fail(query.lastError());
        if (record->rowID_ < 0) {
            record->rowID_ = query.lastInsertId().toLongLong();
            numbered.push_back(record.get());
        }
    }
    if (!database.commit()) return fail(database.lastError());

    for (const auto& record : records_) record->changed_ = false;
    deleted_.clear();
    return true;
}
