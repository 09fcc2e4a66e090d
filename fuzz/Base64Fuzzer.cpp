// Base64 decoding of attachment text: the whole text at once must equal the
// same text fed in pieces of every size the input picks.
#include <cstdint>
#include <cstdlib>

#include "util/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 7;
    const QByteArray text(reinterpret_cast<const char*>(data) + 1,
                          static_cast<qsizetype>(size - 1));
    const auto whole = decodeBase64IgnoringUnknownCharacters(text);

    Base64Decoder decoder;
    QByteArray taken;
    for (qsizetype at = 0; at < text.size(); at += qsizetype(piece)) {
        decoder.append(text.mid(at, qsizetype(piece)));
        taken += decoder.takeDecoded();
    }
    auto rest = decoder.finish();
    if (whole.has_value() != rest.has_value()) std::abort();
    if (whole && *whole != taken + *rest) std::abort();
    return 0;
}
