// The sandbox manager: remembers every file and folder the user granted the
// application (by picking it in an open or save dialog), keeps a bookmark for
// each in a small SQLite store so that the grant outlives the launch, answers
// whether the user must be asked before a URL is touched, re-opens access to
// granted items on demand, and forgets grants that no longer lead to their
// item.
//
// On Linux the sandbox is Flatpak's: inside it ("/.flatpak-info" present) a
// grant is registered with the document portal and its bookmark is the
// document id plus the original path; the granted item is then reached at the
// portal's document path. Outside a sandbox a bookmark is the item's path
// with its device and inode, so a moved or replaced item no longer resolves.
// "Opening access" to a resolved item means it is reachable and readable.
//
// The application's own folders need no grant: its home folder (in a sandbox
// the application's data folder "~/.var/app/<id>"), additionalEntitledDirectoryURLs()
// and, depending on the question, the read-write or the read-only entitled
// folders. A folder contains a path when the path is the folder or lies
// below it ("/data/ab" is not inside "/data/a").
//
// An embedding application subclasses the manager to say where the store
// lives (storeFileURL) and, if it wishes, which further folders it may use,
// and makes its instance with sharedManager<Subclass>() (the subclass's
// constructor must be public).
//
// Failures (store, portal, bookmark) are written to the system log and never
// reach the caller; a grant that can no longer be re-opened is forgotten, so
// that the next question answers true. A corrupt store file is deleted and
// made afresh (its grants are lost). The one exception: a manager without a
// store location throws QVFSandboxManagerStoreURLException when it is made.
//
// Not thread-safe: main thread only, except the entitled-folder properties,
// which are safe to read and set from any thread.
#pragma once

#include <QList>
#include <QMutex>
#include <QUrl>
#include <memory>
#include <stdexcept>

#include "Quorvel/QVFExport.h"

class Error;
class QVFDocumentPortal;
class QVFSandboxBookmarkStore;
class QVFSandboxPersistedBookmark;

// Thrown when a manager is made whose class does not name a store location.
class QUORVEL_EXPORT QVFSandboxManagerStoreURLException : public std::runtime_error {
  public:
    QVFSandboxManagerStoreURLException()
        : std::runtime_error("Cannot create Sandbox store file, no URL specified!") {}
    static const char* name() { return "QVFSandboxManagerStoreURLException"; }
};

class QUORVEL_EXPORT QVFSandboxManager {
  public:
    // The process's one manager, made on first use as a `Manager` (the
    // host's subclass) and kept until the process ends. Later calls return
    // the same instance, or nullptr when it is not a `Manager`.
    template <class Manager = QVFSandboxManager>
    static Manager* sharedManager() {
        if (!sharedInstance()) sharedInstance() = make<Manager>();
        return dynamic_cast<Manager*>(sharedInstance().get());
    }

    // A new manager of class `Manager`, its grants loaded from the store.
    // Throws QVFSandboxManagerStoreURLException when the class names no store.
    template <class Manager, class... Arguments>
    static std::unique_ptr<Manager> make(Arguments&&... arguments) {
        std::unique_ptr<Manager> manager(new Manager(std::forward<Arguments>(arguments)...));
        manager->loadGrants();
        return manager;
    }

    virtual ~QVFSandboxManager();
    QVFSandboxManager(const QVFSandboxManager&) = delete;
    QVFSandboxManager& operator=(const QVFSandboxManager&) = delete;

    // True when the user must be asked (an open dialog) before the
    // application reads and writes `url`; false when it may go ahead: the URL
    // is entitled, nothing is there, or access to a grant that covers it is
    // open or was just re-opened (a granted folder covers everything in it).
    bool appNeedsToObtainPermissionToAccessURL(const QUrl& url);
    // The same for reading only: read-only entitled folders count instead of
    // the read-write ones.
    bool appNeedsToObtainReadOnlyPermissionToAccessURL(const QUrl& url);

    // Records and stores the grant of `url`, which the user just picked.
    // Entitled URLs and URLs granted before are left alone.
    void appDidObtainPermissionToAccessURL(const QUrl& url);
    void appDidObtainReadOnlyPermissionToAccessURL(const QUrl& url);

    // Forgets the grant of `url`: its records, its place in the sets, its
    // access. Saves the store.
    void removePersistedBookmarkForURL(const QUrl& url);

    // Ends access to every accessed URL (the host calls this when it quits).
    // The set keeps its members.
    void closeAllSecureBookmarks();

    // Where the store lives. The base names none and throws
    // QVFSandboxManagerStoreURLException.
    virtual QUrl storeFileURL() const;
    // Further folders usable without asking; none in the base.
    virtual QList<QUrl> additionalEntitledDirectoryURLs() const { return {}; }

    // Folders the host lets the application read and write, or only read,
    // without asking. Any thread.
    QList<QUrl> entitledDirectoryURLs() const;
    void setEntitledDirectoryURLs(const QList<QUrl>& urls);
    QList<QUrl> readOnlyEntitledDirectoryURLs() const;
    void setReadOnlyEntitledDirectoryURLs(const QList<QUrl>& urls);

    // The granted files (packages included) and folders, and the URLs whose
    // access is open, each in the order added.
    QList<QUrl> allowedFileURLs() const { return allowedFileURLs_; }
    QList<QUrl> allowedDirectoryURLs() const { return allowedDirectoryURLs_; }
    QList<QUrl> accessedURLs() const { return accessedURLs_; }

    // The bookmark store, opened on first use from storeFileURL(); nullptr
    // when it could not be opened nor made afresh.
    QVFSandboxBookmarkStore* managedObjectContext();

    // The document portal grants go through: inside a sandbox the session
    // bus's portal, outside none (nullptr). A subclass may supply another.
    virtual QVFDocumentPortal* documentPortal();

  protected:
    QVFSandboxManager();

  private:
    static std::unique_ptr<QVFSandboxManager>& sharedInstance();

    void loadGrants();
    bool entitledURLsContainsURL(const QUrl& url, bool readOnly) const;
    bool appNeedsToObtainPermissionToAccessURL(const QUrl& url, bool readOnly);
    bool reopenGrantedFolderAbove(const QString& path);
    bool reopenGrantedFile(const QUrl& url, const QString& path);
    void appDidObtainPermissionToAccessURL(const QUrl& url, bool readOnly);
    bool saveStoreFile(Error* error = nullptr);
    void openStore();
    QString containerDirectory() const;

    QList<QUrl> allowedFileURLs_;
    QList<QUrl> allowedDirectoryURLs_;
    QList<QUrl> accessedURLs_;
    mutable QMutex entitledMutex_;
    QList<QUrl> entitledDirectoryURLs_;
    QList<QUrl> readOnlyEntitledDirectoryURLs_;

    bool portalChosen_ = false;
    std::unique_ptr<QVFDocumentPortal> portal_;
    bool storeOpened_ = false;
    std::unique_ptr<QVFSandboxBookmarkStore> store_;
};
