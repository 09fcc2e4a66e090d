// The passage ciphers against the published definitions of their parts, and
// against passages made independently (PassageEncryptor) as the note service
// makes them.
#include <gtest/gtest.h>

#include "tests/support/PassageEncryptor.h"
#include "util/PassageCipher.h"

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

QByteArray decoded(const QByteArray& base64) { return QByteArray::fromBase64(base64); }

}  // namespace

// RFC 2268, section 5: key, effective bits, plaintext, ciphertext.
TEST(PassageCipher, RC2MatchesTheRFC2268Vectors) {
    struct Vector {
        const char* key;
        int bits;
        const char* plaintext;
        const char* ciphertext;
    };
    const Vector vectors[] = {
        {"0000000000000000", 63, "0000000000000000", "ebb773f993278eff"},
        {"ffffffffffffffff", 64, "ffffffffffffffff", "278b27e42e2f0d49"},
        {"3000000000000000", 64, "1000000000000001", "30649edf9be7d2c2"},
        {"88", 64, "0000000000000000", "61a8a244adacccf0"},
        {"88bca90e90875a", 64, "0000000000000000", "6ccf4308974c267f"},
        {"88bca90e90875a7f0f79c384627bafb2", 64, "0000000000000000", "1a807d272bbe5db1"},
        {"88bca90e90875a7f0f79c384627bafb2", 128, "0000000000000000", "2269552ab0f85ca6"},
    };
    for (const Vector& v : vectors) {
        Error error;
        const auto encrypted =
            PassageCipher::rc2ECB(hex(v.key), v.bits, hex(v.plaintext), true, &error);
        ASSERT_TRUE(encrypted) << error.description().toStdString();
        EXPECT_EQ(encrypted->toHex(), QByteArray(v.ciphertext)) << v.key << " " << v.bits;
        const auto decrypted = PassageCipher::rc2ECB(hex(v.key), v.bits, *encrypted, false);
        ASSERT_TRUE(decrypted);
        EXPECT_EQ(decrypted->toHex(), QByteArray(v.plaintext));
    }
}

// NIST SP 800-38A, F.2.2 (CBC-AES128.Decrypt), the first two blocks.
TEST(PassageCipher, AESMatchesTheSP800_38AVector) {
    const auto plain = PassageCipher::aes128CBCDecrypt(
        hex("2b7e151628aed2a6abf7158809cf4f3c"), hex("000102030405060708090a0b0c0d0e0f"),
        hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"), false);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->toHex(),
              QByteArray("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"));
}

// RFC 7914, section 11: PBKDF2-HMAC-SHA256, "passwd", "salt", one iteration,
// and the RFC 6070-style vector "password"/"salt" at 4096 iterations.
TEST(PassageCipher, PBKDF2MatchesPublishedVectors) {
    EXPECT_EQ(PassageCipher::pbkdf2SHA256("passwd", "salt", 1, 64).toHex(),
              QByteArray("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                         "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"));
    EXPECT_EQ(PassageCipher::pbkdf2SHA256("password", "salt", 4096, 32).toHex(),
              QByteArray("c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"));
}

TEST(PassageCipher, OpensPassagesMadeAsTheServiceMakesThem) {
    const QByteArray text = "<div>Secret &amp; <b>bold</b></div>";
    const auto aes = PassageCipher::decryptAES(decoded(PassageEncryptor::aes(text, "pässword")),
                                               QByteArray("pässword"));
    ASSERT_TRUE(aes);
    EXPECT_EQ(*aes, text);
    const auto rc2 = PassageCipher::decryptRC2(decoded(PassageEncryptor::rc2(text, "pässword")),
                                               QByteArray("pässword"));
    ASSERT_TRUE(rc2);
    EXPECT_EQ(*rc2, text);  // check digits and padding zeros gone
}

TEST(PassageCipher, RefusesAWrongPassphrase) {
    Error error;
    EXPECT_FALSE(PassageCipher::decryptAES(decoded(PassageEncryptor::aes("x", "right")),
                                           QByteArray("wrong"), &error));
    EXPECT_EQ(error.code(), PassageCipherWrongPassphrase);
    error = Error();
    EXPECT_FALSE(PassageCipher::decryptRC2(decoded(PassageEncryptor::rc2("x", "right")),
                                           QByteArray("wrong"), &error));
    EXPECT_EQ(error.code(), PassageCipherWrongPassphrase);
}

TEST(PassageCipher, RefusesDamagedPassages) {
    const QByteArray aes = decoded(PassageEncryptor::aes("some text", "key"));
    struct Case {
        const char* what;
        QByteArray passage;
        long code;
    };
    QByteArray flippedMAC = aes;
    flippedMAC[flippedMAC.size() - 1] = char(flippedMAC.back() ^ 1);
    QByteArray flippedText = aes;
    flippedText[52] = char(flippedText[52] ^ 1);
    const Case cases[] = {
        {"bad HMAC", flippedMAC, PassageCipherWrongPassphrase},
        {"changed ciphertext", flippedText, PassageCipherWrongPassphrase},
        {"cut short", aes.first(40), PassageCipherMalformed},
        {"wrong header", QByteArray("ENC1") + aes.mid(4), PassageCipherMalformed},
        {"too large", QByteArray(PassageCipher::maximumPassageBytes + 1, 'A'),
         PassageCipherTooLarge},
    };
    for (const Case& c : cases) {
        Error error;
        EXPECT_FALSE(PassageCipher::decryptAES(c.passage, QByteArray("key"), &error)) << c.what;
        EXPECT_EQ(error.code(), c.code) << c.what;
    }
    const QByteArray rc2 = decoded(PassageEncryptor::rc2("some text", "key"));
    Error error;
    EXPECT_FALSE(PassageCipher::decryptRC2(rc2.chopped(3), QByteArray("key"), &error));
    EXPECT_EQ(error.code(), PassageCipherMalformed);
}

TEST(PassageCipher, CheckDigitsAreTheTopOfTheComplementedCRC32) {
    // CRC-32 of "123456789" is 0xCBF43926; its complement 0x340BC6D9.
    EXPECT_EQ(PassageCipher::rc2CheckDigits("123456789"), QByteArray("340B"));
    // CRC-32 of nothing is 0: the complement's top is FFFF.
    EXPECT_EQ(PassageCipher::rc2CheckDigits(""), QByteArray("FFFF"));
}
