// Makes encrypted passages as the note service writes them, straight from
// OpenSSL, for tests of the decryption: independent of the program's own
// cipher code, so that both read the byte format the same way only if both
// follow it.
#pragma once

#include <QByteArray>
#include <QString>

namespace PassageEncryptor {

// The base64 of an AES passage of `plaintext` under `passphrase`:
// "ENC0", salt, HMAC salt, IV, AES-128-CBC ciphertext, HMAC-SHA256.
QByteArray aes(const QByteArray& plaintext, const QByteArray& passphrase);
// The base64 of an RC2 passage: check digits, `plaintext`, zero bytes up to
// a whole block, RC2-ECB (64 effective bits) under the passphrase's MD5.
QByteArray rc2(const QByteArray& plaintext, const QByteArray& passphrase);
// An "en-crypt" element holding `base64`, with the attributes given (an
// empty `cipher` or `length` is left out).
QString element(const QByteArray& base64, const QString& cipher, const QString& length,
                const QString& hint);

}  // namespace PassageEncryptor
