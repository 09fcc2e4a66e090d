// Reads a large XML property list without holding all of it: the entries of
// one chosen dictionary (for example the items of a library import
// description) are handed to the caller one at a time and not kept, while
// everything else is built as usual. Memory stays bounded by the largest
// entry and the rest of the document.
//
// Reentrant; reads the file on the calling thread. Never loads external
// entities or a DTD.
#pragma once

#include <functional>
#include <optional>

#include "platform/plist/PlistValue.h"

class PlistStreamReader {
  public:
    using EntryHandler = std::function<void(const QString& key, const PlistValue& value)>;

    // Reads the XML property list at `path`. The dictionary found at
    // `streamedPath` (the keys leading to it from the root dictionary, e.g.
    // {"Entities", "Item"}) has each of its entries given to `entry` and is
    // left empty in the result. A binary property list is read whole with
    // PlistValue::readFromFile, its streamed entries then given the same way.
    // None with the error (domain "PlistStreamReaderErrorDomain": 1 the file
    // cannot be read, 2 it is not a well-formed property list) otherwise.
    static std::optional<PlistValue> readFromFile(const QString& path,
                                                  const QStringList& streamedPath,
                                                  const EntryHandler& entry,
                                                  Error* error = nullptr);
};
