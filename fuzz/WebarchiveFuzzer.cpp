// The web archive reader on any bytes; an archive that reads is written and
// read back.
#include <cstdint>
#include <cstdlib>

#include "fuzz/support/FuzzSupport.h"
#include "platform/web/WebArchive.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto archive = WebArchive::fromData(bytes);
    if (archive && !WebArchive::fromData(archive->data())) std::abort();
    return 0;
}
