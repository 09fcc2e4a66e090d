#include "platform/foundation/FileNameLength.h"

#include <QTextBoundaryFinder>
#include <utility>

namespace FileNameLength {
namespace {

// Bytes that the code point starting at `i` takes in UTF-8, and its length in
// units (2 for a surrogate pair).
std::pair<qsizetype, qsizetype> utf8LengthAt(const QString& text, qsizetype i) {
    const char16_t unit = text.at(i).unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text.at(i + 1).unicode())) {
        return {4, 2};
    }
    if (unit < 0x80) return {1, 1};
    if (unit < 0x800) return {2, 1};
    return {3, 1};
}

// The end of the longest start of `text` within `maxBytes` that ends between
// code points.
qsizetype codePointCut(const QString& text, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const auto [b, units] = utf8LengthAt(text, end);
        if (bytes + b > maxBytes) break;
        bytes += b;
        end += units;
    }
    return end;
}

}  // namespace

qsizetype utf8Length(const QString& text) {
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [b, units] = utf8LengthAt(text, i);
        bytes += b;
        i += units;
    }
    return bytes;
}

QString leadingCharacters(const QString& text, qsizetype maxBytes) {
    if (maxBytes <= 0) return QString();
    qsizetype end = codePointCut(text, maxBytes);
    if (end == text.size()) return text;
    // A cut inside a grapheme cluster would leave, say, an emoji without its
    // variation selector or a letter without its accent: cut before the
    // cluster, unless it is the first one (then no character at all would
    // remain, and a code point cut is the lesser harm).
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    clusters.setPosition(end);
    if (!clusters.isAtBoundary()) {
        const qsizetype start = clusters.toPreviousBoundary();
        if (start > 0) end = start;
    }
    return text.left(end);
}

QString fittedBeforeSuffix(const QString& base, const QString& suffix, qsizetype maxBytes) {
    const qsizetype room = maxBytes - utf8Length(suffix);
    if (room < 0) return QString();
    const QString kept = leadingCharacters(base, room);
    if (kept.isEmpty() && !base.isEmpty()) return QString();
    return kept + suffix;
}

QString fittedName(const QString& name, qsizetype maxBytes) {
    if (utf8Length(name) <= maxBytes) return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0 && dot < name.size() - 1) {
        const QString kept = fittedBeforeSuffix(name.left(dot), name.mid(dot), maxBytes);
        if (!kept.isEmpty()) return kept;
    }
    return leadingCharacters(name, maxBytes);
}

QString numberedName(const QString& base, const QString& extension, long n, qsizetype maxBytes) {
    const QString number = u' ' + QString::number(n);
    if (extension.isEmpty()) return fittedBeforeSuffix(base, number, maxBytes);
    const QString result = fittedBeforeSuffix(base, number + u'.' + extension, maxBytes);
    if (!result.isEmpty()) return result;
    return fittedBeforeSuffix(base + u'.' + extension, number, maxBytes);
}

}  // namespace FileNameLength
