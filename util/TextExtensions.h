// Text utilities: clean-up, case-insensitive tests, URL text, and a file name
// taken from a note's text. Each function takes the text it works on first
// and returns a new value; none keeps state or reports errors, and all are
// safe to call from any thread. Lengths and positions count UTF-16 code units;
// the character classes are those of CharacterClasses.h.
#pragma once

#include <QString>
#include <QStringConverter>
#include <optional>

#include "util/CharacterClasses.h"

namespace QVExtensions {

// --- Clean-up ---

// Every "\n", "\r" and "\t" replaced by one space each, then white space
// trimmed at both ends.
QString stringByRemovingNewlinesAndTabs(const QString& text);
// Every "\n" and "\r" replaced by one space each, then white space trimmed at
// both ends; tabs inside stay.
QString stringByRemovingNewlines(const QString& text);
// Every CR LF pair, LF CR pair and lone CR replaced by one LF, leftmost match
// first and in that order: CR LF CR LF gives two LFs, LF CR one.
QString stringByStandardizingNewlines(const QString& text);
// White space and line breaks trimmed at both ends.
QString stringByTrimmingWhitespace(const QString& text);
// Every character for which `isRemoved` holds removed. Characters outside the
// Basic Multilingual Plane are tested and removed whole (both units), so no
// half of a surrogate pair is ever left behind.
QString stringByRemovingCharactersInSet(const QString& text, CharacterClasses::Predicate isRemoved);
// All control characters removed, then all illegal characters.
QString stringByRemovingControlAndIllegalCharacters(const QString& text);
// Every "\" doubled.
QString stringByEscapingBackslashes(const QString& text);
// Every "'" preceded by a backslash, then every '"' preceded by a backslash.
QString stringByEscapingQuotes(const QString& text);

// --- Case-insensitive tests ---

// True when `text` begins with `prefix`, ignoring case; an empty prefix gives true.
bool startsWith(const QString& text, const QString& prefix);
// True when `text` ends with `suffix`, ignoring case; a longer suffix gives false.
bool endsWith(const QString& text, const QString& suffix);
// True when `needle` occurs in `text`, ignoring case; an empty needle gives false.
bool containsString(const QString& text, const QString& needle);
// True when the two texts are equal, ignoring case.
bool isCaseInsensitiveEqualToString(const QString& text, const QString& other);

// --- URLs and file names ---

// The text's UTF-8 bytes as URL text: every byte that may not stand in a URL
// (controls, space, '"', '<', '>', '\', '^', '`', '{', '|', '}', DEL and all
// bytes from 0x80 up) becomes "%" and two upper-case hexadecimal digits; the
// others, "%" included, stay, so escapes already in the text are kept.
QString percentEncodedURLString(const QString& text);

// The text as the file system stores it: on Linux a name is the UTF-8 bytes
// it was given, without any change of normalisation, so this is the round
// trip through QFile::encodeName and decodeName, which changes only what
// UTF-8 cannot hold (an unpaired surrogate becomes U+FFFD).
QString fileSystemRepresentationString(const QString& text);

// The name under which a file manager shows the item at `path`: its last
// path component ("/" for the root folder). Linux file managers show the
// whole name, extension included.
QString fileDisplayName(const QString& path);

// A file name taken from a note's plain text: its first line, or when the
// first 128 units hold no line break or control character, its first words
// up to (and including the one crossing) unit 128, a word ending at a space,
// a line break or a "." ("v1.2 notes" gives "v1"). Leading and trailing white
// space, line breaks and "." are trimmed first, and every U+FFFC (an
// attachment's place) removed. The result is made safe as one file-name
// component (safeFileName). nullopt when nothing is left.
std::optional<QString> generateFilename(const QString& text);

// --- Constructors ---

// The first `length` bytes at `bytes` (copying stops early at a zero byte),
// decoded in `encoding`; nullopt when they are not valid in it. "" when
// `bytes` is null or `length` is 0 or less.
std::optional<QString> stringWithCString(const char* bytes, QStringConverter::Encoding encoding,
                                         qsizetype length);
// "1 note", "0 notes", "2 notes": the count and the singular noun when the
// count is exactly 1, else the plural noun.
QString stringWithQuantity(long count, const QString& singularDescription,
                           const QString& pluralDescription);

}  // namespace QVExtensions
