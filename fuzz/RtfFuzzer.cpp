// The RTF reader on any bytes, and what it read written and read again: the
// second reading must give the same text, and writing it the same RTF.
#include <cstdint>
#include <cstdlib>

#include "fuzz/support/FuzzSupport.h"
#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFWriter.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray rtf(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RTFDocumentAttributes document;
    const auto text = RTFReader::attributedStringFromRTF(rtf, &document);
    if (!text) return 0;
    const QByteArray written = RTFWriter::RTFFromAttributedString(*text, document);
    RTFDocumentAttributes documentAgain;
    const auto again = RTFReader::attributedStringFromRTF(written, &documentAgain);
    if (!again || again->string() != text->string()) std::abort();
    if (RTFWriter::RTFFromAttributedString(*again, documentAgain) != written) std::abort();
    return 0;
}
