// RTFCodePage: the byte encodings an RTF file names (\ansicpg, \fcharset,
// \mac, \pc, \pca) and conversion of `\'hh` bytes to text. Windows-1252 is
// built in; other code pages, double-byte ones included, go through Qt's
// ICU-backed QStringDecoder, with Latin-1 when a code page is not available.
// Thread-safe.
#pragma once

#include <QByteArray>
#include <QString>

namespace RTFCodePage {

// The text of `bytes` in `codePage` (1252, 932, 936, 949, 950, 1250-1258, 874, 10000...).
QString decode(const QByteArray& bytes, int codePage);
// The Windows-1252 byte of a character, or -1 when 1252 has none.
int windows1252ByteForCharacter(char16_t character);
// The code page of an RTF font character set (\fcharsetN); 0 when the
// document's code page applies (charsets 0, 1 and unknown ones).
int codePageForCharset(int charset);
// Whether the code page uses lead and trail bytes for some characters.
bool isDoubleByte(int codePage);

}  // namespace RTFCodePage
