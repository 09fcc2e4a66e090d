// The sandbox manager's bookmark store: an SQLite file (through Qt SQL) with
// one table "Bookmark" (data, isDirectory, isReadOnly, urlString,
// isUnresolvable), and the records read from it held in memory, where
// inserts, changes and deletions wait for save(). The schema carries its
// version in the file (SQLite's user_version); an older store is migrated
// step by step when it is opened.
//
// Errors: domain errorDomain(), codes below; the SQL driver's text is in the
// message. Owns its records. Main thread only; one instance per file.
#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "Quorvel/QVFExport.h"
#include "platform/foundation/Error.h"

class QVFDocumentPortal;
class QVFSandboxPersistedBookmark;

// Exported: QVFSandboxManager::managedObjectContext() hands it out.
class QUORVEL_EXPORT QVFSandboxBookmarkStore {
  public:
    static QString errorDomain();
    enum ErrorCode : long {
        CannotOpen = 1,       // not an SQLite file, unreadable, or the schema cannot be made
        NewerSchema = 2,      // written by a later version of the framework
        StatementFailed = 3,  // a read or write failed
        NoStore = 4,          // open() did not succeed
    };
    // The schema version this framework writes.
    static constexpr int kSchemaVersion = 1;

    // Records resolve through `portal` (not owned; may be nullptr).
    explicit QVFSandboxBookmarkStore(QVFDocumentPortal* portal);
    ~QVFSandboxBookmarkStore();
    QVFSandboxBookmarkStore(const QVFSandboxBookmarkStore&) = delete;
    QVFSandboxBookmarkStore& operator=(const QVFSandboxBookmarkStore&) = delete;

    // Opens (creating when missing, with its folder) the store file at
    // `path` and brings its schema up to date. Call once.
    bool open(const QString& path, Error* error = nullptr);
    bool isOpen() const { return isOpen_; }

    // Every record: the stored ones (read on the first call) and the inserted
    // ones, without the deleted ones, in insertion order.
    std::optional<QList<QVFSandboxPersistedBookmark*>> fetchBookmarks(Error* error = nullptr);

    // A new record, saved with the next save().
    QVFSandboxPersistedBookmark* insertBookmark(const QByteArray& data, bool isDirectory,
                                                bool isReadOnly, const QString& urlString);
    // Removes `bookmark` from the records; the row goes with the next save().
    void deleteBookmark(QVFSandboxPersistedBookmark* bookmark);

    // Writes every insert, change and deletion in one transaction. On
    // failure nothing is written and the records stay as they were.
    bool save(Error* error = nullptr);

  private:
    bool migrate(Error* error);
    bool loadRows(Error* error);

    QVFDocumentPortal* portal_;
    QString connectionName_;
    bool isOpen_ = false;
    bool loaded_ = false;
    std::vector<std::unique_ptr<QVFSandboxPersistedBookmark>> records_;
    std::vector<std::unique_ptr<QVFSandboxPersistedBookmark>> deleted_;
};
