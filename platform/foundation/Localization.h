// Localized texts. The English text is the key; translations live in string
// tables "resources/<lang>.lproj/Localizable.strings" compiled in as Qt
// resources (":/<lang>.lproj/Localizable.strings"), in the "key" = "value";
// form. Without a translation the key itself is returned.
#pragma once

#include <QHash>
#include <QString>

// The text for `key` in the user's language. Thread-safe.
QString localizedString(const QString& key);
inline QString localizedString(const char* key) { return localizedString(QString::fromUtf8(key)); }

// Chooses the language explicitly (tests, or a command-line override); an
// empty name goes back to the user's locale.
void setLocalizationLanguage(const QString& language);

// Parses the text of a .strings table; exposed for tests. Understands
// "key" = "value"; pairs, C and C++ comments and the escapes \" \\ \n \t \Uxxxx.
QHash<QString, QString> parseStringsTable(const QString& text);
