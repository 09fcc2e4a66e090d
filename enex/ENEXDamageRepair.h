// Repairs for the known ways that exporters damage a note's XML, tried on a
// note stretch (ENEXNoteSplitter) that does not parse. Each repair looks for
// one kind of damage only and leaves a note without it byte for byte as it
// was, so they can be applied one after another:
//   - nested CDATA: "]]<![CDATA[>]]>" written for a "]]>" in the content, and
//     a "]]>" inside the content's section (an ENML note that held a section
//     of its own), which ends the section early;
//   - a CDATA section in the content without its "]]>";
//   - an "&" in text that starts no reference;
//   - a note without its "</note>".
//
// Stateless, any thread.
#pragma once

#include <QByteArray>
#include <QStringList>

class ENEXDamageRepair {
  public:
    // Each returns whether it changed `note`.
    static bool repairNestedCDATA(QByteArray& note);
    static bool repairUnclosedCDATA(QByteArray& note);
    static bool repairUnescapedAmpersands(QByteArray& note);
    static bool repairMissingNoteEnd(QByteArray& note);

    // Applies every repair in turn; the names of those that changed `note`
    // ("nested CDATA", "unclosed CDATA", "unescaped &", "missing </note>"),
    // for the log.
    static QStringList repair(QByteArray& note);
};
