// HTMLNestingLimits: how deeply a document tree may nest before it is refused
// for import as rich text. The importer keeps a reading state of some
// kilobytes per open element, and every paragraph inside n lists or n tables
// repeats all n of them, so a hostile document of a few hundred kilobytes
// would otherwise take gigabytes and minutes. Real documents stay far below
// these limits:
// - elements: 65,536 levels (a few hundred megabytes of reading state);
// - lists (ul, ol): 512 levels;
// - tables: 64 levels, as deep as the RTF reader reads nested tables back, so
//   that every note written from an imported document can be read again.
//
// Stateless; safe to call from any thread for trees of different documents.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/xml/XMLNode.h"

inline const QString kHTMLNestingErrorDomain = QStringLiteral("HTMLNestingErrorDomain");

namespace HTMLNestingLimits {

inline constexpr int maximumElementDepth = 65536;
inline constexpr int maximumListDepth = 512;
inline constexpr int maximumTableDepth = 64;

// True when `root` and the tree below it stay within every limit (`root`
// counts as one level of elements). Otherwise false with error 1 of
// "HTMLNestingErrorDomain", "The document nests elements (lists, tables) more
// than N levels deep." for the first limit passed in document order. Time is
// linear in the tree's size; no recursion.
bool check(XMLNode root, Error* error = nullptr);

}  // namespace HTMLNestingLimits
