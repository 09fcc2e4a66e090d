#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "enex/EvernoteXMLResource.h"
#include "util/Base64.h"

namespace {

EvernoteXMLResource resourceWith(const QByteArray& base64, const QString& mime = QString(),
                                 const QString& fileName = QString()) {
    EvernoteXMLResource r;
    r.base64Data = base64;
    r.mime = mime;
    r.attributes.filename = fileName;
    return r;
}

}  // namespace

TEST(Base64Test, IgnoresCharactersOutsideTheAlphabet) {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i) bytes.append(static_cast<char>(i * 7));
    QByteArray wrapped;
    const QByteArray plain = bytes.toBase64();
    for (qsizetype i = 0; i < plain.size(); i += 76) wrapped += plain.mid(i, 76) + "\r\n  ";
    EXPECT_EQ(decodeBase64IgnoringUnknownCharacters(wrapped), bytes);
    EXPECT_EQ(decodeBase64IgnoringUnknownCharacters("Zm9v\nYmFy"), QByteArray("foobar"));
    EXPECT_EQ(decodeBase64IgnoringUnknownCharacters("Zm8="), QByteArray("fo"));
    EXPECT_EQ(decodeBase64IgnoringUnknownCharacters("Zm8"), QByteArray("fo"));  // unpadded final group
}

TEST(Base64Test, PiecesSplitAnywhereDecodeLikeTheWhole) {
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i) bytes.append(static_cast<char>(i * 31 + 7));
    const QString text = QString::fromLatin1(bytes.toBase64());
    for (int piece : {1, 2, 3, 5, 76, 301}) {
        EvernoteXMLResource r;
        for (qsizetype i = 0; i < text.size(); i += piece) r.appendBase64Text(QStringView(text).mid(i, piece));
        EXPECT_EQ(r.getContentData(), bytes) << piece;
    }
}

TEST(Base64Test, FailsOnTextThatCannotEncodeBytes) {
    EXPECT_FALSE(decodeBase64IgnoringUnknownCharacters("Zm9vY").has_value());     // a lone final character
    EXPECT_FALSE(decodeBase64IgnoringUnknownCharacters("Zm8=Zm8=").has_value());  // data after padding
    EXPECT_FALSE(decodeBase64IgnoringUnknownCharacters("Zg===").has_value());     // too much padding
    EXPECT_FALSE(decodeBase64IgnoringUnknownCharacters(" \n\t").has_value());     // nothing at all
}

TEST(EvernoteXMLResourceTest, DecodesOnceAndReportsBothErrors) {
    auto empty = resourceWith("");
    Error error;
    EXPECT_FALSE(empty.getContentData(&error).has_value());
    EXPECT_EQ(error.domain(), QStringLiteral("EvernoteXMLResourceErrorDomain"));
    EXPECT_EQ(error.code(), 1001);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("No content data for resource."));

    auto invalid = resourceWith("Zm9vY");
    EXPECT_FALSE(invalid.getContentData(&error).has_value());
    EXPECT_EQ(error.code(), 1002);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Invalid content data for resource."));
    EXPECT_FALSE(invalid.md5Hash().has_value());

    auto good = resourceWith("Zm9v\nYmFy");
    EXPECT_EQ(good.getContentData(), QByteArray("foobar"));
    EXPECT_EQ(good.getContentData(), QByteArray("foobar"));  // cached after the text is released
}

TEST(EvernoteXMLResourceTest, DigestIsLowerCaseMD5OfTheBytes) {
    const QByteArray bytes("\x00\xff hello", 8);
    auto r = resourceWith(bytes.toBase64());
    const QString expected = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    EXPECT_EQ(r.md5Hash(), expected);
    EXPECT_EQ(r.md5Hash()->size(), 32);
}

TEST(EvernoteXMLResourceTest, ItemTypeFromMIMEThenExtension) {
    EXPECT_EQ(resourceWith("", QStringLiteral("image/png")).itemType(), 3);
    EXPECT_EQ(resourceWith("", QStringLiteral("audio/mpeg")).itemType(), 4);
    EXPECT_EQ(resourceWith("", QStringLiteral("video/mp4")).itemType(), 5);
    EXPECT_EQ(resourceWith("", QStringLiteral("text/html")).itemType(), 7);
    EXPECT_EQ(resourceWith("", QStringLiteral("application/pdf")).itemType(), 2);
    EXPECT_EQ(resourceWith("", QString(), QStringLiteral("Site.webloc")).itemType(), 6);
    EXPECT_EQ(resourceWith("", QString(), QStringLiteral("photo.JPG")).itemType(), 3);
    EXPECT_EQ(resourceWith("", QString(), QStringLiteral("scan")).itemType(), 2);
    EXPECT_EQ(resourceWith("", QString(), QString()).itemType(), 2);
    // The MIME type decides even when the name says otherwise.
    EXPECT_EQ(resourceWith("", QStringLiteral("application/pdf"), QStringLiteral("x.png")).itemType(), 2);
}
