// Property lists (binary and XML) and keyed archives read from any bytes; a
// property list that reads is written and read back equal.
#include <cstdint>
#include <cstdlib>

#include "fuzz/support/FuzzSupport.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/plist/PlistValue.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto plist = PlistValue::fromData(bytes)) {
        const auto back = PlistValue::fromData(plist->serialize(PlistValue::Format::Binary));
        if (!back) std::abort();
    }
    KeyedUnarchiver::unarchivedRootObject(bytes);
    return 0;
}
