#include "util/PassageCipher.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/md5.h>
#include <openssl/provider.h>
#include <zlib.h>

#include <memory>

namespace {

constexpr QByteArrayView kAESHeader("ENC0");
constexpr qsizetype kSaltBytes = 16;
constexpr qsizetype kIVBytes = 16;
constexpr qsizetype kMACBytes = 32;
constexpr int kAESKeyBytes = 16;
constexpr int kRC2EffectiveBits = 64;
constexpr qsizetype kRC2BlockBytes = 8;
constexpr qsizetype kCheckDigits = 4;

Error cipherError(long code, const QString& message) {
    return Error(kPassageCipherErrorDomain, code, message);
}

const unsigned char* bytes(QByteArrayView view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}

// Wipes a buffer that held key material when it goes out of scope.
struct WipedOnExit {
    QByteArray& buffer;
    ~WipedOnExit() {
        if (!buffer.isEmpty()) OPENSSL_cleanse(buffer.data(), size_t(buffer.size()));
    }
};

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// RC2 from a library context of its own that holds the legacy provider, made
// once for the process; null when the provider cannot be loaded.
const EVP_CIPHER* rc2Cipher() {
    static const EVP_CIPHER* const cipher = [] {
        OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
        if (!context || !OSSL_PROVIDER_load(context, "legacy") ||
            !OSSL_PROVIDER_load(context, "default"))
            return static_cast<EVP_CIPHER*>(nullptr);
        return EVP_CIPHER_fetch(context, "RC2-ECB", nullptr);
    }();
    return cipher;
}

// Runs an initialised context over `data` of whole blocks; nullopt when
// OpenSSL refuses (bad padding).
std::optional<QByteArray> runCipher(EVP_CIPHER_CTX* context, QByteArrayView data) {
    QByteArray out(data.size() + EVP_MAX_BLOCK_LENGTH, Qt::Uninitialized);
    int written = 0, last = 0;
    auto* target = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(context, target, &written, bytes(data), int(data.size())) != 1 ||
        EVP_CipherFinal_ex(context, target + written, &last) != 1)
        return std::nullopt;
    out.truncate(written + last);
    return out;
}

}  // namespace

QByteArray PassageCipher::pbkdf2SHA256(QByteArrayView passphrase, QByteArrayView salt,
                                       int iterations, int length) {
    QByteArray key(length, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(passphrase.data(), int(passphrase.size()), bytes(salt), int(salt.size()),
                          iterations, EVP_sha256(), length,
                          reinterpret_cast<unsigned char*>(key.data())) != 1)
        return QByteArray();
    return key;
}

std::optional<QByteArray> PassageCipher::aes128CBCDecrypt(QByteArrayView key, QByteArrayView iv,
                                                          QByteArrayView data, bool padded,
                                                          Error* error) {
    if (key.size() != kAESKeyBytes || iv.size() != kIVBytes || data.isEmpty() ||
        data.size() % kIVBytes != 0) {
        cipherError(PassageCipherMalformed,
                    QStringLiteral("The encrypted text is not made of whole AES blocks."))
            .report(error);
        return std::nullopt;
    }
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, bytes(key), bytes(iv)) != 1) {
        cipherError(PassageCipherUnavailable, QStringLiteral("AES-128-CBC is not available."))
            .report(error);
        return std::nullopt;
    }
    EVP_CIPHER_CTX_set_padding(context.get(), padded ? 1 : 0);
    auto plain = runCipher(context.get(), data);
    if (!plain)
        cipherError(PassageCipherWrongPassphrase,
                    QStringLiteral("The decrypted text has no valid padding."))
            .report(error);
    return plain;
}

std::optional<QByteArray> PassageCipher::rc2ECB(QByteArrayView key, int effectiveBits,
                                                QByteArrayView data, bool encrypting,
                                                Error* error) {
    if (key.isEmpty() || data.size() % kRC2BlockBytes != 0) {
        cipherError(PassageCipherMalformed,
                    QStringLiteral("The encrypted text is not made of whole RC2 blocks."))
            .report(error);
        return std::nullopt;
    }
    const EVP_CIPHER* cipher = rc2Cipher();
    CipherContext context(EVP_CIPHER_CTX_new());
    // The key's length and effective bits are set before the key itself.
    const bool ready =
        cipher && context &&
        EVP_CipherInit_ex(context.get(), cipher, nullptr, nullptr, nullptr, encrypting) == 1 &&
        EVP_CIPHER_CTX_set_key_length(context.get(), int(key.size())) == 1 &&
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_SET_RC2_KEY_BITS, effectiveBits, nullptr) ==
            1 &&
        EVP_CipherInit_ex(context.get(), nullptr, nullptr, bytes(key), nullptr, encrypting) == 1;
    if (!ready) {
        cipherError(PassageCipherUnavailable,
                    QStringLiteral("RC2 is not available (OpenSSL's legacy provider)."))
            .report(error);
        return std::nullopt;
    }
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    return runCipher(context.get(), data);
}

QByteArray PassageCipher::rc2CheckDigits(QByteArrayView rest) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes(rest), uInt(rest.size()));
    const quint32 top = (~quint32(crc)) >> 16;
    return QByteArray::number(top, 16).toUpper().rightJustified(kCheckDigits, '0');
}

std::optional<QByteArray> PassageCipher::decryptAES(QByteArrayView passage,
                                                    QByteArrayView passphrase, Error* error) {
    if (passage.size() > maximumPassageBytes) {
        cipherError(PassageCipherTooLarge, QStringLiteral("The encrypted text is too large."))
            .report(error);
        return std::nullopt;
    }
    const qsizetype headerBytes = kAESHeader.size() + 2 * kSaltBytes + kIVBytes;
    if (passage.size() < headerBytes + kIVBytes + kMACBytes || !passage.startsWith(kAESHeader)) {
        cipherError(PassageCipherMalformed,
                    QStringLiteral("The encrypted text does not hold an AES passage."))
            .report(error);
        return std::nullopt;
    }
    const QByteArrayView salt = passage.sliced(kAESHeader.size(), kSaltBytes);
    const QByteArrayView macSalt = passage.sliced(kAESHeader.size() + kSaltBytes, kSaltBytes);
    const QByteArrayView iv = passage.sliced(kAESHeader.size() + 2 * kSaltBytes, kIVBytes);
    const QByteArrayView signedPart = passage.first(passage.size() - kMACBytes);
    const QByteArrayView mac = passage.last(kMACBytes);

    QByteArray macKey = pbkdf2SHA256(passphrase, macSalt, aesKeyIterations, kAESKeyBytes);
    const WipedOnExit wipeMacKey{macKey};
    unsigned char expected[EVP_MAX_MD_SIZE];
    unsigned int expectedLength = 0;
    if (macKey.isEmpty() ||
        !HMAC(EVP_sha256(), macKey.constData(), int(macKey.size()), bytes(signedPart),
              size_t(signedPart.size()), expected, &expectedLength)) {
        cipherError(PassageCipherUnavailable, QStringLiteral("HMAC-SHA256 is not available."))
            .report(error);
        return std::nullopt;
    }
    if (expectedLength != kMACBytes || CRYPTO_memcmp(expected, mac.data(), kMACBytes) != 0) {
        cipherError(PassageCipherWrongPassphrase,
                    QStringLiteral("The passphrase does not open the passage, or it is damaged."))
            .report(error);
        return std::nullopt;
    }
    QByteArray key = pbkdf2SHA256(passphrase, salt, aesKeyIterations, kAESKeyBytes);
    const WipedOnExit wipeKey{key};
    return aes128CBCDecrypt(key, iv, signedPart.sliced(headerBytes), true, error);
}

std::optional<QByteArray> PassageCipher::decryptRC2(QByteArrayView passage,
                                                    QByteArrayView passphrase, Error* error) {
    if (passage.size() > maximumPassageBytes) {
        cipherError(PassageCipherTooLarge, QStringLiteral("The encrypted text is too large."))
            .report(error);
        return std::nullopt;
    }
    if (passage.size() < kRC2BlockBytes) {
        cipherError(PassageCipherMalformed,
                    QStringLiteral("The encrypted text does not hold an RC2 passage."))
            .report(error);
        return std::nullopt;
    }
    QByteArray key(MD5_DIGEST_LENGTH, Qt::Uninitialized);
    const WipedOnExit wipeKey{key};
    EVP_Digest(passphrase.data(), size_t(passphrase.size()),
               reinterpret_cast<unsigned char*>(key.data()), nullptr, EVP_md5(), nullptr);
    auto plain = rc2ECB(key, kRC2EffectiveBits, passage, false, error);
    if (!plain) return std::nullopt;
    const QByteArrayView rest = QByteArrayView(*plain).sliced(kCheckDigits);
    if (rc2CheckDigits(rest) != QByteArrayView(*plain).first(kCheckDigits)) {
        cipherError(PassageCipherWrongPassphrase,
                    QStringLiteral("The passphrase does not open the passage, or it is damaged."))
            .report(error);
        return std::nullopt;
    }
    QByteArray text = rest.toByteArray();
    while (text.endsWith('\0')) text.chop(1);
    return text;
}
