#include "util/Base64.h"

#include <array>

namespace {

constexpr std::array<signed char, 128> makeTable() {
    std::array<signed char, 128> table{};
    for (auto& v : table) v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    return table;
}

constexpr auto kTable = makeTable();

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
        const auto unit = static_cast<std::make_unsigned_t<Char>>(*p);
        if (unit == '=') {
            ++padding_;
            continue;
        }
        const signed char v = unit < 128 ? kTable[unit] : -1;
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
