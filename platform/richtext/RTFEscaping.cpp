#include "platform/richtext/RTFEscaping.h"

#include "platform/richtext/RTFCodePage.h"

namespace RTFEscaping {

void appendHexByte(QByteArray& out, int value) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\'";
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

QByteArray hexByte(int value) {
    QByteArray b;
    appendHexByte(b, value);
    return b;
}

void appendUnicodeWord(QByteArray& out, char16_t unit) {
    out += "\\uc0\\u";
    out += number(unit);
    out += ' ';
}

void appendEscapedSpecialCharacter(QByteArray& out, char16_t u, bool unicodeOnly) {
    switch (u) {
        case u'\\':
            out += "\\\\";
            return;
        case u'{':
            out += "\\{";
            return;
        case u'}':
            out += "\\}";
            return;
        case u'\t':
            out += '\t';
            return;
        case 0x2028:
            out += "\\line ";
            return;
        case 0x0C:
            out += "\\page ";
            return;
        default:
            break;
    }
    if (!unicodeOnly && u >= 0x80) {
        const int byte = RTFCodePage::windows1252ByteForCharacter(u);
        if (byte >= 0) {
            appendHexByte(out, byte);
            return;
        }
    }
    appendUnicodeWord(out, u);
}

QByteArray escapedText(const QString& text, bool unicodeOnly) {
    QByteArray out;
    for (QChar c : text) appendEscapedCharacter(out, c, unicodeOnly);
    return out;
}

QByteArray escapedAscii(const QString& text) {
    QByteArray out;
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            appendEscapedCharacter(out, c, false);
        else
            appendUnicodeWord(out, c.unicode());
    }
    return out;
}

QByteArray escapedFileName(const QString& name) {
    QByteArray out;
    for (char byte : name.toUtf8()) {
        const auto value = static_cast<unsigned char>(byte);
        if (value == '\\' || value == '{' || value == '}')
            out += QByteArray("\\") + char(value);
        else if (value < 0x20 || value >= 0x7F)
            appendHexByte(out, value);
        else
            out += char(value);
    }
    return out;
}

}  // namespace RTFEscaping
