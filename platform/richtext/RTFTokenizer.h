// RTFTokenizer: cuts RTF bytes into tokens: group starts and ends, control
// words with their parameters, control symbols, runs of text bytes, \'hh
// bytes and \uN characters. It knows no destination and keeps no group
// state; the reader drives it one token at a time.
//
// It also does the two things that need the raw bytes: it passes over the
// data of \binN (N bytes, or what is left of the input when fewer remain),
// and, when asked after a \uN, over the fallback characters that follow it.
// A fallback character is a text byte, a \'hh byte, a control word (\binN
// with its data) or a control symbol that stands for a character (\\ \{ \}
// \~ \- \_ and a backslash before a tab); a group start or end ends the
// skipping.
//
// Parameters are clamped to int; a control word is at most 32 letters (the
// letters after them are read as text). Line breaks and NUL bytes between
// tokens are no text. The tokenizer never reads past the end of the data and
// ends every input in time linear in its size.
//
// Ownership: the tokenizer refers to the caller's data, which must outlive
// it and the tokens it hands out. Not thread-safe; one per reading.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

class RTFTokenizer {
  public:
    struct Token {
        enum class Kind {
            End,         // no more input
            GroupStart,  // {
            GroupEnd,    // }
            Word,        // \word or \wordN: `word`, `hasParameter`, `parameter`
            Symbol,      // \ followed by a character that is no letter: `symbol`
            Text,        // bytes with no special meaning: `text`
            Byte,        // \'hh: `parameter` is the byte's value
            Unicode,     // \uN: `parameter` is N, as written (it may be negative)
            Binary,      // \binN: `word` is "bin", `parameter` N, `text` the data
        };
        Kind kind = Kind::End;
        QByteArray word;  // refers to the tokenizer's data, never copied
        bool hasParameter = false;
        int parameter = 0;
        char symbol = 0;
        QByteArrayView text;
    };

    // Tokenizes `data` from byte `start` on.
    RTFTokenizer(const QByteArray& data, qsizetype start) : data_(data), position_(start) {}

    // The next token; End once the data is used up (and on every later call).
    Token next();

    // Passes over the next `count` fallback characters (see above): the
    // substitute text for a \uN character in readers that do not know it.
    // Replaces a count still pending.
    void skipFallbackCharacters(int count) { skipCount_ = count > 0 ? count : 0; }

    // Ends the tokenizing: every later token is End.
    void stop() { position_ = data_.size(); }

  private:
    Token readControl();
    Token readWord();
    Token readHexByte();
    Token readBinary(Token word);
    bool consumesFallbackCharacter();

    const QByteArray& data_;
    qsizetype position_;
    int skipCount_ = 0;
};
