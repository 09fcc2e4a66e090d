// Base64 decoding as attachments need it: the standard alphabet, every
// character outside it (line breaks, spaces) ignored. The decoder takes its
// text in pieces, so an attachment of hundreds of megabytes is decoded as it
// is read and never held twice.
#pragma once

#include <QByteArray>
#include <QStringView>
#include <optional>
#include <utility>

class Base64Decoder {
  public:
    // Decodes the next piece of text.
    void append(QStringView text);
    void append(const QByteArray& text);
    bool hasInput() const { return hasInput_; }
    // The bytes decoded so far and not yet taken: those of every complete
    // group of four characters.
    qsizetype decodedSize() const { return out_.size(); }
    // Hands over those bytes and forgets them, so that a long text can be
    // decoded piece by piece into a file; finish() then gives the rest.
    QByteArray takeDecoded() { return std::exchange(out_, QByteArray()); }
    // The decoded bytes. Fails (nullopt) when the text held no base64 at all,
    // when "=" padding was followed by more base64, when there was more padding
    // than a final group allows, or when the last group is a single character
    // (which cannot encode a byte). A final group without its padding is
    // accepted. After takeDecoded(), only the bytes decoded since. The decoder
    // is spent afterwards.
    std::optional<QByteArray> finish();

  private:
    template <typename Char>
    void appendCharacters(const Char* begin, const Char* end);

    QByteArray out_;
    quint32 group_ = 0;
    int count_ = 0;    // characters in the current group
    int padding_ = 0;  // "=" seen so far
    bool failed_ = false;
    bool sawSymbol_ = false;
    bool hasInput_ = false;
};

// Decodes a whole text at once (see Base64Decoder::finish).
std::optional<QByteArray> decodeBase64IgnoringUnknownCharacters(const QByteArray& text);
