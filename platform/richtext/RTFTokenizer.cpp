#include "platform/richtext/RTFTokenizer.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace {

constexpr qsizetype kMaxWordLength = 32;
constexpr int kMaxParameterDigits = 10;  // more would not fit; they are read and dropped

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)); }
bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)); }

// Bytes between tokens that carry no text: RTF writers break lines anywhere.
bool isIgnoredByte(char c) { return c == '\r' || c == '\n' || c == '\0'; }

bool endsText(char c) { return c == '{' || c == '}' || c == '\\' || isIgnoredByte(c); }

// Control symbols that stand for one character of text.
bool isCharacterSymbol(char c) {
    return c == '\\' || c == '{' || c == '}' || c == '~' || c == '-' || c == '_' || c == '\t';
}

// Whether a control token counts as one character of a \uN's fallback text.
bool isFallbackCharacter(const RTFTokenizer::Token& token) {
    switch (token.kind) {
        case RTFTokenizer::Token::Kind::Symbol:
            return isCharacterSymbol(token.symbol);
        case RTFTokenizer::Token::Kind::Word:
        case RTFTokenizer::Token::Kind::Byte:
        case RTFTokenizer::Token::Kind::Binary:
            return true;
        default:
            return false;  // a \uN starts a fallback of its own
    }
}

}  // namespace

RTFTokenizer::Token RTFTokenizer::next() {
    const qsizetype size = data_.size();
    while (position_ < size) {
        const char c = data_[position_];
        if (c == '{' || c == '}') {
            ++position_;
            skipCount_ = 0;
            Token token;
            token.kind = c == '{' ? Token::Kind::GroupStart : Token::Kind::GroupEnd;
            return token;
        }
        if (isIgnoredByte(c)) {
            ++position_;
            continue;
        }
        if (c == '\\') {
            ++position_;
            Token token = readControl();
            if (token.kind == Token::Kind::End) continue;  // an escape that stands for nothing
            if (isFallbackCharacter(token) && consumesFallbackCharacter()) continue;
            return token;
        }
        qsizetype end = position_ + 1;
        while (end < size && !endsText(data_[end])) ++end;
        if (skipCount_ > 0) {
            const qsizetype skipped = std::min<qsizetype>(skipCount_, end - position_);
            skipCount_ -= int(skipped);
            position_ += skipped;
            if (position_ == end) continue;
        }
        Token token;
        token.kind = Token::Kind::Text;
        token.text = QByteArrayView(data_.constData() + position_, end - position_);
        position_ = end;
        return token;
    }
    return Token();
}

bool RTFTokenizer::consumesFallbackCharacter() {
    if (skipCount_ <= 0) return false;
    --skipCount_;
    return true;
}

// After a backslash. An End token means the escape stands for nothing (a
// backslash at the end of the data, a \' without two bytes after it or with
// no hex number in them).
RTFTokenizer::Token RTFTokenizer::readControl() {
    if (position_ >= data_.size()) return Token();
    const char c = data_[position_];
    if (isLetter(c)) return readWord();
    ++position_;
    if (c == '\'') return readHexByte();
    Token token;
    token.kind = Token::Kind::Symbol;
    token.symbol = c;
    return token;
}

RTFTokenizer::Token RTFTokenizer::readWord() {
    const qsizetype size = data_.size();
    const qsizetype begin = position_;
    while (position_ < size && isLetter(data_[position_]) && position_ - begin < kMaxWordLength)
        ++position_;
    Token token;
    token.kind = Token::Kind::Word;
    token.word = QByteArray::fromRawData(data_.constData() + begin, position_ - begin);
    qint64 parameter = 0;
    bool negative = false;
    if (position_ + 1 < size && data_[position_] == '-' && isDigit(data_[position_ + 1])) {
        negative = true;
        ++position_;
    }
    int digits = 0;
    while (position_ < size && isDigit(data_[position_])) {
        if (digits++ < kMaxParameterDigits) parameter = parameter * 10 + (data_[position_] - '0');
        token.hasParameter = true;
        ++position_;
    }
    if (negative) parameter = -parameter;
    if (position_ < size && data_[position_] == ' ') ++position_;
    token.parameter = int(std::clamp<qint64>(parameter, INT_MIN, INT_MAX));
    if (token.word == "u") token.kind = Token::Kind::Unicode;
    if (token.word == "bin") return readBinary(token);
    return token;
}

// The hex number is read as Qt reads one (a sign or a space in it passes), as
// this reader always has.
RTFTokenizer::Token RTFTokenizer::readHexByte() {
    if (position_ + 2 > data_.size()) return Token();
    bool ok = false;
    const int value = QByteArray::fromRawData(data_.constData() + position_, 2).toInt(&ok, 16);
    position_ += 2;
    if (!ok) return Token();
    Token token;
    token.kind = Token::Kind::Byte;
    token.parameter = value;
    return token;
}

// The data of \binN is raw bytes: braces and backslashes in it are no syntax.
RTFTokenizer::Token RTFTokenizer::readBinary(Token word) {
    word.kind = Token::Kind::Binary;
    const qsizetype length = std::clamp<qsizetype>(word.parameter, 0, data_.size() - position_);
    word.text = QByteArrayView(data_.constData() + position_, length);
    position_ += length;
    return word;
}
