#include "bench/SyntheticAttachment.h"

#include <openssl/evp.h>

#include <QList>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cmath>

#include "bench/SeededRandom.h"

namespace {

constexpr qint64 kStoredBlockLimit = 65535;          // largest stored deflate block
constexpr qint64 kPNGFixedBytes = 8 + 25 + 12 + 12;  // signature, IHDR, IDAT frame, IEND
constexpr qint64 kZlibFixedBytes = 2 + 4;            // header and Adler-32
constexpr qint64 kTextChunkMinimum = 12 + 8;  // a tEXt chunk with keyword "Comment" and its NUL

quint32 crc32Update(quint32 crc, const char* data, qsizetype size) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    for (qsizetype i = 0; i < size; ++i) crc = table[(crc ^ quint8(data[i])) & 0xff] ^ (crc >> 8);
    return crc;
}

quint32 adler32(const QByteArray& bytes) {
    constexpr quint32 kModulus = 65521;
    quint32 a = 1, b = 0;
    // Reducing every 5552 bytes keeps the sums within 32 bits.
    for (qsizetype start = 0; start < bytes.size(); start += 5552) {
        const qsizetype end = std::min<qsizetype>(bytes.size(), start + 5552);
        for (qsizetype i = start; i < end; ++i) {
            a += quint8(bytes[i]);
            b += a;
        }
        a %= kModulus;
        b %= kModulus;
    }
    return (b << 16) | a;
}

void appendBigEndian(QByteArray& out, quint32 value) {
    const quint32 big = qToBigEndian(value);
    out.append(reinterpret_cast<const char*>(&big), 4);
}

void appendPNGChunk(QByteArray& png, const char type[4], const QByteArray& data) {
    appendBigEndian(png, quint32(data.size()));
    const qsizetype typeStart = png.size();
    png.append(type, 4);
    png.append(data);
    appendBigEndian(
        png, crc32Update(0xffffffffu, png.constData() + typeStart, 4 + data.size()) ^ 0xffffffffu);
}

qint64 zlibStoredSize(qint64 rawBytes) {
    const qint64 blocks =
        std::max<qint64>(1, (rawBytes + kStoredBlockLimit - 1) / kStoredBlockLimit);
    return kZlibFixedBytes + blocks * 5 + rawBytes;
}

// A zlib stream holding `raw` in stored (uncompressed) deflate blocks.
QByteArray zlibStored(const QByteArray& raw) {
    QByteArray out;
    out.reserve(zlibStoredSize(raw.size()));
    out.append("\x78\x01", 2);  // deflate, 32 KB window, no dictionary; 0x7801 % 31 == 0
    qsizetype offset = 0;
    do {
        const qsizetype length = std::min<qsizetype>(kStoredBlockLimit, raw.size() - offset);
        const bool last = offset + length >= raw.size();
        out.append(char(last ? 1 : 0));
        out.append(char(length & 0xff)).append(char(length >> 8));
        out.append(char(~length & 0xff)).append(char((~length >> 8) & 0xff));
        out.append(raw.constData() + offset, length);
        offset += length;
    } while (offset < raw.size());
    appendBigEndian(out, adler32(raw));
    return out;
}

// Picks a near-square RGB image whose filtered rows fit in `rawBudget` bytes.
QPair<int, int> imageSizeForBudget(qint64 rawBudget) {
    const qint64 pixels = std::max<qint64>(1, rawBudget / 3);
    const int width = int(std::clamp<qint64>(qint64(std::sqrt(double(pixels))), 1, 1 << 20));
    const int height = int(std::clamp<qint64>(rawBudget / (1 + 3 * qint64(width)), 1, 1 << 20));
    return {width, height};
}

}  // namespace

SyntheticAttachment SyntheticAttachment::png(qint64 size, SeededRandom& random) {
    // Stored blocks cost 5 bytes per 64 KB; estimate the pixel budget, then shrink until it fits.
    qint64 rawBudget = std::max<qint64>(0, size - kPNGFixedBytes - kZlibFixedBytes);
    rawBudget -= 5 * (rawBudget / kStoredBlockLimit + 1);
    auto [width, height] = imageSizeForBudget(rawBudget);
    const qint64 rowBytes = 1 + 3 * qint64(width);
    while (height > 1 && kPNGFixedBytes + zlibStoredSize(rowBytes * height) > size) --height;

    QByteArray raw(rowBytes * height, Qt::Uninitialized);
    for (int row = 0; row < height; ++row) {
        char* line = raw.data() + row * rowBytes;
        line[0] = 0;  // filter type None
        random.fill(line + 1, rowBytes - 1);
    }

    QByteArray header;
    appendBigEndian(header, quint32(width));
    appendBigEndian(header, quint32(height));
    header.append("\x08\x02\x00\x00\x00",
                  5);  // 8 bits, truecolour, deflate, adaptive filters, no interlace

    SyntheticAttachment attachment;
    QByteArray& png = attachment.bytes_;
    const QByteArray idat = zlibStored(raw);
    raw.clear();
    png.reserve(std::max<qint64>(size, kPNGFixedBytes + idat.size()));
    png.append("\x89PNG\r\n\x1a\n", 8);
    appendPNGChunk(png, "IHDR", header);
    const qint64 gap = size - (kPNGFixedBytes + idat.size());
    if (gap >= kTextChunkMinimum)
        appendPNGChunk(png, "tEXt",
                       QByteArray("Comment\0", 8) + QByteArray(gap - kTextChunkMinimum, ' '));
    appendPNGChunk(png, "IDAT", idat);
    appendPNGChunk(png, "IEND", QByteArray());
    attachment.mime_ = QStringLiteral("image/png");
    attachment.width_ = width;
    attachment.height_ = height;
    return attachment;
}

namespace {

const char* const kPDFWords[] = {"ledger",   "harbour",  "quarterly", "review",   "margin",
                                 "summary",  "draft",    "invoice",   "meeting",  "schedule",
                                 "estimate", "archive",  "figure",    "appendix", "budget",
                                 "outline",  "proposal", "minutes",   "index",    "report"};

// One line of page text: a show-text operator on a new line.
QByteArray pdfTextLine(SeededRandom& random) {
    QByteArray line("(");
    const int words = int(random.between(6, 12));
    for (int i = 0; i < words; ++i) {
        if (i) line.append(' ');
        line.append(kPDFWords[random.below(std::size(kPDFWords))]);
    }
    line.append(") '\n");
    return line;
}

QByteArray pdfObject(int number, const QByteArray& body) {
    return QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
}

}  // namespace

SyntheticAttachment SyntheticAttachment::pdf(qint64 size, SeededRandom& random) {
    const QList<QByteArray> fixedObjects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> "
        ">> "
        "/Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    QByteArray pdf("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    QList<qint64> offsets;
    for (int i = 0; i < fixedObjects.size(); ++i) {
        offsets << pdf.size();
        pdf += pdfObject(i + 1, fixedObjects[i]);
    }

    // The cross-reference table and trailer take about 200 bytes; the stream fills the rest.
    constexpr qint64 kTrailerEstimate = 6 * 20 + 100;
    const qint64 streamTarget = size - pdf.size() - kTrailerEstimate - 60;
    QByteArray stream("BT /F1 10 Tf 12 TL 72 760 Td\n");
    while (stream.size() + 3 < streamTarget) {
        QByteArray line = pdfTextLine(random);
        if (stream.size() + 3 + line.size() > streamTarget) break;
        stream += line;
    }
    stream += "ET\n";
    offsets << pdf.size();
    pdf += pdfObject(5, "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" +
                            stream + "endstream");

    const qint64 xref = pdf.size();
    pdf += "xref\n0 6\n0000000000 65535 f \n";
    for (qint64 offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf +=
        "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";

    SyntheticAttachment attachment;
    attachment.bytes_ = pdf;
    attachment.mime_ = QStringLiteral("application/pdf");
    return attachment;
}

QString SyntheticAttachment::extension() const {
    return mime_ == QLatin1String("application/pdf") ? QStringLiteral("pdf")
                                                     : QStringLiteral("png");
}

QString SyntheticAttachment::md5Hex() const {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes_.constData(), size_t(bytes_.size()), digest, &length, EVP_md5(), nullptr);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}
