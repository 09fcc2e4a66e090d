#include "platform/web/WebResource.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/web/WebArchive.h"

namespace {
const QString kData = QStringLiteral("WebResourceData");
const QString kURL = QStringLiteral("WebResourceURL");
const QString kMIMEType = QStringLiteral("WebResourceMIMEType");
const QString kTextEncodingName = QStringLiteral("WebResourceTextEncodingName");
const QString kFrameName = QStringLiteral("WebResourceFrameName");
const QString kResponse = QStringLiteral("WebResourceResponse");
}  // namespace

WebResource::WebResource(QByteArray data, QUrl url, QString mimeType, QString textEncodingName,
                         QString frameName)
    : data_(std::move(data)),
      url_(std::move(url)),
      mimeType_(std::move(mimeType)),
      textEncodingName_(std::move(textEncodingName)),
      frameName_(std::move(frameName)) {}

void WebResource::setResponse(const WebURLResponse& response) {
    responseData_ = response.webResourceResponseData();
}

std::optional<WebURLResponse> WebResource::response() const {
    if (responseData_.isEmpty()) return std::nullopt;
    return WebURLResponse::fromArchivedData(responseData_);
}

PlistDictionary WebResource::dictionary(bool isMainResource) const {
    PlistDictionary dictionary;
    dictionary.set(kData, data_);
    if (isMainResource || !frameName_.isEmpty()) dictionary.set(kFrameName, frameName_);
    if (!mimeType_.isEmpty()) dictionary.set(kMIMEType, mimeType_);
    if (!responseData_.isEmpty()) dictionary.set(kResponse, responseData_);
    if (!textEncodingName_.isEmpty()) dictionary.set(kTextEncodingName, textEncodingName_);
    dictionary.set(kURL, url_.toString(QUrl::FullyEncoded));
    return dictionary;
}

std::optional<WebResource> WebResource::fromDictionary(const PlistDictionary& dictionary,
                                                       Error* error) {
    const QUrl url(dictionary.value(kURL).toString());
    if (!url.isValid() || url.isRelative()) {
        Error(WebArchive::errorDomain, WebArchive::InvalidResource,
              stringWithFormat(localizedString("The web resource URL \"%@\" is not valid."),
                               {dictionary.value(kURL).toString()}))
            .report(error);
        return std::nullopt;
    }
    WebResource resource(
        dictionary.value(kData).toData(), url, dictionary.value(kMIMEType).toString(),
        dictionary.value(kTextEncodingName).toString(), dictionary.value(kFrameName).toString());
    resource.setResponseData(dictionary.value(kResponse).toData());
    return resource;
}
