#include "util/FileNameRules.h"

#include <sys/stat.h>

#include <QFile>

#include "platform/foundation/FileNameLength.h"
#include "util/CharacterClasses.h"

namespace {

// The longest name the sanitizer lets through, in UTF-16 units. The byte
// limit of the file system is FileNameLength's.
constexpr qsizetype kMaxNameUnits = 255;

using CharacterClasses::isLineBreak;
using CharacterClasses::isWhiteSpace;
using CharacterClasses::isWhiteSpaceOrLineBreak;
using CharacterClasses::trimmed;

// The text after the last ".", or "" when there is no period.
QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

// The first `units` units of `text`, one fewer when the cut would split a
// surrogate pair (half a character is no character).
QString leftOnCodePoints(const QString& text, qsizetype units) {
    if (units > 0 && units < text.size() && text.at(units - 1).isHighSurrogate() &&
        text.at(units).isLowSurrogate())
        --units;
    return text.left(units);
}

QString cutToLength(const QString& text) {
    const QString extension = extensionOf(text);
    const qsizetype keptExtensionMax = kMaxNameUnits - 2;  // leaves one unit of base
    if (extension.isEmpty() || extension.size() > keptExtensionMax) {
        return leftOnCodePoints(text, kMaxNameUnits - 1);
    }
    return leftOnCodePoints(text, kMaxNameUnits - 1 - extension.size()) + u'.' + extension;
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

// Control characters that lay out text (tab, line breaks, NEL) read as a
// space; the others stand for nothing a reader sees.
char16_t replacementForControl(char16_t unit) {
    const bool laysOutText = (unit >= 0x0009 && unit <= 0x000D) || unit == 0x0085;
    return laysOutText ? u' ' : u'-';
}

bool isControl(char16_t unit) { return unit < 0x0020 || (unit >= 0x007F && unit <= 0x009F); }

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

// `name` (whose characters a file name can hold) as one component of a
// folder: never the folder itself or its parent, and within the length limit.
static QString asSingleComponent(const QString& name) {
    if (name == QStringLiteral(".")) return QStringLiteral("-");
    if (name == QStringLiteral("..")) return QStringLiteral("-.");
    return FileNameLength::fittedName(name);
}

QString safeFileName(const QString& name) {
    return asSingleComponent(withUnstorableUnitsReplaced(stringSanitizedForFileName(name)));
}

QString attachmentFileName(const QString& name) {
    QString result = withUnstorableUnitsReplaced(name);
    for (QChar& c : result) {
        if (isControl(c.unicode()))
            c = replacementForControl(c.unicode());
        else if (c == u'/')
            c = u'-';
    }
    return asSingleComponent(result);
}

QString makeFilenameUniqueInDirectoryAtURL(const QString& name, const QString& directoryPath) {
    const QString safe = safeFileName(name);
    if (!isItemPresent(directoryPath, safe)) return safe;

    const QString extension = extensionOf(safe);
    const QString base = extension.isEmpty() && !safe.endsWith(u'.')
                             ? safe
                             : safe.left(safe.size() - extension.size() - 1);
    for (long n = 1;; ++n) {
        const QString candidate = safeFileName(FileNameLength::numberedName(base, extension, n));
        if (!isItemPresent(directoryPath, candidate)) return candidate;
    }
}

QString makeFilenameUniqueInDirectoryAtURL(const QString& name, const QUrl& directory) {
    // Only local folders can be searched; elsewhere nothing is found.
    if (!directory.isLocalFile()) return safeFileName(name);
    return makeFilenameUniqueInDirectoryAtURL(name, directory.toLocalFile());
}

}  // namespace QVExtensions
