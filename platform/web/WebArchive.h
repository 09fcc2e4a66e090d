// WebArchive: a page saved whole, as a property list: the main resource
// ("WebMainResource"), the resources it uses ("WebSubresources") and the
// archives of its frames ("WebSubframeArchives", each a complete archive of
// its own). The two arrays are left out when empty. data() writes the archive
// as a binary plist; fromData() reads binary or XML.
//
// A plain value. Thread-safe as values are.
#pragma once

#include <QByteArray>
#include <QList>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/plist/PlistValue.h"
#include "platform/web/WebResource.h"

class WebArchive {
  public:
    static const QString errorDomain;  // "WebArchiveErrorDomain"
    enum ErrorCode { NotAnArchive = 1, InvalidResource = 2 };

    WebArchive() = default;
    WebArchive(WebResource mainResource, QList<WebResource> subresources,
               std::vector<WebArchive> subframeArchives = {});

    const WebResource& mainResource() const { return mainResource_; }
    const QList<WebResource>& subresources() const { return subresources_; }
    const std::vector<WebArchive>& subframeArchives() const { return subframeArchives_; }

    // The property-list form (a new dictionary each call).
    PlistDictionary dictionary() const;
    // The binary plist of dictionary().
    QByteArray data() const;

    // Reads the property-list form. Fails with NotAnArchive when
    // "WebMainResource" is missing, InvalidResource when a resource has no
    // valid URL or frames nest more than 64 deep; entries of the arrays that are not dictionaries
    // are skipped.
    static std::optional<WebArchive> fromDictionary(const PlistDictionary& dictionary,
                                                    Error* error = nullptr);
    // Reads a binary or XML plist; plist errors are passed on ("PlistErrorDomain").
    static std::optional<WebArchive> fromData(const QByteArray& data, Error* error = nullptr);

  private:
    static std::optional<WebArchive> fromDictionary(const PlistDictionary& dictionary, int depth,
                                                    Error* error);

    WebResource mainResource_;
    QList<WebResource> subresources_;
    std::vector<WebArchive> subframeArchives_;
};
