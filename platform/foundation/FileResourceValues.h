// File resource values on Linux. The content modification date goes on the
// file itself; tag names go into the "user.xdg.tags" extended attribute
// (comma-separated) and a comment into "user.xdg.comment", as freedesktop
// tools expect; a creation date and a hidden extension have no Linux
// equivalent and are kept in "user.pelmora.creation-date" (ISO 8601) and
// "user.pelmora.extension-hidden" ("1"/"0"). Any other extended attributes
// a caller keeps on a file are given by their full names.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

#include "platform/foundation/Error.h"

struct FileResourceValues {
    std::optional<bool> hasHiddenExtension;
    QDateTime creationDate;  // invalid: leave as it is
    QDateTime contentModificationDate;
    std::optional<QStringList> tagNames;
    std::optional<QString> comment;
    // More extended attributes, each by its full name ("user.xdg.creator").
    QList<std::pair<QByteArray, QByteArray>> extendedAttributes;
};

// Sets every value given, on a file or a folder (a package). Returns false,
// with a POSIX-domain error, when any of them could not be set; the others
// are still set. An error for extended attributes names those not set (a file
// system without them, or without room for them all).
bool setResourceValues(const QString& path, const FileResourceValues& values,
                       Error* error = nullptr);
// Reads the values back (what the file system allows).
FileResourceValues resourceValues(const QString& path);
// The value of the extended attribute `name`; nullopt when the file has none
// of that name (or it cannot be read).
std::optional<QByteArray> extendedAttribute(const QString& path, const QByteArray& name);
