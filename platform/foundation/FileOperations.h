// File-system operations that keep the system's own reason for a failure.
// Every failure is reported as posixError(errno, path): the real errno and its
// text ("No space left on device", "Disk quota exceeded", "Read-only file
// system", "Permission denied"…), never a guessed one, so that callers can
// tell a full disk from a missing file.
//
// Stateless, any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/foundation/Error.h"

namespace FileOperations {

// Creates the directory `path`. With `intermediates`, also creates its missing
// parents, and an existing directory is success; without, an existing one is
// EEXIST.
bool makeDirectory(const QString& path, bool intermediates, Error* error = nullptr);

enum class WriteMode {
    Truncate,  // create the file or replace its contents
    NewOnly,   // create the file; EEXIST when something is there
    // Create the file or replace it whole: the data goes into a temporary
    // file beside it, is flushed to the disk (fsync), then renamed over it, so
    // that a crash or a full disk leaves either the old file or the new one,
    // never a part. The old file's permissions are kept; a symbolic link is
    // followed (the file it names is replaced, the link stays).
    Replace,
};
// Writes `data` as the whole contents of the file `path`, checking every
// write and the final close. On failure a file this call created is removed
// (with Replace: the temporary one; the old file is untouched).
bool writeFile(const QString& path, const QByteArray& data, WriteMode mode, Error* error = nullptr);

// Removes a file, a symbolic link or a folder tree (links are not followed).
// Nothing at `path` is success.
bool removeItem(const QString& path, Error* error = nullptr);

// Renames `from` to `to` only when nothing (not even a dangling symbolic
// link) is at `to`: EEXIST otherwise. The check and the rename are one step
// where the file system allows it (renameat2 with RENAME_NOREPLACE); elsewhere
// an lstat comes first. No copy: EXDEV across file systems.
bool renameNoReplace(const QString& from, const QString& to, Error* error = nullptr);

// Moves a file or a folder tree to `to`, which must not exist. Within a file
// system it is a rename; across file systems a copy (with the user's extended
// attributes), then the original is removed. On failure nothing is left at `to` and `from` is
// untouched.
bool moveItem(const QString& from, const QString& to, Error* error = nullptr);

// Copies the regular file `from` to `to`, which must not exist, in pieces (a
// large file is never held in memory), keeping its permissions, its
// modification date and its "user." extended attributes (where the target
// file system keeps any). On failure nothing is left at `to`.
bool copyFile(const QString& from, const QString& to, Error* error = nullptr);

// The bytes that this user may still write on the file system holding `path`
// (statvfs; when `path` does not exist yet, its nearest existing ancestor).
std::optional<qint64> availableBytes(const QString& path, Error* error = nullptr);

// Whether `a` and `b` (or their nearest existing ancestors) are on one file
// system, so that a move between them is a rename that takes no space.
bool isSameFileSystem(const QString& a, const QString& b);

// The nearest existing ancestor of `path`, `path` itself when it exists.
QString nearestExistingPath(const QString& path);

}  // namespace FileOperations
