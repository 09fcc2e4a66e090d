#include "enex/ENEXDamageRepair.h"

namespace {

constexpr char kSectionStart[] = "<![CDATA[";
constexpr qsizetype kSectionStartLength = 9;
// A "]]>" in text, written the way XML allows: end the section after "]]",
// start another with ">".
constexpr char kEscapedSectionEnd[] = "]]]]><![CDATA[>";

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether the "&" at `at` starts a reference: "&name;", "&#123;" or "&#x1F;".
bool startsReference(const QByteArray& text, qsizetype at) {
    qsizetype i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex) ++i;
        const qsizetype digits = i;
        while (i < text.size() && (hex ? isHexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9')))
            ++i;
        return i > digits && i < text.size() && text[i] == ';';
    }
    if (i >= text.size() || !isNameStart(text[i])) return false;
    while (i < text.size() && isNameChar(text[i])) ++i;
    return i < text.size() && text[i] == ';';
}

}  // namespace

bool ENEXDamageRepair::repairNestedCDATA(QByteArray& note) {
    bool changed = false;
    if (note.contains("]]<![CDATA[>]]>")) {
        note.replace("]]<![CDATA[>]]>", kEscapedSectionEnd);
        changed = true;
    }
    // Inside the content's section, up to its last "]]>", every "]]>" that
    // does not start another section is text.
    const qsizetype content = note.indexOf("<content");
    const qsizetype contentEnd = note.lastIndexOf("</content>");
    if (content < 0 || contentEnd < content) return changed;
    const qsizetype section = note.indexOf(kSectionStart, content);
    if (section < 0 || section > contentEnd) return changed;
    const qsizetype lastEnd = note.lastIndexOf("]]>", contentEnd);
    QByteArray repaired = note.left(section + kSectionStartLength);
    qsizetype from = section + kSectionStartLength;
    for (qsizetype end = note.indexOf("]]>", from); end >= 0 && end < lastEnd;
         end = note.indexOf("]]>", from)) {
        const bool startsSection =
            note.mid(end + 3, kSectionStartLength) == QByteArrayView(kSectionStart);
        repaired += note.mid(from, end - from);
        repaired += startsSection ? QByteArray("]]>") : QByteArray(kEscapedSectionEnd);
        from = end + 3;
    }
    repaired += note.mid(from);
    if (repaired == note) return changed;
    note = repaired;
    return true;
}

bool ENEXDamageRepair::repairUnclosedCDATA(QByteArray& note) {
    const qsizetype content = note.indexOf("<content");
    if (content < 0) return false;
    const qsizetype section = note.indexOf(kSectionStart, content);
    if (section < 0) return false;
    const qsizetype contentEnd = note.indexOf("</content>", section);
    if (contentEnd < 0) return false;
    const qsizetype sectionEnd = note.indexOf("]]>", section);
    if (sectionEnd >= 0 && sectionEnd < contentEnd) return false;
    note.insert(contentEnd, "]]>");
    return true;
}

bool ENEXDamageRepair::repairUnescapedAmpersands(QByteArray& note) {
    QByteArray repaired;
    repaired.reserve(note.size());
    bool changed = false;
    qsizetype at = 0;
    while (at < note.size()) {
        // CDATA sections and comments are copied as they are.
        const char* closing = nullptr;
        if (note.mid(at, kSectionStartLength) == QByteArrayView(kSectionStart))
            closing = "]]>";
        else if (note.mid(at, 4) == QByteArrayView("<!--"))
            closing = "-->";
        if (closing) {
            const qsizetype end = note.indexOf(closing, at + 4);
            const qsizetype next = end < 0 ? note.size() : end + 3;
            repaired += note.mid(at, next - at);
            at = next;
            continue;
        }
        const char c = note[at];
        if (c == '&' && !startsReference(note, at)) {
            repaired += "&amp;";
            changed = true;
        } else {
            repaired += c;
        }
        ++at;
    }
    if (changed) note = repaired;
    return changed;
}

bool ENEXDamageRepair::repairMissingNoteEnd(QByteArray& note) {
    if (note.trimmed().endsWith("</note>")) return false;
    note = note.trimmed() + "</note>";
    return true;
}

QStringList ENEXDamageRepair::repair(QByteArray& note) {
    QStringList repairs;
    if (repairNestedCDATA(note)) repairs << QStringLiteral("nested CDATA");
    if (repairUnclosedCDATA(note)) repairs << QStringLiteral("unclosed CDATA");
    if (repairMissingNoteEnd(note)) repairs << QStringLiteral("missing </note>");
    if (repairUnescapedAmpersands(note)) repairs << QStringLiteral("unescaped &");
    return repairs;
}
