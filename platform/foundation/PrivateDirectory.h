// Folders that only their owner may enter. The staging folder of an import and
// the runtime folder of a session live in a temporary folder that every user
// can write to, where someone else may have taken the name first: such a
// folder is made with mode 0700 from the start (never wider, not even for a
// moment), and one found there already is used only when it is plainly ours.
//
// Stateless, any thread. Failures are errors in the POSIX domain naming the
// path.
#pragma once

#include <QString>

#include "platform/foundation/Error.h"

namespace PrivateDirectory {

// Creates the directory `path` with mode 0700; its parent must exist.
// Something already at `path` (a symbolic link included) is EEXIST.
bool make(const QString& path, Error* error = nullptr);

// Whether `path` is a folder this user may keep private files in: a directory
// itself (not a symbolic link to one), owned by the current user, with mode
// 0700. Otherwise the error says why: ENOENT or another errno when it cannot
// be examined, ENOTDIR when it is a symbolic link or no directory, EPERM when
// another user owns it, EACCES when others may enter it.
bool isPrivate(const QString& path, Error* error = nullptr);

// make(), or, when something is at `path` already, isPrivate().
bool provide(const QString& path, Error* error = nullptr);

}  // namespace PrivateDirectory
