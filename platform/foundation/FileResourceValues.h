// File resource values on Linux. The content modification date goes on the
// file itself; tag names go into the "user.xdg.tags" extended attribute
// (comma-separated) and a comment into "user.xdg.comment", as freedesktop
// tools expect; a creation date and a hidden extension have no Linux
// equivalent and are kept in "user.pelmora.creation-date" (ISO 8601) and
// "user.pelmora.extension-hidden" ("1"/"0").
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/foundation/Error.h"

struct FileResourceValues {
    std::optional<bool> hasHiddenExtension;
    QDateTime creationDate;  // invalid: leave as it is
    QDateTime contentModificationDate;
    std::optional<QStringList> tagNames;
    std::optional<QString> comment;
};

// Sets every value given, on a file or a folder (a package). Returns false,
// with a POSIX-domain error, when any of them could not be set; the others
// are still set.
bool setResourceValues(const QString& path, const FileResourceValues& values,
                       Error* error = nullptr);
// Reads the values back (what the file system allows).
FileResourceValues resourceValues(const QString& path);
