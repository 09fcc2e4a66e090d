// The HTML importer on any bytes, with no base URL (only "data:" images load).
#include <cstdint>

#include "fuzz/support/FuzzSupport.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/web/WebPreferences.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray html(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    HTMLImporter::attributedStringFromHTML(html, QUrl(), WebPreferences());
    return 0;
}
