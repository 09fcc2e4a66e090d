#include "util/Base64.h"

#include <array>

namespace {

constexpr std::array<signed char, 256> makeTable() {
    std::array<signed char, 256> table{};
    for (auto& v : table) v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    return table;
}

constexpr auto kTable = makeTable();

}  // namespace

std::optional<QByteArray> decodeBase64IgnoringUnknownCharacters(const QByteArray& text) {
    QByteArray out;
    out.resize(text.size() / 4 * 3 + 3);
    char* o = out.data();
    quint32 group = 0;
    int count = 0;      // characters in the current group
    int padding = 0;    // "=" seen so far
    qsizetype symbols = 0;
    for (const char ch : text) {
        if (ch == '=') {
            ++padding;
            continue;
        }
        const signed char v = kTable[static_cast<unsigned char>(ch)];
        if (v < 0) continue;
        if (padding > 0) return std::nullopt;  // data after the padding
        ++symbols;
        group = (group << 6) | static_cast<quint32>(v);
        if (++count == 4) {
            *o++ = static_cast<char>(group >> 16);
            *o++ = static_cast<char>(group >> 8);
            *o++ = static_cast<char>(group);
            group = 0;
            count = 0;
        }
    }
    if (symbols == 0) return std::nullopt;
    if (count == 1) return std::nullopt;
    if (padding > 0 && (count == 0 || padding > 4 - count)) return std::nullopt;
    if (count == 2) {
        *o++ = static_cast<char>(group >> 4);
    } else if (count == 3) {
        *o++ = static_cast<char>(group >> 10);
        *o++ = static_cast<char>(group >> 2);
    }
    out.resize(o - out.data());
    return out;
}
