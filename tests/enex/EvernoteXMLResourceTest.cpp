#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

#include "enex/EvernoteXMLResource.h"
#include "tests/support/TestEnvironment.h"
#include "util/Base64.h"

namespace {

std::unique_ptr<EvernoteXMLResource> resourceWith(const QByteArray& base64,
                                                  const QString& mime = QString(),
                                                  const QString& fileName = QString()) {
    auto r = std::make_unique<EvernoteXMLResource>();
    r->base64Data = base64;
    r->mime = mime;
    r->attributes.filename = fileName;
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
    EXPECT_EQ(decodeBase64IgnoringUnknownCharacters("Zm8"),
              QByteArray("fo"));  // unpadded final group
}

TEST(Base64Test, PiecesSplitAnywhereDecodeLikeTheWhole) {
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i) bytes.append(static_cast<char>(i * 31 + 7));
    const QString text = QString::fromLatin1(bytes.toBase64());
    for (int piece : {1, 2, 3, 5, 76, 301}) {
        EvernoteXMLResource r;
        for (qsizetype i = 0; i < text.size(); i += piece)
            r.appendBase64Text(QStringView(text).mid(i, piece));
        EXPECT_EQ(r.getContentData(), bytes) << piece;
    }
}

TEST(Base64Test, FailsOnTextThatCannotEncodeBytes) {
    EXPECT_FALSE(
        decodeBase64IgnoringUnknownCharacters("Zm9vY").has_value());  // a lone final character
    EXPECT_FALSE(
        decodeBase64IgnoringUnknownCharacters("Zm8=Zm8=").has_value());        // data after padding
    EXPECT_FALSE(decodeBase64IgnoringUnknownCharacters("Zg===").has_value());  // too much padding
    EXPECT_FALSE(decodeBase64IgnoringUnknownCharacters(" \n\t").has_value());  // nothing at all
}

TEST(Base64Test, MegabytesOfPaddingAloneFailWithoutGrowing) {
    const QString padding(8 << 20, u'=');
    Base64Decoder decoder;
    for (qsizetype i = 0; i < padding.size(); i += 65536) {
        decoder.append(QStringView(padding).mid(i, 65536));
        ASSERT_EQ(decoder.decodedSize(), 0);
    }
    EXPECT_FALSE(decoder.finish().has_value());
    auto resource = resourceWith(QByteArray(1 << 20, '='));
    Error error;
    EXPECT_FALSE(resource->getContentData(&error).has_value());
    EXPECT_EQ(error.code(), 1002);
}

TEST(EvernoteXMLResourceTest, DecodesOnceAndReportsBothErrors) {
    auto empty = resourceWith("");
    Error error;
    EXPECT_FALSE(empty->getContentData(&error).has_value());
    EXPECT_EQ(error.domain(), QStringLiteral("EvernoteXMLResourceErrorDomain"));
    EXPECT_EQ(error.code(), 1001);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("No content data for resource."));

    auto invalid = resourceWith("Zm9vY");
    EXPECT_FALSE(invalid->getContentData(&error).has_value());
    EXPECT_EQ(error.code(), 1002);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Invalid content data for resource."));
    EXPECT_FALSE(invalid->md5Hash().has_value());

    auto good = resourceWith("Zm9v\nYmFy");
    EXPECT_EQ(good->getContentData(), QByteArray("foobar"));
    EXPECT_EQ(good->getContentData(), QByteArray("foobar"));  // cached after the text is released
}

TEST(EvernoteXMLResourceTest, DigestIsLowerCaseMD5OfTheBytes) {
    const QByteArray bytes("\x00\xff hello", 8);
    auto r = resourceWith(bytes.toBase64());
    const QString expected =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    EXPECT_EQ(r->md5Hash(), expected);
    EXPECT_EQ(r->md5Hash()->size(), 32);
}

TEST(EvernoteXMLResourceTest, ItemTypeFromMIMEThenExtension) {
    EXPECT_EQ(resourceWith("", QStringLiteral("image/png"))->itemType(), 3);
    EXPECT_EQ(resourceWith("", QStringLiteral("audio/mpeg"))->itemType(), 4);
    EXPECT_EQ(resourceWith("", QStringLiteral("video/mp4"))->itemType(), 5);
    EXPECT_EQ(resourceWith("", QStringLiteral("text/html"))->itemType(), 7);
    EXPECT_EQ(resourceWith("", QStringLiteral("application/pdf"))->itemType(), 2);
    EXPECT_EQ(resourceWith("", QString(), QStringLiteral("Site.webloc"))->itemType(), 6);
    EXPECT_EQ(resourceWith("", QString(), QStringLiteral("photo.JPG"))->itemType(), 3);
    EXPECT_EQ(resourceWith("", QString(), QStringLiteral("scan"))->itemType(), 2);
    EXPECT_EQ(resourceWith("", QString(), QString())->itemType(), 2);
    // The MIME type decides even when the name says otherwise.
    EXPECT_EQ(
        resourceWith("", QStringLiteral("application/pdf"), QStringLiteral("x.png"))->itemType(),
        2);
}

TEST(EvernoteXMLResourceTest, LargeAttachmentIsDecodedIntoItsFileNeverIntoMemory) {
    TestEnvironment env;
    QByteArray bytes(20 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 12));
    const QString text = QString::fromLatin1(bytes.toBase64(QByteArray::Base64Encoding));
    constexpr qint64 kLimit = 256 * 1024;
    constexpr qsizetype kPiece = 64 * 1024;  // base64 characters, as the parser hands them on
    QString path;
    {
        EvernoteXMLResource r(env.root(), kLimit);
        qint64 mostInMemory = 0;
        for (qsizetype i = 0; i < text.size(); i += kPiece) {
            r.appendBase64Text(QStringView(text).mid(i, kPiece));
            mostInMemory = std::max(mostInMemory, r.bytesInMemory());
        }
        Error error;
        ASSERT_TRUE(r.finishDecoding(&error)) << error.description().toStdString();
        EXPECT_LT(mostInMemory, kLimit + kPiece);
        EXPECT_EQ(r.bytesInMemory(), 0);
        path = r.contentsPath();
        ASSERT_FALSE(path.isEmpty());
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith(u'.'));  // hidden in the notebook folder
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bytes);
        EXPECT_EQ(
            r.md5Hash(),
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()));
    }
    EXPECT_FALSE(QFile::exists(path));  // the file goes with the resource

    // A single attachment's file becomes the item by a link, never a copy;
    // the spool file goes with the resource.
    const QString target = env.path(QStringLiteral("item.bin"));
    struct stat spooled {};
    {
        EvernoteXMLResource linked(env.root(), kLimit);
        linked.appendBase64Text(text);
        ASSERT_TRUE(linked.finishDecoding());
        ASSERT_EQ(::stat(QFile::encodeName(linked.contentsPath()).constData(), &spooled), 0);
        ASSERT_TRUE(linked.writeToURL(target));
    }
    struct stat item {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &item), 0);
    EXPECT_EQ(item.st_ino, spooled.st_ino);
    EXPECT_EQ(QDir(env.root()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("item.bin")});
}

TEST(EvernoteXMLResourceTest, SmallAttachmentStaysInMemoryAndBadTextLeavesNoFile) {
    TestEnvironment env;
    EvernoteXMLResource small(env.root(), 1024);
    small.appendBase64Text(QStringLiteral("Zm9vYmFy"));
    EXPECT_TRUE(small.finishDecoding());
    EXPECT_TRUE(small.contentsPath().isEmpty());
    EXPECT_EQ(small.getContentData(), QByteArray("foobar"));

    EvernoteXMLResource broken(env.root(), 16);
    broken.appendBase64Text(QString::fromLatin1(QByteArray(4096, 'x').toBase64()) +
                            QStringLiteral("=A"));
    Error error;
    EXPECT_FALSE(broken.finishDecoding(&error));
    EXPECT_EQ(error.code(), 1002);
    EXPECT_TRUE(broken.contentsPath().isEmpty());
    EXPECT_TRUE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(EvernoteXMLResourceTest, AttachmentThatCouldNotBeStoredSaysWhy) {
    TestEnvironment env;
    EvernoteXMLResource r(env.path(QStringLiteral("no such folder")), 16);
    r.appendBase64Text(QString::fromLatin1(QByteArray(4096, 'x').toBase64()));
    Error error;
    EXPECT_FALSE(r.finishDecoding());
    EXPECT_FALSE(r.wasStored(&error));
    EXPECT_EQ(error.domain(), QStringLiteral("NSPOSIXErrorDomain"));
    EXPECT_EQ(error.code(), ENOENT);

    EvernoteXMLResource fine(env.root(), 16);
    fine.appendBase64Text(QString::fromLatin1(QByteArray(4096, 'x').toBase64()));
    EXPECT_TRUE(fine.finishDecoding());
    EXPECT_TRUE(fine.wasStored());
}

// An attachment that would eat the disk's last free space fails alone and
// leaves nothing behind; where the free space is unknown, the write decides.
TEST(EvernoteXMLResourceTest, AttachmentLargerThanTheFreeSpaceFailsBeforeFillingTheDisk) {
    TestEnvironment env;
    const QString text = QString::fromLatin1(QByteArray(64 * 1024, 'x').toBase64());
    const auto spooled = [&](EvernoteXMLResource::FreeSpaceQuery query, Error* error) {
        EvernoteXMLResource r(env.root(), 1024);
        r.attributes.filename = QStringLiteral("scan.pdf");
        r.setFreeSpaceQuery(std::move(query));
        for (qsizetype i = 0; i < text.size(); i += 4096)
            r.appendBase64Text(QStringView(text).mid(i, 4096));
        return r.finishDecoding(error) && r.wasStored();
    };

    // A disk with `free` bytes before the attachment: the spool file takes from them.
    qint64 free = 0;
    const auto disk = [&](const QString& folder) {
        qint64 used = 0;
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
            used += file.size();
        return std::optional<qint64>(free - used);
    };
    Error error;
    free = EvernoteXMLResource::kFreeSpaceReserve + 40 * 1024;  // room for part of it only
    EXPECT_FALSE(spooled(disk, &error));
    EXPECT_EQ(error.domain(), kEvernoteXMLResourceErrorDomain);
    EXPECT_EQ(error.code(), EvernoteXMLResourceNotEnoughSpace);
    EXPECT_TRUE(error.description().contains(QStringLiteral("“scan.pdf”")))
        << error.description().toStdString();
    EXPECT_TRUE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    free = EvernoteXMLResource::kFreeSpaceReserve + 64 * 1024;
    EXPECT_TRUE(spooled(disk, nullptr));
    EXPECT_TRUE(spooled([](const QString&) { return std::optional<qint64>(); }, nullptr));
}
