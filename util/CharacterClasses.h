// The character classes of the text utilities, as exact sets:
// - white space: Unicode category Zs, plus U+0009 (tab);
// - white space and line breaks: categories Zs, Zl and Zp, plus U+000A to
//   U+000D and U+0085;
// - line breaks: U+000A to U+000D, U+0085, U+2028 and U+2029;
// - control characters: categories Cc and Cf;
// - illegal characters: code points that Unicode leaves unassigned (as far as
//   Qt's Unicode tables know), and the noncharacters.
// The first three only hold characters of the Basic Multilingual Plane, so a
// UTF-16 unit can be tested on its own; the last two are tested on whole code
// points. Stateless, any thread.
#pragma once

#include <QString>

namespace CharacterClasses {

// A test of one code point; a lone surrogate is passed as its own unit.
using Predicate = bool (*)(char32_t);

bool isWhiteSpace(char32_t c);
bool isWhiteSpaceOrLineBreak(char32_t c);
bool isLineBreak(char32_t c);
bool isControl(char32_t c);
bool isIllegal(char32_t c);

// `text` without the units (at both ends) that `isTrimmed` holds.
QString trimmed(const QString& text, Predicate isTrimmed);

}  // namespace CharacterClasses
