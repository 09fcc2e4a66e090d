#include "platform/richtext/TextTable.h"

#include <atomic>

namespace {
std::atomic<quint64> nextTableIdentifier{1};
}

TextTable::TextTable(int numberOfColumns)
    : identifier_(nextTableIdentifier++), numberOfColumns_(numberOfColumns) {}
