// WebURLResponse: what a server (or the file system) answered for one URL:
// the final URL after redirects, the MIME type, the text encoding, the
// expected length and, for HTTP, the status code and the header fields.
//
// A response can be stored as a keyed archive, the form web archives carry:
// an instance of "NSHTTPURLResponse" (an HTTP answer) or "NSURLResponse"
// (a file), with the fields "NS.url" (a URL object), "NS.mimeType",
// "NS.expectedContentLength", "NS.textEncodingName" and, for HTTP,
// "NS.statusCode" and "NS.allHeaderFields". archivedData() stores it under the
// top-level key "root" (the cached form), webResourceResponseData() under
// "WebResourceResponse" (the form inside a web archive's resource).
//
// A plain value; copies are independent. Thread-safe as values are.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <optional>

#include "platform/archive/ArchivableObject.h"
#include "platform/foundation/Error.h"

class WebURLResponse : public ArchivableObject {
  public:
    using HeaderFields = QList<QPair<QString, QString>>;

    WebURLResponse() = default;
    // A response without HTTP status (a file).
    WebURLResponse(QUrl url, QString mimeType, qint64 expectedContentLength,
                   QString textEncodingName);
    // An HTTP response; statusCode must be 100..599.
    WebURLResponse(QUrl url, int statusCode, HeaderFields headerFields, QString mimeType,
                   qint64 expectedContentLength, QString textEncodingName);

    const QUrl& url() const { return url_; }
    const QString& mimeType() const { return mimeType_; }
    // -1 when unknown.
    qint64 expectedContentLength() const { return expectedContentLength_; }
    const QString& textEncodingName() const { return textEncodingName_; }
    bool isHTTP() const { return statusCode_ != 0; }
    // 0 for a response that is not HTTP.
    int statusCode() const { return statusCode_; }
    // The header fields in the order received, names as the server spelled them.
    const HeaderFields& allHeaderFields() const { return headerFields_; }
    // The value of the first header named `name` (compared case-insensitively), or a null QString.
    QString valueForHeaderField(const QString& name) const;

    // The text users see for an HTTP status code ("not found" for 404), or ""
    // for a code without one.
    static QString localizedStringForStatusCode(int statusCode);

    // The keyed archive of this response under "root".
    QByteArray archivedData() const;
    // The keyed archive of this response under "WebResourceResponse".
    QByteArray webResourceResponseData() const;
    // Reads a response from a keyed archive that holds one under "root" or
    // "WebResourceResponse". Fails (domain "KeyedArchiveErrorDomain") when the
    // data is no archive or holds no response.
    static std::optional<WebURLResponse> fromArchivedData(const QByteArray& data,
                                                          Error* error = nullptr);

    // ArchivableObject
    QString className() const override;
    QStringList classChain() const override;
    void encodeWithCoder(KeyedArchiver& coder) override;

  private:
    QUrl url_;
    QString mimeType_;
    qint64 expectedContentLength_ = -1;
    QString textEncodingName_;
    int statusCode_ = 0;
    HeaderFields headerFields_;
};
