#include "util/Base64.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<signed char, 128> makeTable() {
    std::array<signed char, 128> table{};
    for (auto& v : table) v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    return table;
}

constexpr auto kTable = makeTable();

// The value of a base64 character; -1 for "=" and every character outside the alphabet.
template <typename Char>
signed char valueOf(Char character) {
    const auto unit = static_cast<std::make_unsigned_t<Char>>(character);
    return unit < 128 ? kTable[unit] : -1;
}

}  // namespace

template <typename Char>
void Base64Decoder::appendCharacters(const Char* begin, const Char* end) {
    hasInput_ = hasInput_ || begin != end;
    if (failed_) return;
    // Room for what this piece can decode to; the buffer only ever grows.
    const qsizetype before = out_.size();
    out_.resize(before + (end - begin + count_) / 4 * 3);
    char* o = out_.data() + before;
    for (const Char* p = begin; p != end; ++p) {
        // Fast path: four alphabet characters at a group boundary make three bytes at once.
        while (count_ == 0 && padding_ == 0 && end - p >= 4) {
            const signed char a = valueOf(p[0]), b = valueOf(p[1]), c = valueOf(p[2]),
                              d = valueOf(p[3]);
            if ((a | b | c | d) < 0) break;
            const quint32 group =
                quint32(a) << 18 | quint32(b) << 12 | quint32(c) << 6 | quint32(d);
            *o++ = static_cast<char>(group >> 16);
            *o++ = static_cast<char>(group >> 8);
            *o++ = static_cast<char>(group);
            sawSymbol_ = true;
            p += 4;
        }
        if (p == end) break;
        const auto unit = static_cast<std::make_unsigned_t<Char>>(*p);
        if (unit == '=') {
            // More than two is already wrong; counting on would overflow on
            // a text of billions of "=".
            padding_ = std::min(padding_ + 1, 3);
            continue;
        }
        const signed char v = valueOf(*p);
        if (v < 0) continue;
        if (padding_ > 0) {  // data after the padding
            failed_ = true;
            break;
        }
        sawSymbol_ = true;
        group_ = (group_ << 6) | static_cast<quint32>(v);
        if (++count_ == 4) {
            *o++ = static_cast<char>(group_ >> 16);
            *o++ = static_cast<char>(group_ >> 8);
            *o++ = static_cast<char>(group_);
            group_ = 0;
            count_ = 0;
        }
    }
    out_.resize(o - out_.data());
}

void Base64Decoder::append(QStringView text) {
    appendCharacters(text.utf16(), text.utf16() + text.size());
}

void Base64Decoder::append(const QByteArray& text) {
    appendCharacters(text.constData(), text.constData() + text.size());
}

std::optional<QByteArray> Base64Decoder::finish() {
    if (failed_ || !sawSymbol_ || count_ == 1) return std::nullopt;
    if (padding_ > 0 && (count_ == 0 || padding_ > 4 - count_)) return std::nullopt;
    if (count_ == 2) {
        out_.append(static_cast<char>(group_ >> 4));
    } else if (count_ == 3) {
        out_.append(static_cast<char>(group_ >> 10));
        out_.append(static_cast<char>(group_ >> 2));
    }
    out_.squeeze();
    return std::move(out_);
}

std::optional<QByteArray> decodeBase64IgnoringUnknownCharacters(const QByteArray& text) {
    Base64Decoder decoder;
    decoder.append(text);
    return decoder.finish();
}
