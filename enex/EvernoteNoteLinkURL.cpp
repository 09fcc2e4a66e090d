#include "enex/EvernoteNoteLinkURL.h"

#include <QList>
#include <QUrl>

namespace EvernoteNoteLinkURL {

namespace {

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "8-4-4-4-12" hexadecimal digits, the form of every note GUID.
bool isGUID(QStringView text) {
    static constexpr int kGroups[] = {8, 4, 4, 4, 12};
    if (text.size() != 36) return false;
    qsizetype at = 0;
    for (const int length : kGroups) {
        if (at > 0 && text[at++] != u'-') return false;
        for (int i = 0; i < length; ++i)
            if (!isHexDigit(text[at++])) return false;
    }
    return true;
}

std::optional<QString> guidAt(const QStringList& parts, qsizetype index) {
    if (index >= parts.size() || !isGUID(parts[index])) return std::nullopt;
    return parts[index].toLower();
}

// The service's own hosts, with any subdomain; a look-alike such as
// "evernote.com.example.org" or "myevernote.com" is not one of them.
bool isServiceHost(const QString& host) {
    for (const QLatin1StringView domain :
         {QLatin1StringView("evernote.com"), QLatin1StringView("yinxiang.com")})
        if (host == domain || host.endsWith(u'.' + QString(domain))) return true;
    return false;
}

bool isShareHost(const QString& host) {
    return host.startsWith(QLatin1StringView("share.")) && isServiceHost(host);
}

QStringList pathParts(const QUrl& url) {
    return url.path(QUrl::FullyDecoded).split(u'/', Qt::SkipEmptyParts);
}

// "name: value" with a property name of letters and dashes before the colon.
bool looksLikeProperty(QStringView declaration) {
    const qsizetype colon = declaration.indexOf(u':');
    if (colon <= 0) return false;
    const QStringView name = declaration.left(colon).trimmed();
    if (name.isEmpty()) return false;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() || c == u'-')) return false;
    return true;
}

QString unquoted(QStringView value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value.toString();
}

}  // namespace

std::optional<QString> noteGUIDFromURL(QStringView text) {
    const QUrl url(text.trimmed().toString(), QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    const QStringList parts = pathParts(url);
    if (scheme == QLatin1StringView("evernote")) {
        // evernote:///view/<user>/<shard>/<note guid>/…
        if (parts.value(0) != QLatin1StringView("view")) return std::nullopt;
        return guidAt(parts, 3);
    }
    if (scheme != QLatin1StringView("https") && scheme != QLatin1StringView("http"))
        return std::nullopt;
    const QString host = url.host().toLower();
    if (!isServiceHost(host)) return std::nullopt;
    if (isShareHost(host) && parts.value(0) == QLatin1StringView("note")) return guidAt(parts, 1);
    if (parts.value(0) != QLatin1StringView("shard") || parts.size() < 3) return std::nullopt;
    if (parts[2] == QLatin1StringView("nl")) return guidAt(parts, 4);  // …/nl/<user>/<guid>/
    if (parts[2] == QLatin1StringView("sh")) return guidAt(parts, 3);  // …/sh/<guid>/<key>
    return std::nullopt;
}

std::optional<RichLink> richLinkFromStyle(QStringView style) {
    // Declarations split at ";", a piece that is no declaration of its own
    // joined back to the one before it.
    QList<QString> declarations;
    for (const QStringView piece : style.split(u';')) {
        if (!declarations.isEmpty() && !looksLikeProperty(piece))
            declarations.last() += u';' + piece.toString();
        else
            declarations.append(piece.toString());
    }
    bool isCard = false;
    RichLink link;
    for (const QString& declaration : declarations) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon <= 0) continue;
        const QString name = declaration.left(colon).trimmed().toLower();
        const QStringView value = QStringView(declaration).mid(colon + 1);
        if (name == QLatin1StringView("--en-richlink"))
            isCard = unquoted(value).compare(QLatin1StringView("true"), Qt::CaseInsensitive) == 0;
        else if (name == QLatin1StringView("--en-href"))
            link.href = unquoted(value);
        else if (name == QLatin1StringView("--en-title"))
            link.title = unquoted(value);
    }
    if (!isCard) return std::nullopt;
    return link;
}

bool mayHoldNoteLinks(const QByteArray& enml) {
    // Every note link's path holds one of these as it stands (paths are
    // compared exactly); the service's name alone would not do, since every
    // note's document type names its host.
    return enml.contains("/view/") || enml.contains("/shard/") || enml.contains("/note/");
}

}  // namespace EvernoteNoteLinkURL
