// What reading one ENEX file came to once the parser met damage in it (see
// ENEXNoteRecovery): every <note> found is imported, imported after a repair,
// lost to damage, or skipped (read, but its conversion failed), so that
// imported + repaired + lost + skipped = found. A file that could not be read
// as ENEX at all carries the reason in fileError instead.
//
// A value type; made on the parser's thread, read once the parse has ended.
#pragma once

#include <QString>

#include "platform/foundation/Error.h"

struct ENEXDamageReport {
    QString filePath;
    unsigned long found = 0;      // the <note> elements met, before the damage and after
    unsigned long imported = 0;   // read as they are and converted (or held by the library already)
    unsigned long repaired = 0;   // read after a repair and converted
    unsigned long lost = 0;       // not readable even after the known repairs
    unsigned long skipped = 0;    // read, but their conversion failed
    bool endsInsideNote = false;  // the file is cut short inside a note
    Error fileError;              // set when the file is not ENEX or cannot be read

    // Whether anything in the file was damaged (a repaired note counts).
    bool hasDamage() const {
        return repaired > 0 || lost > 0 || endsInsideNote || !fileError.isNull();
    }
};
