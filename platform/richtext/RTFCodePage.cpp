#include "platform/richtext/RTFCodePage.h"

#include <QStringDecoder>

namespace RTFCodePage {
namespace {

// Windows-1252 bytes 0x80-0x9F; 0 marks the five undefined bytes.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString decodeWindows1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x80 && value < 0xA0)
            text.append(QChar(kWindows1252High[value - 0x80] ? kWindows1252High[value - 0x80]
                                                             : char16_t(value)));
        else
            text.append(QChar(char16_t(value)));
    }
    return text;
}

QByteArray decoderName(int codePage) {
    switch (codePage) {
        case 932:
            return "Shift_JIS";
        case 936:
            return "GBK";
        case 949:
            return "windows-949";
        case 950:
            return "Big5";
        case 10000:
            return "macintosh";
        case 437:
            return "IBM437";
        case 850:
            return "IBM850";
        case 65001:
            return "UTF-8";
        default:
            return "windows-" + QByteArray::number(codePage);
    }
}

}  // namespace

QString decode(const QByteArray& bytes, int codePage) {
    if (codePage == 1252 || codePage <= 0) return decodeWindows1252(bytes);
    QStringDecoder decoder(decoderName(codePage).constData());
    if (!decoder.isValid() && codePage == 949) decoder = QStringDecoder("EUC-KR");
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

int windows1252ByteForCharacter(char16_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) return character;
    for (int i = 0; i < 32; ++i)
        if (kWindows1252High[i] == character && character != 0) return 0x80 + i;
    return -1;
}

int codePageForCharset(int charset) {
    switch (charset) {
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return 0;
    }
}

bool isDoubleByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

}  // namespace RTFCodePage
