// One stored grant of the sandbox manager: the bookmark data of a file or
// folder the user picked, with how it was granted. Records live in the
// manager's bookmark store, which owns them; a pointer to a record stays
// valid until the record is deleted and the store saved (or the store goes).
//
// Main thread only, like the manager.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

#include "Quorvel/QVFExport.h"

class QVFDocumentPortal;
class QVFSandboxManager;

class QUORVEL_EXPORT QVFSandboxPersistedBookmark {
  public:
    // Makes bookmark data for `url` (registered with the document portal
    // inside a sandbox; path, device and inode outside) and inserts a new
    // record into `manager`'s store: data, isReadOnly, urlString = the URL's
    // text, isDirectory when the URL is a folder. The store is not saved.
    // On failure logs "Error creating secure persisted bookmark for %@: %@"
    // and returns nullptr; so does a manager without a store.
    static QVFSandboxPersistedBookmark* insertBookmarkForURL(QVFSandboxManager& manager,
                                                             const QUrl& url, bool isReadOnly);

    QByteArray data() const { return data_; }
    bool isDirectory() const { return isDirectory_; }
    bool isReadOnly() const { return isReadOnly_; }
    // The URL's text, refreshed at each successful resolution; for messages.
    QString urlString() const { return urlString_; }
    // The last resolution failed; the record goes at the store's next save.
    bool isUnresolvable() const { return isUnresolvable_; }

    // Where the item is now. Resolves the data when nothing is cached yet or
    // the cached URL is still reachable; on success caches the result,
    // refreshes urlString and clears isUnresolvable. On failure logs "Error
    // resolving persisted secure bookmark %@: %@", marks the record
    // unresolvable and returns the earlier cached URL (nullopt when none). A
    // document portal that is missing or does not answer does not mark the
    // record: the document may well be there the next time. A cached URL
    // that is no longer reachable is returned as it is.
    std::optional<QUrl> resolvedURL();

  private:
    friend class QVFSandboxBookmarkStore;
    QVFSandboxPersistedBookmark(QVFDocumentPortal* portal, qint64 rowID, QByteArray data,
                                bool isDirectory, bool isReadOnly, QString urlString,
                                bool isUnresolvable);

    QVFDocumentPortal* portal_;  // not owned; the manager's
    qint64 rowID_;               // -1 until first saved
    bool changed_ = false;       // differs from the stored row
    QByteArray data_;
    bool isDirectory_;
    bool isReadOnly_;
    QString urlString_;
    bool isUnresolvable_;
    std::optional<QUrl> resolvedURL_;  // cached in memory only
};
