// The pasteboard conversion of PMWebBookmarkFile (see its header for the
// MIME types and their forms).
#include <QClipboard>
#include <QStringDecoder>
#include <QStringEncoder>

#include "formats/PMWebBookmarkFile.h"
#include "platform/plist/PlistValue.h"
#include "util/TextExtensions.h"

namespace {

const QString kTitledURLsType = QStringLiteral("text/x-moz-url");
const QString kDictionariesType = QStringLiteral("application/x-pelmora-bookmark-dictionaries");
const QString kURLListType = QStringLiteral("text/uri-list");
const QString kURLNameType = QStringLiteral("application/x-pelmora-url-name");
const QString kTextType = QStringLiteral("text/plain");
const QString kMailMessageType = QStringLiteral("text/x-moz-message");
const QString kItemLinkType = QStringLiteral("application/x-pelmora-itemlink");
const QString kMailto = QStringLiteral("mailto:");

// Pasteboards larger than this hold no bookmarks worth reading.
constexpr qsizetype kMaximumDataSize = 16 << 20;

bool isMailMessageScheme(const QString& scheme) {
    static const QStringList schemes = {
        QStringLiteral("message"), QStringLiteral("x-postbox-message"),
        QStringLiteral("imap-message"), QStringLiteral("mailbox-message"),
        QStringLiteral("news-message")};
    return schemes.contains(scheme);
}

QByteArray dataOfType(const QMimeData* pasteboard, const QString& type) {
    const QByteArray data = pasteboard->data(type);
    return data.size() > kMaximumDataSize ? QByteArray() : data;
}

// Browsers write "text/x-moz-url" in UTF-16 (little-endian, with or without
// a byte-order mark); other programs in UTF-8. Text with NUL bytes is UTF-16.
QString decodedTitledURLs(const QByteArray& data) {
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16).decode(data);
    if (data.contains('\0')) return QStringDecoder(QStringConverter::Utf16LE).decode(data);
    return QString::fromUtf8(data);
}

struct TitledURL {
    QString url;
    QString title;
};

QList<TitledURL> titledURLs(const QMimeData* pasteboard) {
    QStringList lines = decodedTitledURLs(dataOfType(pasteboard, kTitledURLsType)).split(u'\n');
    QList<TitledURL> entries;
    for (qsizetype i = 0; i < lines.size(); i += 2) {
        const QString url = lines.at(i).trimmed();
        const QString title =
            i + 1 < lines.size() ? QString(lines.at(i + 1)).remove(u'\r') : QString();
        if (!url.isEmpty()) entries.append({url, title});
    }
    return entries;
}

PlistArray bookmarkDictionaries(const QMimeData* pasteboard) {
    const auto plist = PlistValue::fromData(dataOfType(pasteboard, kDictionariesType));
    return plist && plist->type() == PlistValue::Type::Array ? plist->toArray() : PlistArray();
}

QString urlTextOrPlaceholder(const PMWebBookmarkFile& bookmark) {
    const QString text = bookmark.URL().toString(QUrl::FullyEncoded);
    return text.isEmpty() ? PMWebBookmarkFile::placeholderURLString : text;
}

}  // namespace

QStringList PMWebBookmarkFile::bookmarksPasteboardTypes() {
    return {kTitledURLsType, kDictionariesType, kURLListType, kTextType};
}

bool PMWebBookmarkFile::canInitWithPasteboard(const QMimeData* pasteboard) {
    if (!pasteboard) return false;
    if (pasteboard->hasFormat(kMailMessageType)) return false;
    if (pasteboard->hasUrls() && !pasteboard->urls().isEmpty() &&
        isMailMessageScheme(pasteboard->urls().constFirst().scheme()))
        return false;
    if (pasteboard->hasFormat(kItemLinkType)) return false;
    if (pasteboard->hasFormat(kTitledURLsType) || pasteboard->hasFormat(kURLListType)) return true;
    if (pasteboard->hasFormat(kDictionariesType)) {
        const PlistArray dictionaries = bookmarkDictionaries(pasteboard);
        return !dictionaries.isEmpty() && !dictionaries.at(0)
                                               .toDictionary()
                                               .value(QStringLiteral("address"))
                                               .toString()
                                               .isEmpty();
    }
    if (pasteboard->hasText()) {
        const QString text = pasteboard->text();
        return (text.contains(QStringLiteral("://")) || text.contains(u'@')) &&
               !text.contains(u' ') && !urlWithString(text).isEmpty();
    }
    return false;
}

QList<PMWebBookmarkFile> PMWebBookmarkFile::bookmarksWithPasteboard(const QMimeData* pasteboard) {
    QList<PMWebBookmarkFile> bookmarks;
    if (!pasteboard) return bookmarks;
    if (pasteboard->hasFormat(kTitledURLsType)) {
        for (const TitledURL& entry : titledURLs(pasteboard)) {
            QUrl url = urlWithString(entry.url);
            if (url.isEmpty())
                url = urlWithString(QVExtensions::percentEncodedURLString(entry.url));
            if (!url.isEmpty()) bookmarks.append(bookmarkWithName(entry.title, url));
        }
    } else if (pasteboard->hasUrls()) {
        const QList<QUrl> urls = pasteboard->urls();
        if (!urls.isEmpty() && !urls.constFirst().isEmpty())
            bookmarks.append(bookmarkWithName(
                QString::fromUtf8(dataOfType(pasteboard, kURLNameType)), urls.constFirst()));
    } else if (pasteboard->hasText()) {
        QString text = pasteboard->text();
        if (text.contains(u'@') && !text.contains(QStringLiteral("://")) &&
            !text.startsWith(kMailto))
            text.prepend(kMailto);
        const QUrl url = urlWithString(text);
        if (!url.isEmpty()) {
            const QString urlText = url.toString();
            bookmarks.append(bookmarkWithName(
                urlText.startsWith(kMailto) ? urlText.mid(kMailto.size()) : QString(), url));
        }
    }
    return bookmarks;
}

bool PMWebBookmarkFile::writeBookmarkFiles(const QList<PMWebBookmarkFile>& bookmarks,
                                           QMimeData* pasteboard) {
    if (bookmarks.isEmpty() || !pasteboard) return false;
    QStringList lines;
    PlistArray dictionaries;
    for (const PMWebBookmarkFile& bookmark : bookmarks) {
        lines << urlTextOrPlaceholder(bookmark) << bookmark.name();
        PlistDictionary dictionary;
        dictionary.set(QStringLiteral("label"), bookmark.name());
        dictionary.set(QStringLiteral("address"), urlTextOrPlaceholder(bookmark));
        dictionaries.append(dictionary);
    }
    pasteboard->setData(kTitledURLsType,
                        QStringEncoder(QStringConverter::Utf16LE).encode(lines.join(u'\n')));
    pasteboard->setData(kDictionariesType,
                        PlistValue(dictionaries).serialize(PlistValue::Format::Binary));
    const QUrl& first = bookmarks.constFirst().URL();
    if (!first.isEmpty()) pasteboard->setUrls({first});
    pasteboard->setText(first.toString(QUrl::FullyEncoded));
    return true;
}

bool PMWebBookmarkFile::writeBookmarkFiles(const QList<PMWebBookmarkFile>& bookmarks,
                                           QClipboard* clipboard) {
    if (bookmarks.isEmpty() || !clipboard) return false;
    auto* data = new QMimeData;
    writeBookmarkFiles(bookmarks, data);
    clipboard->setMimeData(data);  // takes ownership
    return true;
}
