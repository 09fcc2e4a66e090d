#include "tests/support/PassageEncryptor.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <zlib.h>

#include <stdexcept>

namespace {

QByteArray randomBytes(int count) {
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        throw std::runtime_error("RAND_bytes failed");
    return bytes;
}

const unsigned char* u(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

QByteArray pbkdf2(const QByteArray& passphrase, const QByteArray& salt) {
    QByteArray key(16, '\0');
    PKCS5_PBKDF2_HMAC(passphrase.constData(), int(passphrase.size()), u(salt), int(salt.size()),
                      50000, EVP_sha256(), 16, reinterpret_cast<unsigned char*>(key.data()));
    return key;
}

QByteArray crypt(const EVP_CIPHER* cipher, const QByteArray& key, const QByteArray& iv,
                 const QByteArray& data, bool padded, int rc2Bits = 0) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(context, cipher, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(context, int(key.size()));
    if (rc2Bits) EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_SET_RC2_KEY_BITS, rc2Bits, nullptr);
    if (EVP_EncryptInit_ex(context, nullptr, nullptr, u(key), iv.isEmpty() ? nullptr : u(iv)) != 1)
        throw std::runtime_error("cipher init failed");
    EVP_CIPHER_CTX_set_padding(context, padded ? 1 : 0);
    QByteArray out(data.size() + 32, '\0');
    int n = 0, last = 0;
    auto* target = reinterpret_cast<unsigned char*>(out.data());
    EVP_EncryptUpdate(context, target, &n, u(data), int(data.size()));
    EVP_EncryptFinal_ex(context, target + n, &last);
    EVP_CIPHER_CTX_free(context);
    out.truncate(n + last);
    return out;
}

}  // namespace

namespace PassageEncryptor {

QByteArray aes(const QByteArray& plaintext, const QByteArray& passphrase) {
    const QByteArray salt = randomBytes(16), macSalt = randomBytes(16), iv = randomBytes(16);
    QByteArray passage = QByteArrayLiteral("ENC0") + salt + macSalt + iv +
                         crypt(EVP_aes_128_cbc(), pbkdf2(passphrase, salt), iv, plaintext, true);
    const QByteArray macKey = pbkdf2(passphrase, macSalt);
    unsigned char mac[32];
    unsigned int length = 0;
    HMAC(EVP_sha256(), macKey.constData(), int(macKey.size()), u(passage), size_t(passage.size()),
         mac, &length);
    passage.append(reinterpret_cast<const char*>(mac), int(length));
    return passage.toBase64();
}

QByteArray rc2(const QByteArray& plaintext, const QByteArray& passphrase) {
    static OSSL_LIB_CTX* const context = [] {
        OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
        OSSL_PROVIDER_load(made, "legacy");
        OSSL_PROVIDER_load(made, "default");
        return made;
    }();
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(context, "RC2-ECB", nullptr);
    if (!cipher) throw std::runtime_error("no RC2 in OpenSSL's legacy provider");
    QByteArray rest = plaintext;
    while ((rest.size() + 4) % 8 != 0) rest.append('\0');
    const quint32 crc = quint32(crc32(0, u(rest), uInt(rest.size())));
    const QByteArray check = QByteArray::number((~crc) >> 16, 16).toUpper().rightJustified(4, '0');
    QByteArray key(16, '\0');
    EVP_Digest(passphrase.constData(), size_t(passphrase.size()),
               reinterpret_cast<unsigned char*>(key.data()), nullptr, EVP_md5(), nullptr);
    const QByteArray encrypted = crypt(cipher, key, QByteArray(), check + rest, false, 64);
    EVP_CIPHER_free(cipher);
    return encrypted.toBase64();
}

QString element(const QByteArray& base64, const QString& cipher, const QString& length,
                const QString& hint) {
    QString attributes;
    if (!cipher.isEmpty()) attributes += QStringLiteral(" cipher=\"%1\"").arg(cipher);
    if (!length.isEmpty()) attributes += QStringLiteral(" length=\"%1\"").arg(length);
    attributes += QStringLiteral(" hint=\"%1\"").arg(hint.toHtmlEscaped());
    return QStringLiteral("<en-crypt%1>%2</en-crypt>").arg(attributes, QString::fromLatin1(base64));
}

}  // namespace PassageEncryptor
