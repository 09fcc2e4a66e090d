// File-manager questions about items on disk: directory, package, hidden,
// symbolic link, alias, in the trash, busy; the size of a file or folder tree;
// the free space of the user's volume; a per-application temporary folder;
// the kind name of a file extension; and the folders that a library kept in a
// cloud-synchronised folder must not be placed in.
//
// How each question is answered on Linux:
// - a package is a folder whose extension (case-insensitive) is one of
//   packageExtensions() (".pmnote", ".rtfd", ".app", ".webarchive"); it
//   counts as a file;
// - hidden means a name with a leading ".";
// - an alias is a symbolic link, or a freedesktop ".desktop" file of type Link;
// - the trash folders are those of the freedesktop trash layout: the
//   home trash "$XDG_DATA_HOME/Trash", and on every mounted file system
//   "<mount>/.Trash/<uid>" and "<mount>/.Trash-<uid>";
// - busy means another open file description holds a lock on the file
//   (fcntl F_GETLK);
// - free space is that of the file system holding the Documents folder
//   ("XDG_DOCUMENTS_DIR" of user-dirs.dirs, else ~/Documents);
// - kind names come from the uniform type registry (UniformTypes);
// - cloud folders: "Google Drive" in the home folder, Dropbox's folders from
//   ~/.dropbox/info.json, and the sync folders of the Nextcloud and ownCloud
//   clients from their configuration files.
//
// None of these keeps state; all are safe to call from any thread. Errors are
// POSIX-domain errors carrying the system's reason. Only
// temporaryDirectoryForApplication logs (to the system log).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

#include "platform/foundation/Error.h"

namespace QVExtensions {

// The extensions (lower case) that make a folder a package.
const QStringList& packageExtensions();

// True when the item at `path` (a symbolic link is followed, as a shell's
// "test -d" does) is a folder and not a package. False for a missing or
// unreadable item.
bool isDirectoryAtPath(const QString& path);
// True when the item at `path` (links followed) is a folder with a package extension.
bool isPackageAtPath(const QString& path);
// True when the path text itself begins with "." (without touching the disk),
// or when an item exists at `path` and its name begins with ".". False when
// the item cannot be looked at.
bool isHiddenFileAtPath(const QString& path);
// True when the item itself (not followed) is a symbolic link.
bool isSymbolicLinkAtPath(const QString& path);

// Whether the local item at `url` is an alias. Returns true when that could be
// told, storing the answer in *isAlias when given; false with the error when
// the item cannot be looked at (a ".desktop" file that cannot be read counts
// as no alias when it can be looked at but not read).
bool isAlias(bool* isAlias, const QUrl& url, Error* error = nullptr);
// The answer of isAlias, or false when it cannot be told.
bool isAliasAtURL(const QUrl& url);
// What the alias at `url` points to, resolved without asking anyone: for a
// symbolic link the final target of the chain of links (which must exist),
// for a Link desktop entry its URL. nullopt with an error when the item is no
// alias (EINVAL), cannot be read, or its target is missing (ENOENT) or a loop
// (ELOOP).
std::optional<QUrl> originalURLForAliasAtURL(const QUrl& url, Error* error = nullptr);

// The trash folders of the home and of every mounted file system, whether
// they exist or not.
QStringList trashFolderPaths();
// True when the local `url` lies inside one of trashFolderPaths() (or is one):
// its path, with "." and ".." resolved as text, begins with a trash folder's
// path followed by "/" or the end. A folder merely named like a trash folder
// ("Trash-old" beside "Trash") is not in the trash.
bool isURLInTrash(const QUrl& url);

// The sync folders of cloud services, in this order: "Google Drive" in the
// home folder when it exists; Dropbox's "business" then "personal" folder
// ("path" in ~/.dropbox/info.json, a JSON object; empty texts skipped, not
// checked for existence); then every "localPath" of the Nextcloud
// ($XDG_CONFIG_HOME/Nextcloud/nextcloud.cfg) and ownCloud
// ($XDG_CONFIG_HOME/ownCloud/owncloud.cfg) accounts. A file that cannot be
// read or parsed adds nothing. No duplicates; possibly empty.
QList<QUrl> prohibitedFolderURLsForCloudLibraries();
// True when the Documents folder, or else the Desktop folder, lies inside one
// of prohibitedFolderURLsForCloudLibraries().
bool isUbiquityEnabledForDesktopAndDocumentsFolders();

// The user's Documents and Desktop folders ("XDG_DOCUMENTS_DIR" and
// "XDG_DESKTOP_DIR" of $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Documents
// and ~/Desktop).
QString userDocumentsFolder();
QString userDesktopFolder();

// What users call files with the extension `extension` ("PDF document"), from
// the type registry; `extension` itself when the registry has no name for it.
// A text with an apostrophe is a classic four-character type code, which no
// Linux registry knows: it is returned unchanged.
QString kindStringForExtension(const QString& extension);

// The program's own temporary folder: the temporary directory plus the
// application's name, created (with its parents, mode 0700) when missing.
// nullopt, with a line in the system log, when a file other than a folder
// already has that name ("because a file already exists with the same
// name."), when the folder is a symbolic link or belongs to another user (a
// shared /tmp), or when it cannot be created.
std::optional<QString> temporaryDirectoryForApplication();

// The size in bytes of the local item at `url`: a file's (or a symbolic
// link's own) size; for a folder or package the sum over its children that
// are not hidden, sub-folders counted the same way. Symbolic links are never
// followed and a folder reached twice (a bind mount looping back) counts
// once, so the walk stays in the tree and ends. nullopt with the error when
// the item, the folder's listing or one of its children cannot be looked at;
// a sub-folder whose own size cannot be told adds 0 and the walk goes on.
std::optional<quint64> sizeOfFileAtURL(const QUrl& url, Error* outError);
// The same size, 0 when it cannot be told.
quint64 sizeOfFileAtURL(const QUrl& url);

// True when a lock that another open file description holds on the item
// (F_GETLK for a write lock on the whole file) would block a write. False
// when no lock is held or the item cannot be opened.
bool itemIsBusyAtPath(const QString& path);

// The bytes this user may still write on the file system holding the
// Documents folder (statvfs), or nullopt with the error when it cannot be
// asked (for one, when the Documents folder does not exist).
std::optional<quint64> getFreeDiskspace(Error* error = nullptr);

}  // namespace QVExtensions
