// What Pelmora did with a request to import: how many items its library took,
// which items it refused and why, or why the import failed as a whole.
// A value type; any thread.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "platform/foundation/Error.h"

struct PelmoraImportResult {
    // One item the library did not take. Its file stays where the description
    // put it (in the staging folder), never deleted.
    struct Refusal {
        QString identifier;  // the item's "identifier" in the description
        QString name;        // its "name"
        QString path;        // its file, as the description gives it
        QString reason;      // why it was refused, for the log
    };

    int taken = 0;  // items now in the library and its index
    // Where the library filed each item it took: the item's "identifier" in
    // the description → the item's file in the library folder.
    QHash<QString, QString> libraryPaths;
    QList<Refusal> refused;  // items the library did not take
    Error error;             // set when the import failed as a whole

    bool failed() const { return !error.isNull(); }
};
