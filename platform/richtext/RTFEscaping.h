// RTFEscaping: text and numbers as the RTF writer puts them into its output.
// Printable ASCII stands as it is; \, { and } are escaped; tab, line
// separator and form feed become their control words; other characters
// become a Windows-1252 \'hh byte where that code page has them, else
// \uc0\uN (UTF-16 code units, N unsigned as Cocoa writes it).
// Stateless, any thread.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <cmath>

namespace RTFEscaping {

// Points as twips (1/20 point), rounded.
inline int twips(double points) { return int(std::lround(points * 20.0)); }
inline QByteArray number(qint64 value) { return QByteArray::number(value); }

// \'hh with the low byte of `value`.
void appendHexByte(QByteArray& out, int value);
QByteArray hexByte(int value);
// \uc0\uN followed by a space.
void appendUnicodeWord(QByteArray& out, char16_t unit);

// Any character that is not plain printable ASCII (see appendEscapedCharacter).
void appendEscapedSpecialCharacter(QByteArray& out, char16_t unit, bool unicodeOnly);

// One character of text, appended in place: the body is written a character
// at a time, so no piece is built on its own. With `unicodeOnly`, every
// non-ASCII character is written as \u (as list markers are).
inline void appendEscapedCharacter(QByteArray& out, QChar c, bool unicodeOnly) {
    const char16_t u = c.unicode();
    if (u >= 0x20 && u < 0x7F && u != u'\\' && u != u'{' && u != u'}')
        out += char(u);
    else
        appendEscapedSpecialCharacter(out, u, unicodeOnly);
}

// `text` escaped a character at a time.
QByteArray escapedText(const QString& text, bool unicodeOnly = false);
// `text` with every non-ASCII character as \u (font names, link targets).
QByteArray escapedAscii(const QString& text);
// An attachment name: its UTF-8 bytes, non-ASCII and control bytes as \'hh.
QByteArray escapedFileName(const QString& name);

}  // namespace RTFEscaping
