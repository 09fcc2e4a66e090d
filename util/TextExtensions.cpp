#include "util/TextExtensions.h"

#include <QFile>
#include <QStringDecoder>

#include "platform/foundation/Format.h"
#include "util/FileNameRules.h"

using namespace CharacterClasses;

namespace {

// The longest start of a note's text that a generated file name is taken from.
constexpr qsizetype kGeneratedNameScanUnits = 128;

constexpr char16_t kObjectReplacement = 0xFFFC;

bool isNameTrimmed(char32_t c) { return c == u'.' || isWhiteSpaceOrLineBreak(c); }

bool endsWord(char32_t c) { return c == u'.' || isWhiteSpaceOrLineBreak(c); }

// Bytes that stand in a URL as they are: the unreserved and reserved
// characters of URLs, and "%" so that existing escapes survive.
bool isURLByte(unsigned char byte) {
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9'))
        return true;
    static const QByteArray kept("-._~:/?#[]@!$&'()*+,;=%");
    return kept.contains(static_cast<char>(byte));
}

// Where the word scan of generateFilename stops: it reads words separated
// by white space and line breaks, stops at or past `limit`, at the end, or
// before a word that would start with ".".
qsizetype wordScanEnd(const QString& text, qsizetype limit) {
    qsizetype position = 0;
    while (position < limit && position < text.size()) {
        qsizetype start = position;
        while (start < text.size() && isWhiteSpaceOrLineBreak(text.at(start).unicode())) ++start;
        qsizetype end = start;
        while (end < text.size() && !endsWord(text.at(end).unicode())) ++end;
        if (end == start) break;  // nothing readable: a "." or the end
        position = end;
    }
    return position;
}

}  // namespace

namespace QVExtensions {

QString stringByRemovingNewlinesAndTabs(const QString& text) {
    QString result = text;
    result.replace(u'\n', u' ').replace(u'\r', u' ').replace(u'\t', u' ');
    return trimmed(result, isWhiteSpace);
}

QString stringByRemovingNewlines(const QString& text) {
    QString result = text;
    result.replace(u'\n', u' ').replace(u'\r', u' ');
    return trimmed(result, isWhiteSpace);
}

QString stringByStandardizingNewlines(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == u'\r') {
            if (next == u'\n') ++i;
            result.append(u'\n');
        } else if (c == u'\n' && next == u'\r') {
            ++i;
            result.append(u'\n');
        } else {
            result.append(c);
        }
    }
    return result;
}

QString stringByTrimmingWhitespace(const QString& text) {
    return trimmed(text, isWhiteSpaceOrLineBreak);
}

QString stringByRemovingCharactersInSet(const QString& text, Predicate isRemoved) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool isPair =
            c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char32_t codePoint = isPair ? QChar::surrogateToUcs4(c, text.at(i + 1)) : c.unicode();
        if (!isRemoved(codePoint)) {
            result.append(c);
            if (isPair) result.append(text.at(i + 1));
        }
        if (isPair) ++i;
    }
    return result;
}

QString stringByRemovingControlAndIllegalCharacters(const QString& text) {
    return stringByRemovingCharactersInSet(stringByRemovingCharactersInSet(text, isControl),
                                           isIllegal);
}

QString stringByEscapingBackslashes(const QString& text) {
    QString result = text;
    return result.replace(u'\\', QStringLiteral("\\\\"));
}

QString stringByEscapingQuotes(const QString& text) {
    QString result = text;
    return result.replace(u'\'', QStringLiteral("\\'")).replace(u'"', QStringLiteral("\\\""));
}

bool startsWith(const QString& text, const QString& prefix) {
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

bool endsWith(const QString& text, const QString& suffix) {
    return text.endsWith(suffix, Qt::CaseInsensitive);
}

bool containsString(const QString& text, const QString& needle) {
    return !needle.isEmpty() && text.contains(needle, Qt::CaseInsensitive);
}

bool isCaseInsensitiveEqualToString(const QString& text, const QString& other) {
    return text.compare(other, Qt::CaseInsensitive) == 0;
}

QString percentEncodedURLString(const QString& text) {
    static const char hex[] = "0123456789ABCDEF";
    QString result;
    for (const char byte : text.toUtf8()) {
        const auto unit = static_cast<unsigned char>(byte);
        if (isURLByte(unit)) {
            result.append(QLatin1Char(byte));
        } else {
            result.append(u'%')
                .append(QLatin1Char(hex[unit >> 4]))
                .append(QLatin1Char(hex[unit & 0xF]));
        }
    }
    return result;
}

QString fileSystemRepresentationString(const QString& text) {
    return QFile::decodeName(QFile::encodeName(text));
}

QString fileDisplayName(const QString& path) {
    QString withoutSlashes = path;
    while (withoutSlashes.size() > 1 && withoutSlashes.endsWith(u'/')) withoutSlashes.chop(1);
    if (withoutSlashes == QStringLiteral("/")) return withoutSlashes;
    return withoutSlashes.mid(withoutSlashes.lastIndexOf(u'/') + 1);
}

std::optional<QString> generateFilename(const QString& text) {
    QString body = trimmed(text, isNameTrimmed);
    body.remove(QChar(kObjectReplacement));
    const qsizetype limit = std::min(body.size(), kGeneratedNameScanUnits);

    qsizetype end = -1;
    for (qsizetype i = 0; i < limit && end < 0; ++i) {
        const char16_t unit = body.at(i).unicode();
        if (isLineBreak(unit) || isControl(unit)) end = i;
    }
    if (end < 0) end = wordScanEnd(body, limit);

    const QString candidate = stringByTrimmingWhitespace(body.left(end));
    if (candidate.isEmpty()) return std::nullopt;
    return fileSystemRepresentationString(safeFileName(candidate));
}

std::optional<QString> stringWithCString(const char* bytes, QStringConverter::Encoding encoding,
                                         qsizetype length) {
    if (!bytes || length <= 0) return QStringLiteral("");
    const QByteArrayView data(bytes, qstrnlen(bytes, static_cast<size_t>(length)));
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

QString stringWithQuantity(long count, const QString& singularDescription,
                           const QString& pluralDescription) {
    return stringWithFormat(QStringLiteral("%ld %@"),
                            {count, count == 1 ? singularDescription : pluralDescription});
}

}  // namespace QVExtensions
