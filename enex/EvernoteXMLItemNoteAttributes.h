// The note attributes that the conversion reads: where a note came from.
#pragma once

#include <QString>

struct EvernoteXMLItemNoteAttributes {
    QString source;     // ENEX "source"; "web.clip" marks a web clip
    QString sourceURL;  // ENEX "source-url"
};
