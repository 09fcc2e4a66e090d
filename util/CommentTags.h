// Tag names and the remaining comment text in a file's comment. Pelmora
// writes tags into comments in one of two styles, and both are read:
// - a tag block: "###begin_tags###@work;@plans@###end_tags###", tags
//   separated by ";", each with "@" allowed at its ends;
// - single words marked by a prefix character ("@project_x &home.office"),
//   when the setting "PMPrefixExportedTags" is on; "_" and "." in such a
//   word stand for spaces. "@" and "&" are prefixes, and so is every
//   character of the setting "PMImportedTagsPrefix" unless that text occurs
//   whole in "@&".
// Without a block and with the setting off, every word is a tag.
//
// The settings are read from the standard user defaults at every call; both
// read as off or empty unless set. Words are split at single spaces only.
// Thread-safe (as UserDefaults is).
//
// On Linux a file's comment is its "user.xdg.comment" extended attribute and
// its tags the comma-separated "user.xdg.tags"; tagNamesOfFileAtPath and
// commentOfFileAtPath read a file's tags and comment from both.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace PMExtensions {

// The tags in `comments`, in order of appearance, duplicates kept: those of
// the first tag block (nullopt when it is opened and never closed; text
// outside it is ignored), else the prefixed words (setting on) or every word
// (setting off).
std::optional<QStringList> tagNamesFromSpotlightComments(const QString& comments);

// The comment without its tags; nullopt when the setting "PMPrefixExportedTags"
// is off, or when there is no such text: the text before a tag block (trimmed)
// when the block does not open the comment; otherwise the whole text,
// untrimmed, when it holds no tag.
std::optional<QString> commentsFromSpotlightComments(const QString& comments);

// The file's tags: those of "user.xdg.tags", then those found in its comment
// (tagNamesFromSpotlightComments), each name once. Empty when the file has
// neither or cannot be read.
QStringList tagNamesOfFileAtPath(const QString& path);
// The file's comment without its tags (commentsFromSpotlightComments of
// "user.xdg.comment"); nullopt when it has none.
std::optional<QString> commentOfFileAtPath(const QString& path);

}  // namespace PMExtensions
