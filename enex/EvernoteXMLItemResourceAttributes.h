// The attributes of one attachment, as its ENEX "resource-attributes" give them.
#pragma once

#include <QDateTime>
#include <QString>

#include "platform/apps/EvernoteAttributes.h"

struct EvernoteXMLItemResourceAttributes {
    QString filename;     // ENEX "file-name"; may be hostile: never a path as it stands
    QDateTime timestamp;  // ENEX "timestamp"; kept, not used by the conversion
    // Every field, these two included, in the export's order (EvernoteAttributes).
    EvernoteAttributeList fields;
};
