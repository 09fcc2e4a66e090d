// FileNameLength: the length limit of one file-name component on Linux
// (255 bytes of UTF-8, whatever the characters) and the shortening of a name
// so that it fits. Every name this program composes, staging and numbered
// names included, is shortened with these before it reaches the file system.
//
// A cut always falls between characters as a reader sees them: never inside a
// surrogate pair (so never inside a UTF-8 sequence), and never between a
// character and the combining marks, variation selectors or joiners that
// belong to it (Unicode grapheme clusters). Only a single such cluster longer
// than the limit is cut between its code points.
//
// Stateless; safe to call from any thread. No errors.
#pragma once

#include <QString>

namespace FileNameLength {

// The most bytes one name component may take in UTF-8.
inline constexpr qsizetype maximumBytes = 255;

// The bytes `text` takes in UTF-8; an unpaired surrogate counts as the three
// bytes of the replacement character.
qsizetype utf8Length(const QString& text);

// The longest start of `text` that takes at most `maxBytes` bytes and ends
// at a character boundary (see above). `text` itself when it fits; "" when
// `maxBytes` is 0 or less.
QString leadingCharacters(const QString& text, qsizetype maxBytes);

// `name` itself when it fits `maxBytes`; otherwise shortened to fit by cutting
// the text before its extension (the text after the last ".", when there is
// text on both sides of it) and keeping
// the "." and the extension whole. When the extension leaves no room for at
// least one character before it, the name is cut at its end instead.
QString fittedName(const QString& name, qsizetype maxBytes = maximumBytes);

// `base` shortened so that base + `suffix` fits `maxBytes`, followed by the
// whole `suffix`. "" when that is impossible: the suffix alone does not fit,
// or leaves no room for the first character of a non-empty `base`.
QString fittedBeforeSuffix(const QString& base, const QString& suffix,
                           qsizetype maxBytes = maximumBytes);

// "base N.ext" (or "base N" without an `extension`, given without its dot)
// within `maxBytes`: the base is shortened before the number; when a long
// extension leaves no room for the base, the number goes at the very end.
QString numberedName(const QString& base, const QString& extension, long n,
                     qsizetype maxBytes = maximumBytes);

}  // namespace FileNameLength
