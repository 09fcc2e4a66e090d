// The attributes of one attachment, as its ENEX "resource-attributes" give them.
#pragma once

#include <QDateTime>
#include <QString>

struct EvernoteXMLItemResourceAttributes {
    QString filename;     // ENEX "file-name"; may be hostile: never a path as it stands
    QDateTime timestamp;  // ENEX "timestamp"; kept, not used by the conversion
};
