#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QImage>
#include <QRegularExpression>

#include "bench/SeededRandom.h"
#include "bench/SyntheticAttachment.h"

// Decoding through the image reader checks the chunk CRCs, the zlib stream
// and its Adler-32 as well as the header.
TEST(SyntheticAttachment, PNGDecodesAndHasTheAskedSize) {
    for (qint64 size : {2000, 65600, 300000}) {
        SeededRandom random(1, quint64(size));
        const SyntheticAttachment png = SyntheticAttachment::png(size, random);
        EXPECT_EQ(png.bytes().size(), size);
        const QImage image = QImage::fromData(png.bytes(), "PNG");
        ASSERT_FALSE(image.isNull()) << "size " << size;
        EXPECT_EQ(image.width(), png.width());
        EXPECT_EQ(image.height(), png.height());
        EXPECT_EQ(png.mime(), QStringLiteral("image/png"));
    }
}

TEST(SyntheticAttachment, TinyPNGIsStillAValidImage) {
    SeededRandom random(1);
    const SyntheticAttachment png = SyntheticAttachment::png(10, random);
    EXPECT_FALSE(QImage::fromData(png.bytes(), "PNG").isNull());
}

// A reader finds every object through the cross-reference table, so each
// offset must point at its object and the stream length must be exact.
TEST(SyntheticAttachment, PDFCrossReferencesPointAtTheirObjects) {
    SeededRandom random(2);
    const SyntheticAttachment pdf = SyntheticAttachment::pdf(50000, random);
    const QByteArray& bytes = pdf.bytes();
    EXPECT_TRUE(bytes.startsWith("%PDF-1.4\n"));
    EXPECT_TRUE(bytes.endsWith("%%EOF\n"));
    EXPECT_NEAR(double(bytes.size()), 50000.0, 200.0);

    const qsizetype startxref = bytes.lastIndexOf("startxref\n");
    const qint64 xref = bytes.mid(startxref + 10).split('\n').first().toLongLong();
    ASSERT_TRUE(bytes.mid(xref).startsWith("xref\n0 6\n"));
    const QList<QByteArray> entries = bytes.mid(xref + 9, 6 * 20).split('\n');
    for (int object = 1; object <= 5; ++object) {
        ASSERT_EQ(entries[object].size(), 19);  // 20 bytes with the newline
        const qint64 offset = entries[object].left(10).toLongLong();
        EXPECT_TRUE(bytes.mid(offset).startsWith(QByteArray::number(object) + " 0 obj\n"))
            << "object " << object;
    }

    const QRegularExpressionMatch length =
        QRegularExpression(QStringLiteral("/Length (\\d+) >>\nstream\n"))
            .match(QString::fromLatin1(bytes));
    ASSERT_TRUE(length.hasMatch());
    const qsizetype streamStart = length.capturedEnd();
    EXPECT_EQ(bytes.indexOf("endstream", streamStart) - streamStart,
              length.captured(1).toLongLong());
}

TEST(SyntheticAttachment, HashIsLowerCaseMD5OfTheBytes) {
    SeededRandom random(3);
    SyntheticAttachment pdf = SyntheticAttachment::pdf(1000, random);
    EXPECT_EQ(pdf.md5Hex(),
              QString::fromLatin1(
                  QCryptographicHash::hash(pdf.bytes(), QCryptographicHash::Md5).toHex()));
}
