// The attributes of a note: where it came from, which the conversion reads,
// and every field of its "note-attributes", which the item keeps.
#pragma once

#include <QString>

#include "platform/apps/EvernoteAttributes.h"

struct EvernoteXMLItemNoteAttributes {
    QString source;     // ENEX "source"; "web.clip" marks a web clip
    QString sourceURL;  // ENEX "source-url"
    // Every field, these two included, in the export's order (EvernoteAttributes).
    EvernoteAttributeList fields;
};
