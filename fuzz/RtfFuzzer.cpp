// The RTF reader on any bytes, and a write-read round trip of what it read.
// The first round may normalise damaged input (a paragraph whose runs
// disagree on its style is split where they change); from then on, reading
// what was written must give the same text, and writing that the same RTF.
#include <cstdint>
#include <cstdlib>

#include "fuzz/support/FuzzSupport.h"
#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFWriter.h"

namespace {

struct Round {
    AttributedString text;
    RTFDocumentAttributes document;
    QByteArray written;
};

// Writes `text` and reads it back; a reader that refuses what the writer wrote fails.
Round writtenAndRead(const AttributedString& text, const RTFDocumentAttributes& document) {
    Round round;
    round.written = RTFWriter::RTFFromAttributedString(text, document);
    const auto read = RTFReader::attributedStringFromRTF(round.written, &round.document);
    if (!read) std::abort();
    round.text = *read;
    return round;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzSupport::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray rtf(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RTFDocumentAttributes document;
    const auto text = RTFReader::attributedStringFromRTF(rtf, &document);
    if (!text) return 0;
    const Round first = writtenAndRead(*text, document);
    const Round second = writtenAndRead(first.text, first.document);
    if (second.text.string() != first.text.string()) std::abort();
    if (RTFWriter::RTFFromAttributedString(second.text, second.document) != second.written)
        std::abort();
    return 0;
}
