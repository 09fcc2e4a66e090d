#include "enex/EvernoteWebFrameExtensions.h"

#include <QSet>

#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"

namespace {

const QString kSubresources = QStringLiteral("WebSubresources");
const QString kSubframeArchives = QStringLiteral("WebSubframeArchives");
const QString kMainResource = QStringLiteral("WebMainResource");
const QString kResourceURL = QStringLiteral("WebResourceURL");
const QString kResponse = QStringLiteral("WebResourceResponse");

// The cached response archived again under "WebResourceResponse", the key a
// web archive's reader looks under, so that it reads back as a response and
// not as the bytes of another archive. Empty when the cache entry is unreadable.
QByteArray webResourceResponseData(const QByteArray& cachedArchive) {
    auto response = KeyedUnarchiver::unarchivedRootObject(cachedArchive);
    if (!response || response->isNull()) return {};
    KeyedArchiver archiver;
    archiver.encodeObject(*response, kResponse);
    return archiver.encodedData();
}

PlistDictionary addedSubresource(const WebResource& resource, const QString& urlText,
                                 const EvernoteWebFrameExtensions::CachedResponses& cached) {
    PlistDictionary added;
    added.set(QStringLiteral("WebResourceData"), resource.data());
    if (!resource.mimeType().isEmpty())
        added.set(QStringLiteral("WebResourceMIMEType"), resource.mimeType());
    added.set(kResourceURL, urlText);
    const auto response = cached.constFind(urlText);
    if (response != cached.constEnd()) {
        const QByteArray data = webResourceResponseData(*response);
        if (!data.isEmpty()) added.set(kResponse, data);
    }
    return added;
}

}  // namespace

namespace EvernoteWebFrameExtensions {

PlistDictionary webArchiveDictionaryWithDictionary(const WebFrame& frame,
                                                   const PlistDictionary& dictionary,
                                                   const CachedResponses& cachedResponses) {
    PlistDictionary completed = dictionary.mutableCopy();

    PlistArray subresources = dictionary.value(kSubresources).toArray().mutableCopy();
    QSet<QString> archivedURLs;
    for (const PlistValue& entry : subresources.values())
        archivedURLs.insert(entry.toDictionary().value(kResourceURL).toString());
    for (const WebResource& resource : frame.subresources()) {
        const QString urlText = resource.url().toString(QUrl::FullyEncoded);
        if (urlText.isEmpty() || resource.data().isEmpty() || archivedURLs.contains(urlText))
            continue;
        archivedURLs.insert(urlText);
        subresources.append(addedSubresource(resource, urlText, cachedResponses));
    }
    completed.set(kSubresources, subresources);

    PlistArray subframes;
    const PlistArray frameEntries = dictionary.value(kSubframeArchives).toArray();
    for (const PlistValue& entry : frameEntries.values()) {
        const PlistDictionary archive = entry.toDictionary();
        const QString name = archive.value(kMainResource)
                                 .toDictionary()
                                 .value(QStringLiteral("WebResourceFrameName"))
                                 .toString();
        const WebFrame* child = name.isEmpty() ? nullptr : frame.findFrameNamed(name);
        if (child)
            subframes.append(webArchiveDictionaryWithDictionary(*child, archive, cachedResponses));
    }
    completed.set(kSubframeArchives, subframes);
    return completed;
}

}  // namespace EvernoteWebFrameExtensions
