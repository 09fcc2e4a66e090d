#include "platform/web/WebURLResponse.h"

#include <QHash>

#include "platform/archive/ArchivedURL.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"

namespace {

const QString kHTTPResponseClass = QStringLiteral("NSHTTPURLResponse");
const QString kResponseClass = QStringLiteral("NSURLResponse");
const QString kRootKey = QStringLiteral("root");
const QString kWebResourceResponseKey = QStringLiteral("WebResourceResponse");

std::shared_ptr<ArchivableObject> decodeResponse(KeyedUnarchiver& coder, bool isHTTP) {
    const QUrl url = ArchivedURL::urlFromArchive(coder.decodeObject(QStringLiteral("NS.url")));
    const QString mimeType = coder.decodeObject(QStringLiteral("NS.mimeType")).toString();
    const qint64 length = coder.containsValueForKey(QStringLiteral("NS.expectedContentLength"))
                              ? coder.decodeInt64(QStringLiteral("NS.expectedContentLength"))
                              : -1;
    const QString encoding = coder.decodeObject(QStringLiteral("NS.textEncodingName")).toString();
    if (!isHTTP) return std::make_shared<WebURLResponse>(url, mimeType, length, encoding);
    WebURLResponse::HeaderFields headers;
    const ArchiveValue fields = coder.decodeObject(QStringLiteral("NS.allHeaderFields"));
    for (const auto& [name, value] : fields.dictionaryEntries())
        headers.append({name.toString(), value.toString()});
    const int status = coder.decodeInt(QStringLiteral("NS.statusCode"));
    return std::make_shared<WebURLResponse>(url, status, headers, mimeType, length, encoding);
}

QByteArray archive(const WebURLResponse& response, const QString& key) {
    KeyedArchiver archiver;
    archiver.encodeObject(std::make_shared<WebURLResponse>(response), key);
    return archiver.encodedData();
}

}  // namespace

WebURLResponse::WebURLResponse(QUrl url, QString mimeType, qint64 expectedContentLength,
                               QString textEncodingName)
    : url_(std::move(url)),
      mimeType_(std::move(mimeType)),
      expectedContentLength_(expectedContentLength),
      textEncodingName_(std::move(textEncodingName)) {}

WebURLResponse::WebURLResponse(QUrl url, int statusCode, HeaderFields headerFields,
                               QString mimeType, qint64 expectedContentLength,
                               QString textEncodingName)
    : WebURLResponse(std::move(url), std::move(mimeType), expectedContentLength,
                     std::move(textEncodingName)) {
    statusCode_ = statusCode;
    headerFields_ = std::move(headerFields);
}

QString WebURLResponse::valueForHeaderField(const QString& name) const {
    for (const auto& [field, value] : headerFields_)
        if (field.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

QString WebURLResponse::localizedStringForStatusCode(int statusCode) {
    static const QHash<int, const char*> texts = {
        {100, "continue"},
        {101, "switching protocols"},
        {200, "no error"},
        {201, "created"},
        {202, "accepted"},
        {203, "non-authoritative information"},
        {204, "no content"},
        {205, "reset content"},
        {206, "partial content"},
        {300, "multiple choices"},
        {301, "moved permanently"},
        {302, "found"},
        {303, "see other"},
        {304, "not modified"},
        {305, "needs proxy"},
        {307, "temporarily redirected"},
        {308, "permanently redirected"},
        {400, "bad request"},
        {401, "unauthorized"},
        {402, "payment required"},
        {403, "forbidden"},
        {404, "not found"},
        {405, "method not allowed"},
        {406, "unacceptable"},
        {407, "proxy authentication required"},
        {408, "request timed out"},
        {409, "conflict"},
        {410, "no longer exists"},
        {411, "length required"},
        {412, "precondition failed"},
        {413, "request too large"},
        {414, "requested URL too long"},
        {415, "unsupported media type"},
        {416, "requested range not satisfiable"},
        {417, "expectation failed"},
        {429, "too many requests"},
        {500, "internal server error"},
        {501, "unimplemented"},
        {502, "bad gateway"},
        {503, "service unavailable"},
        {504, "gateway timed out"},
        {505, "unsupported version"},
    };
    const auto it = texts.constFind(statusCode);
    return it == texts.constEnd() ? QString() : localizedString(*it);
}

QByteArray WebURLResponse::archivedData() const { return archive(*this, kRootKey); }

QByteArray WebURLResponse::webResourceResponseData() const {
    return archive(*this, kWebResourceResponseKey);
}

std::optional<WebURLResponse> WebURLResponse::fromArchivedData(const QByteArray& data,
                                                               Error* error) {
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(data, error);
    if (!unarchiver) return std::nullopt;
    unarchiver->setClassFactory(kHTTPResponseClass,
                                [](KeyedUnarchiver& c) { return decodeResponse(c, true); });
    unarchiver->setClassFactory(kResponseClass,
                                [](KeyedUnarchiver& c) { return decodeResponse(c, false); });
    const QString key =
        unarchiver->containsValueForKey(kRootKey) ? kRootKey : kWebResourceResponseKey;
    auto response = unarchiver->decodeObject(key).toObject<WebURLResponse>();
    if (!response) {
        Error(KeyedUnarchiver::errorDomain, KeyedUnarchiver::CorruptArchive,
              localizedString("The archive holds no URL response."))
            .report(error);
        return std::nullopt;
    }
    return *response;
}

QString WebURLResponse::className() const { return isHTTP() ? kHTTPResponseClass : kResponseClass; }

QStringList WebURLResponse::classChain() const {
    QStringList chain{kResponseClass, QStringLiteral("NSObject")};
    if (isHTTP()) chain.prepend(kHTTPResponseClass);
    return chain;
}

void WebURLResponse::encodeWithCoder(KeyedArchiver& coder) {
    coder.encodeObject(std::make_shared<ArchivedURL>(url_), QStringLiteral("NS.url"));
    coder.encodeObject(mimeType_.isEmpty() ? ArchiveValue() : ArchiveValue(mimeType_),
                       QStringLiteral("NS.mimeType"));
    coder.encodeInt64(expectedContentLength_, QStringLiteral("NS.expectedContentLength"));
    if (!textEncodingName_.isEmpty())
        coder.encodeObject(textEncodingName_, QStringLiteral("NS.textEncodingName"));
    if (!isHTTP()) return;
    coder.encodeInt(statusCode_, QStringLiteral("NS.statusCode"));
    ArchiveValue::Entries headers;
    headers.reserve(headerFields_.size());
    for (const auto& [name, value] : headerFields_) headers.emplace_back(name, value);
    coder.encodeObject(ArchiveValue::dictionary(std::move(headers)),
                       QStringLiteral("NS.allHeaderFields"));
}
