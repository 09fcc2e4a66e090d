// Freedesktop desktop entries (".desktop" files): the keys of their
// "[Desktop Entry]" group. The file managers of Linux desktops use entries of
// type "Link" ("Type=Link" with a "URL=" key) as shortcuts to a web address
// or to another file, so they serve as bookmarks and as aliases.
//
// Only what such a file must be is accepted: UTF-8 text of at most 1 MiB with
// a "[Desktop Entry]" group. Values are unescaped ("\s", "\n", "\t", "\r",
// "\\"). Stateless, any thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <optional>

#include "platform/foundation/Error.h"

class DesktopEntry {
  public:
    // The entry in `data`; nullopt when it is not a desktop entry (see above).
    static std::optional<DesktopEntry> fromData(const QByteArray& data);
    // The entry in the file at `path`; nullopt when it cannot be read (a
    // POSIX-domain error) or is not a desktop entry (EINVAL).
    static std::optional<DesktopEntry> readFromFile(const QString& path, Error* error = nullptr);
    // True when `path` ends in ".desktop" (the only name such entries have).
    static bool hasDesktopEntryName(const QString& path);

    // The unescaped value of `key` in the "[Desktop Entry]" group; "" when absent.
    QString value(const QString& key) const;
    // The value of `key` for the user's language ("Name[de_DE]", "Name[de]"),
    // else the plain key's.
    QString localizedValue(const QString& key) const;

    QString type() const { return value(QStringLiteral("Type")); }
    bool isLink() const { return type() == QStringLiteral("Link"); }
    // The "URL" of a Link entry, parsed tolerantly; invalid when absent.
    QUrl url() const;

  private:
    QHash<QString, QString> values_;
};
