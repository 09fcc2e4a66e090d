// The two steps every lock file of ours takes: opening the file without ever
// following a link to somewhere else, and asking for an open file description
// lock over the whole of it (fcntl F_OFD_SETLK / F_OFD_GETLK), which the
// kernel drops when the holding process ends.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <QString>

namespace LockFile {

// Opens `path` with `flags` (O_NOFOLLOW, O_NONBLOCK, O_CLOEXEC and O_NOCTTY
// added; `mode` when it is created) and checks that it is a regular file; -1
// with errno set otherwise: ELOOP for a symbolic link, EISDIR for a folder,
// EINVAL for anything else that is not a regular file.
int openRegularFile(const QString& path, int flags, mode_t mode);

// A request for a lock of `type` (F_RDLCK, F_WRLCK, F_UNLCK) over the whole file.
struct flock wholeFile(short type);

}  // namespace LockFile
