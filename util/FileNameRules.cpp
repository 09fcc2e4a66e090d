#include "util/FileNameRules.h"

#include <sys/stat.h>

#include <QFile>

namespace {

// The longest name a component may have, in UTF-16 units (the rule of the
// names we write) and in UTF-8 bytes (what Linux file systems accept).
constexpr qsizetype kMaxNameUnits = 255;
constexpr qsizetype kMaxNameBytes = 255;

bool isWhiteSpace(char16_t unit) {
    return unit == 0x0009 || QChar::category(unit) == QChar::Separator_Space;
}

bool isLineBreak(char16_t unit) {
    return (unit >= 0x000A && unit <= 0x000D) || unit == 0x0085 || unit == 0x2028 || unit == 0x2029;
}

bool isWhiteSpaceOrLineBreak(char16_t unit) {
    switch (QChar::category(unit)) {
        case QChar::Separator_Space:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            return (unit >= 0x000A && unit <= 0x000D) || unit == 0x0085;
    }
}

template <typename Predicate>
QString trimmed(const QString& text, Predicate isTrimmed) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isTrimmed(text.at(start).unicode())) ++start;
    while (end > start && isTrimmed(text.at(end - 1).unicode())) --end;
    return text.mid(start, end - start);
}

// The text after the last ".", or "" when there is no period.
QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString cutToLength(const QString& text) {
    const QString extension = extensionOf(text);
    const qsizetype keptExtensionMax = kMaxNameUnits - 2;  // leaves one unit of base
    if (extension.isEmpty() || extension.size() > keptExtensionMax) {
        return text.left(kMaxNameUnits - 1);
    }
    return text.left(kMaxNameUnits - 1 - extension.size()) + u'.' + extension;
}

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

qsizetype utf8Length(const QString& text) {
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [b, units] = utf8LengthAt(text, i);
        bytes += b;
        i += units;
    }
    return bytes;
}

// The longest start of `text` within both limits that does not split a
// surrogate pair.
QString leadingCharacters(const QString& text, qsizetype maxUnits, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const auto [b, units] = utf8LengthAt(text, i);
        if (i + units > maxUnits || bytes + b > maxBytes) break;
        bytes += b;
        i += units;
    }
    return text.left(i);
}

// Units that no file system can store: NUL, and halves of surrogate pairs
// without their partner (what a cut at a unit count can leave behind).
QString withUnstorableUnitsReplaced(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
        } else if (unit == 0 || QChar::isSurrogate(unit)) {
            text[i] = u'-';
        }
    }
    return text;
}

// `base` shortened so that base + suffix fits both limits; when the suffix
// alone leaves no room, an empty string.
QString fitted(const QString& base, const QString& suffix) {
    const qsizetype units = kMaxNameUnits - suffix.size();
    const qsizetype bytes = kMaxNameBytes - utf8Length(suffix);
    if (units < 1 || bytes < 1) return QString();
    return leadingCharacters(base, units, bytes) + suffix;
}

QString shortenedToByteLimit(const QString& name) {
    if (utf8Length(name) <= kMaxNameBytes) return name;
    const QString extension = extensionOf(name);
    if (!extension.isEmpty()) {
        const QString base = name.left(name.size() - extension.size() - 1);
        const QString result = fitted(base, u'.' + extension);
        if (!result.isEmpty()) return result;
    }
    return leadingCharacters(name, kMaxNameUnits, kMaxNameBytes);
}

// "Base N.ext": the number goes between base and extension; when a long
// extension leaves no room for the base, the number goes at the very end.
QString numberedName(const QString& base, const QString& extension, long n) {
    const QString number = u' ' + QString::number(n);
    if (!extension.isEmpty()) {
        const QString result = fitted(base, number + u'.' + extension);
        if (!result.isEmpty()) return result;
        return fitted(base + u'.' + extension, number);
    }
    return fitted(base, number);
}

// Any item at all, a dangling symbolic link included, makes the name taken:
// writing through such a link would create a file somewhere else.
bool isItemPresent(const QString& directoryPath, const QString& name) {
    if (name.isEmpty()) return true;
    struct stat info;
    const QString path = directoryPath + u'/' + name;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

}  // namespace

namespace QVExtensions {

QString stringSanitizedForFileName(const QString& text) {
    QString name = trimmed(text, isWhiteSpaceOrLineBreak);
    if (name.startsWith(u'.')) name[0] = u'-';
    name.replace(u'/', u'-').replace(u':', u'-').replace(u'~', u'-');
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isLineBreak(name.at(i).unicode())) {
            name.truncate(i);
            break;
        }
    }
    name = trimmed(name, isWhiteSpace);
    if (name.size() > kMaxNameUnits) name = cutToLength(name);
    return name;
}

QString safeFileName(const QString& name) {
    QString safe = withUnstorableUnitsReplaced(stringSanitizedForFileName(name));
    // The sanitizer already turns a leading period into "-"; this guards the
    // two names that would mean the folder itself or its parent.
    if (safe == QStringLiteral(".")) return QStringLiteral("-");
    if (safe == QStringLiteral("..")) return QStringLiteral("-.");
    return shortenedToByteLimit(safe);
}

QString makeFilenameUniqueInDirectoryAtURL(const QString& name, const QString& directoryPath) {
    const QString safe = safeFileName(name);
    if (!isItemPresent(directoryPath, safe)) return safe;

    const QString extension = extensionOf(safe);
    const QString base = extension.isEmpty() && !safe.endsWith(u'.')
                             ? safe
                             : safe.left(safe.size() - extension.size() - 1);
    for (long n = 1;; ++n) {
        const QString candidate = safeFileName(numberedName(base, extension, n));
        if (!isItemPresent(directoryPath, candidate)) return candidate;
    }
}

QString makeFilenameUniqueInDirectoryAtURL(const QString& name, const QUrl& directory) {
    // Only local folders can be searched; elsewhere nothing is found.
    if (!directory.isLocalFile()) return safeFileName(name);
    return makeFilenameUniqueInDirectoryAtURL(name, directory.toLocalFile());
}

}  // namespace QVExtensions
