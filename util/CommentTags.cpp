#include "util/CommentTags.h"

#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/UserDefaults.h"
#include "util/ListExtensions.h"
#include "util/TextExtensions.h"

namespace {

const QString kBeginTags = QStringLiteral("###begin_tags###");
const QString kEndTags = QStringLiteral("###end_tags###");
const QString kStandardPrefixes = QStringLiteral("@&");

bool prefixesExportedTags() {
    return UserDefaults::standard().boolForKey(QStringLiteral("PMPrefixExportedTags"));
}

// "@", "&", and the characters of the imported-tags prefix setting unless it
// occurs whole in "@&".
QString tagPrefixes() {
    const QString imported =
        UserDefaults::standard().stringForKey(QStringLiteral("PMImportedTagsPrefix"));
    if (imported.isEmpty() || kStandardPrefixes.contains(imported)) return kStandardPrefixes;
    return kStandardPrefixes + imported;
}

QString withSpacesForSeparators(QString word) {
    return word.replace(u'_', u' ').replace(u'.', u' ');
}

bool isAtSign(char32_t c) { return c == u'@'; }

std::optional<QStringList> tagsInBlock(const QString& comments, qsizetype begin) {
    const qsizetype start = begin + kBeginTags.size();
    const qsizetype end = comments.indexOf(kEndTags, start);
    if (end < 0) return std::nullopt;
    QStringList tags;
    for (const QString& piece : comments.mid(start, end - start).split(u';')) {
        const QString tag = CharacterClasses::trimmed(piece, isAtSign);
        if (!tag.isEmpty()) tags.append(tag);
    }
    return tags;
}

QStringList prefixedWords(const QString& comments) {
    const QString prefixes = tagPrefixes();
    QStringList tags;
    for (const QString& word : comments.split(u' ')) {
        if (word.size() < 2 || !prefixes.contains(word.at(0))) continue;
        const QString tag = withSpacesForSeparators(word.mid(1));
        if (!tag.isEmpty()) tags.append(tag);
    }
    return tags;
}

QStringList everyWord(const QString& comments) {
    QStringList tags;
    for (const QString& word : comments.split(u' ')) {
        const QString tag = withSpacesForSeparators(word);
        if (!tag.isEmpty()) tags.append(tag);
    }
    return tags;
}

}  // namespace

namespace PMExtensions {

std::optional<QStringList> tagNamesFromSpotlightComments(const QString& comments) {
    if (const qsizetype begin = comments.indexOf(kBeginTags); begin >= 0)
        return tagsInBlock(comments, begin);
    return prefixesExportedTags() ? prefixedWords(comments) : everyWord(comments);
}

std::optional<QString> commentsFromSpotlightComments(const QString& comments) {
    if (!prefixesExportedTags()) return std::nullopt;
    if (const qsizetype begin = comments.indexOf(kBeginTags); begin > 0) {
        const QString before = QVExtensions::stringByTrimmingWhitespace(comments.left(begin));
        if (before.isEmpty()) return std::nullopt;
        return before;
    }
    const auto tags = tagNamesFromSpotlightComments(comments);
    if (tags && !tags->isEmpty()) return std::nullopt;
    return comments;
}

QStringList tagNamesOfFileAtPath(const QString& path) {
    const FileResourceValues values = resourceValues(path);
    QStringList tags;
    for (const QString& tag : values.tagNames.value_or(QStringList()))
        if (!tag.isEmpty()) tags.append(tag);
    if (values.comment)
        tags += tagNamesFromSpotlightComments(*values.comment).value_or(QStringList());
    return QVExtensions::arrayOfUniqueStrings(tags);
}

std::optional<QString> commentOfFileAtPath(const QString& path) {
    const FileResourceValues values = resourceValues(path);
    if (!values.comment) return std::nullopt;
    return commentsFromSpotlightComments(*values.comment);
}

}  // namespace PMExtensions
