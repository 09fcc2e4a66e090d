#include "platform/web/WebArchive.h"

#include "platform/foundation/Localization.h"

namespace {
const QString kMainResource = QStringLiteral("WebMainResource");
const QString kSubresources = QStringLiteral("WebSubresources");
const QString kSubframeArchives = QStringLiteral("WebSubframeArchives");
// Real pages nest frames a few levels; far deeper input is malformed and
// would only exhaust the stack.
constexpr int kMaximumFrameDepth = 64;
}  // namespace

const QString WebArchive::errorDomain = QStringLiteral("WebArchiveErrorDomain");

WebArchive::WebArchive(WebResource mainResource, QList<WebResource> subresources,
                       std::vector<WebArchive> subframeArchives)
    : mainResource_(std::move(mainResource)),
      subresources_(std::move(subresources)),
      subframeArchives_(std::move(subframeArchives)) {}

PlistDictionary WebArchive::dictionary() const {
    PlistDictionary dictionary;
    dictionary.set(kMainResource, mainResource_.dictionary(true));
    if (!subresources_.isEmpty()) {
        PlistArray resources;
        for (const WebResource& resource : subresources_)
            resources.append(resource.dictionary(false));
        dictionary.set(kSubresources, resources);
    }
    if (!subframeArchives_.empty()) {
        PlistArray frames;
        for (const WebArchive& frame : subframeArchives_) frames.append(frame.dictionary());
        dictionary.set(kSubframeArchives, frames);
    }
    return dictionary;
}

QByteArray WebArchive::data() const {
    return PlistValue(dictionary()).serialize(PlistValue::Format::Binary);
}

std::optional<WebArchive> WebArchive::fromDictionary(const PlistDictionary& dictionary,
                                                     Error* error) {
    return fromDictionary(dictionary, 0, error);
}

std::optional<WebArchive> WebArchive::fromDictionary(const PlistDictionary& dictionary, int depth,
                                                     Error* error) {
    if (depth > kMaximumFrameDepth) {
        Error(errorDomain, NotAnArchive,
              localizedString("The web archive nests its frames too deeply."))
            .report(error);
        return std::nullopt;
    }
    const PlistValue main = dictionary.value(kMainResource);
    if (main.type() != PlistValue::Type::Dictionary) {
        Error(errorDomain, NotAnArchive,
              localizedString("The data is not a web archive: it has no main resource."))
            .report(error);
        return std::nullopt;
    }
    auto mainResource = WebResource::fromDictionary(main.toDictionary(), error);
    if (!mainResource) return std::nullopt;

    QList<WebResource> subresources;
    const PlistArray subresourceEntries = dictionary.value(kSubresources).toArray();
    for (const PlistValue& entry : subresourceEntries.values()) {
        if (entry.type() != PlistValue::Type::Dictionary) continue;
        auto resource = WebResource::fromDictionary(entry.toDictionary(), error);
        if (!resource) return std::nullopt;
        subresources.append(*resource);
    }
    std::vector<WebArchive> frames;
    const PlistArray frameEntries = dictionary.value(kSubframeArchives).toArray();
    for (const PlistValue& entry : frameEntries.values()) {
        if (entry.type() != PlistValue::Type::Dictionary) continue;
        auto frame = fromDictionary(entry.toDictionary(), depth + 1, error);
        if (!frame) return std::nullopt;
        frames.push_back(std::move(*frame));
    }
    return WebArchive(std::move(*mainResource), std::move(subresources), std::move(frames));
}

std::optional<WebArchive> WebArchive::fromData(const QByteArray& data, Error* error) {
    auto plist = PlistValue::fromData(data, error);
    if (!plist) return std::nullopt;
    return fromDictionary(plist->toDictionary(), error);
}
