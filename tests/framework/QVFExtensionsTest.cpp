#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "Quorvel/QVFExtensions.h"
#include "tests/support/TestEnvironment.h"

using namespace QVFExtensions;

namespace {

QString hex(const std::optional<QByteArray>& digest) {
    return digest ? hexadecimalString(*digest) : QStringLiteral("(none)");
}

}  // namespace

TEST(Digests, MD5MatchesTheRFC1321TestSuite) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [input, expected] : vectors) {
        const auto digest = MD5Checksum(QByteArray(input));
        ASSERT_TRUE(digest.has_value());
        EXPECT_EQ(digest->size(), 16);
        EXPECT_EQ(hex(digest), QString::fromLatin1(expected)) << input;
    }
}

TEST(Digests, ShaFamilyAndHmacMatchKnownVectors) {
    EXPECT_EQ(hex(SHA1Digest("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex(SHA256Digest("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(digestOfType("abc", DigestType::SHA2, 224)),
              "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7");
    // RFC 4231, test cases 1 and 2.
    EXPECT_EQ(hex(SHA256HMACWithKey("Hi There", QByteArray(20, '\x0b'))),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(hex(SHA256HMACWithKey("what do ya want for nothing?", "Jefe")),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(Digests, UnsupportedLengthIsLoggedAndGivesNothing) {
    testing::internal::CaptureStderr();
    const auto digest = digestOfType("abc", DigestType::MD5, 256);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(digest.has_value());
    EXPECT_EQ(log.rfind("Error creating checksum: ", 0), 0u) << log;
}

TEST(HexadecimalString, TwoLowerCaseDigitsPerByte) {
    EXPECT_EQ(hexadecimalString(QByteArray("\x00\xff", 2)), "00ff");
    EXPECT_EQ(hexadecimalString(QByteArray("\xAB\x01", 2)), "ab01");
    EXPECT_EQ(hexadecimalString(QByteArray()), "");
}

TEST(IsDirectoryAtPath, PackagesAndFilesAreNotDirectories) {
    TestEnvironment env;
    const QString plain = env.path("Plain Folder");
    ASSERT_TRUE(QDir().mkpath(plain));
    ASSERT_TRUE(QDir().mkpath(env.path("Note.pmnote")));
    ASSERT_TRUE(QDir().mkpath(env.path("Tool.APP")));
    ASSERT_TRUE(QDir().mkpath(env.path("Text.rtfd")));
    env.writeFile("Unmarked/Contents/Info.plist", "<plist/>");
    const QString file = env.writeFile("file.txt", "x");
    ASSERT_EQ(::symlink(plain.toUtf8().constData(), env.path("link").toUtf8().constData()), 0);

    EXPECT_TRUE(isDirectoryAtPath(plain));
    EXPECT_TRUE(isDirectoryAtPath(plain + "/"));
    EXPECT_TRUE(isDirectoryAtPath(env.path("link")));
    EXPECT_FALSE(isDirectoryAtPath(env.path("Note.pmnote")));
    EXPECT_FALSE(isDirectoryAtPath(env.path("Tool.APP") + "/"));
    EXPECT_FALSE(isDirectoryAtPath(env.path("Text.rtfd")));
    EXPECT_FALSE(isDirectoryAtPath(env.path("Unmarked")));
    EXPECT_FALSE(isDirectoryAtPath(file));
    EXPECT_FALSE(isDirectoryAtPath(env.path("missing")));
}
