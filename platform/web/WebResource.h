// WebResource: one resource of a web archive (a page, an image, a style
// sheet) with its bytes, URL, MIME type, text encoding, the name of the frame
// it belongs to, and the keyed archive of the response that brought it.
//
// dictionary() gives the property-list form a web archive stores:
// "WebResourceData" (always, possibly empty), "WebResourceURL" (absolute
// text), "WebResourceMIMEType" and "WebResourceTextEncodingName" (when not
// empty), "WebResourceFrameName" (always on a main resource, otherwise when not
// empty) and "WebResourceResponse" (the response's keyed archive under the
// top-level key "WebResourceResponse", when there is one).
//
// A plain value. Thread-safe as values are.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/plist/PlistValue.h"
#include "platform/web/WebURLResponse.h"

class WebResource {
  public:
    WebResource() = default;
    WebResource(QByteArray data, QUrl url, QString mimeType, QString textEncodingName = QString(),
                QString frameName = QString());

    const QByteArray& data() const { return data_; }
    const QUrl& url() const { return url_; }
    const QString& mimeType() const { return mimeType_; }
    const QString& textEncodingName() const { return textEncodingName_; }
    const QString& frameName() const { return frameName_; }
    void setFrameName(const QString& name) { frameName_ = name; }

    // The response as stored: a keyed archive under "WebResourceResponse", or
    // empty. Kept as bytes so that an archive read from elsewhere is written
    // back unchanged.
    const QByteArray& responseData() const { return responseData_; }
    void setResponseData(const QByteArray& data) { responseData_ = data; }
    void setResponse(const WebURLResponse& response);
    // The stored response decoded, or nullopt when there is none or it is unreadable.
    std::optional<WebURLResponse> response() const;

    // The property-list form; `isMainResource` always writes the frame name.
    PlistDictionary dictionary(bool isMainResource) const;
    // Reads the property-list form. Fails (domain "WebArchiveErrorDomain", code
    // 2) when "WebResourceURL" is missing or not an absolute URL.
    static std::optional<WebResource> fromDictionary(const PlistDictionary& dictionary,
                                                     Error* error = nullptr);

  private:
    QByteArray data_;
    QUrl url_;
    QString mimeType_;
    QString textEncodingName_;
    QString frameName_;
    QByteArray responseData_;
};
