// The HTML importer on any bytes, with no base URL (only "data:" images load),
// read as a note of the note service's HTML export: with its import hook, so
// that the note properties and check boxes are exercised too (a web page,
// read without a hook, takes a subset of the same paths).
#include <cstdint>

#include "enex/EvernoteHTMLImportHook.h"
#include "fuzz/support/FuzzSupport.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/web/WebPreferences.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray html(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const EvernoteHTMLImportHook noteHook;
    HTMLImporter::attributedStringFromHTML(html, QUrl(), WebPreferences(), nullptr, &noteHook);
    return 0;
}
