// The two ciphers of encrypted note passages, as bytes: what a passage holds
// once its base64 is decoded, and the passphrase that opens it. Nothing here
// knows of notes or markup; the ENML side is EvernoteEncryptedPassages.
//
// AES: "ENC0", a 16-byte key salt, a 16-byte HMAC salt, a 16-byte IV, the
// AES-128-CBC ciphertext (PKCS#7 padding), and an HMAC-SHA256 of everything
// before it. Both keys are PBKDF2-HMAC-SHA256 of the passphrase, 50,000
// iterations, 16 bytes, one from each salt. The HMAC is checked, in constant
// time, before anything is decrypted.
// RC2: ECB with 64 effective key bits under the MD5 of the passphrase; the
// plaintext opens with four upper-case hex digits, the top 16 bits of the
// complement of the CRC-32 of the rest (trailing zero bytes included), which
// are then cut off. OpenSSL keeps RC2 in its legacy provider: it is loaded
// into a library context of its own, so the rest of the process never sees it.
//
// Errors: domain "PassageCipherErrorDomain" with PassageCipherErrorCode.
// Stateless, any thread. Key material derived here is wiped before returning.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "platform/foundation/Error.h"

inline const QString kPassageCipherErrorDomain = QStringLiteral("PassageCipherErrorDomain");
enum PassageCipherErrorCode : long {
    PassageCipherMalformed = 1,        // too short, wrong header, cut blocks
    PassageCipherWrongPassphrase = 2,  // the HMAC or the check digits do not match
    PassageCipherTooLarge = 3,         // beyond maximumPassageBytes
    PassageCipherUnavailable = 4,      // OpenSSL refused (no legacy provider for RC2)
};

class PassageCipher {
  public:
    // The largest passage either cipher takes; real ones are a few kilobytes.
    static constexpr qsizetype maximumPassageBytes = 4 << 20;
    static constexpr int aesKeyIterations = 50000;

    // The plaintext of an AES passage opened with `passphrase` (UTF-8 bytes).
    static std::optional<QByteArray> decryptAES(QByteArrayView passage, QByteArrayView passphrase,
                                                Error* error = nullptr);
    // The plaintext of an RC2 passage, its check digits and trailing zero bytes removed.
    static std::optional<QByteArray> decryptRC2(QByteArrayView passage, QByteArrayView passphrase,
                                                Error* error = nullptr);

    // The primitives, each as its published definition has it.
    // PBKDF2 with HMAC-SHA256: `length` bytes.
    static QByteArray pbkdf2SHA256(QByteArrayView passphrase, QByteArrayView salt, int iterations,
                                   int length);
    // AES-128-CBC decryption of whole blocks; with `padded`, PKCS#7 padding is
    // checked and removed. Fails (PassageCipherMalformed) on cut blocks or bad padding.
    static std::optional<QByteArray> aes128CBCDecrypt(QByteArrayView key, QByteArrayView iv,
                                                      QByteArrayView data, bool padded,
                                                      Error* error = nullptr);
    // RC2 ECB decryption and encryption of whole 8-byte blocks, no padding,
    // with `effectiveBits` effective key bits (RFC 2268).
    static std::optional<QByteArray> rc2ECB(QByteArrayView key, int effectiveBits,
                                            QByteArrayView data, bool encrypting,
                                            Error* error = nullptr);
    // The four check digits RC2 passages open with, for `rest`.
    static QByteArray rc2CheckDigits(QByteArrayView rest);
};
