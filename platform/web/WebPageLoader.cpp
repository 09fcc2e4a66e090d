#include "platform/web/WebPageLoader.h"

#include <QAuthenticator>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>

#include "platform/foundation/Localization.h"
#include "platform/uti/UniformTypes.h"
#include "platform/web/WebPageLoaderDelegate.h"
#include "platform/web/WebURLResponse.h"

namespace {

constexpr int kMaximumRedirects = 20;
constexpr int kMaximumFrameDepth = 8;
constexpr int kMaximumSubresources = 1000;
constexpr int kMaximumImportDepth = 16;

using Kind = WebSubresourceScanner::Reference::Kind;

Error loaderError(int code, const char* text) {
    return Error(WebPageLoader::errorDomain, code, localizedString(text));
}

Error errorForReply(QNetworkReply::NetworkError error, const QString& detail) {
    switch (error) {
        case QNetworkReply::ConnectionRefusedError:
            return loaderError(WebPageLoader::CannotConnectToHost,
                               "Could not connect to the server.");
        case QNetworkReply::RemoteHostClosedError:
            return loaderError(WebPageLoader::NetworkConnectionLost,
                               "The network connection was lost.");
        case QNetworkReply::HostNotFoundError:
            return loaderError(WebPageLoader::CannotFindHost,
                               "A server with the specified hostname could not be found.");
        case QNetworkReply::TimeoutError:
            return loaderError(WebPageLoader::TimedOut, "The request timed out.");
        case QNetworkReply::OperationCanceledError:
            return loaderError(WebPageLoader::Cancelled, "cancelled");
        case QNetworkReply::SslHandshakeFailedError:
            return loaderError(WebPageLoader::SecureConnectionFailed,
                               "A secure connection to the server cannot be made.");
        case QNetworkReply::TooManyRedirectsError:
            return loaderError(WebPageLoader::TooManyRedirects, "too many HTTP redirects");
        case QNetworkReply::InsecureRedirectError:
        case QNetworkReply::ProtocolUnknownError:
            return loaderError(WebPageLoader::UnsupportedURL, "unsupported URL");
        case QNetworkReply::ContentNotFoundError:
            return loaderError(WebPageLoader::FileDoesNotExist, "The file does not exist.");
        case QNetworkReply::ContentAccessDenied:
            return loaderError(WebPageLoader::NoPermissionsToReadFile,
                               "You don't have permission to read the file.");
        case QNetworkReply::ProtocolFailure:
            return loaderError(WebPageLoader::BadServerResponse,
                               "The server's answer was not valid.");
        default:
            return Error(WebPageLoader::errorDomain, WebPageLoader::Unknown, detail);
    }
}

bool isHTMLType(const QString& mimeType) {
    return mimeType == u"text/html" || mimeType == u"application/xhtml+xml";
}

QString mimeTypeFromContentType(const QByteArray& contentType) {
    return QString::fromLatin1(contentType.split(';').first()).trimmed().toLower();
}

QString charsetFromContentType(const QByteArray& contentType) {
    for (const QByteArray& parameter : contentType.split(';').mid(1)) {
        const QByteArray trimmed = parameter.trimmed();
        if (trimmed.toLower().startsWith("charset="))
            return QString::fromLatin1(trimmed.mid(8)).remove(u'"').remove(u'\'').trimmed();
    }
    return {};
}

// The MIME type a server did not send: by the name's extension, then by the first bytes.
QString guessedMIMEType(const QUrl& url, const QByteArray& data) {
    return UniformTypes::guessedMIMEType(url.fileName(), data);
}

QString decodeText(const QByteArray& data, const QString& encoding) {
    QStringDecoder decoder(encoding.isEmpty() ? "UTF-8" : encoding.toLatin1().constData());
    if (!decoder.isValid()) return QString::fromUtf8(data);
    return decoder.decode(data);
}

int frameDepth(const WebFrame* frame) {
    int depth = 0;
    for (; frame->parentFrame(); frame = frame->parentFrame()) ++depth;
    return depth;
}

bool isInAncestry(const WebFrame* frame, const QUrl& url) {
    for (; frame; frame = frame->parentFrame())
        if (frame->url() == url || frame->requestedURL() == url) return true;
    return false;
}

}  // namespace

struct WebPageLoader::Result {
    Error error;  // no response at all
    std::optional<WebURLResponse> response;
    QByteArray data;
};

const QString WebPageLoader::errorDomain = QStringLiteral("WebPageLoaderErrorDomain");

WebPageLoader::WebPageLoader(QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    loadTimer_.setSingleShot(true);
    connect(&loadTimer_, &QTimer::timeout, this, &WebPageLoader::loadTimedOut);
    connect(network_, &QNetworkAccessManager::authenticationRequired, this,
            &WebPageLoader::authenticationRequired);
}

WebPageLoader::~WebPageLoader() {
    delegate_ = nullptr;
    abortAll();
}

void WebPageLoader::load(const QUrl& url) {
    stopLoading();
    ++generation_;
    loading_ = true;
    mainFrame_ = std::make_unique<WebFrame>(QString(), url, nullptr);
    loadTimer_.start(timeout_);
    // Reported from the event loop, never from inside load().
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == generation_ && loading_) startFrame(mainFrame_.get());
        },
        Qt::QueuedConnection);
}

void WebPageLoader::stopLoading() {
    if (!loading_) return;
    endLoad(loaderError(Cancelled, "cancelled"));
}

void WebPageLoader::endLoad(const Error& error) {
    loading_ = false;
    ++generation_;
    loadTimer_.stop();
    abortAll();
    if (!delegate_ || !mainFrame_) return;
    if (mainFrame_->hasDocument())
        delegate_->didFailLoad(this, error, mainFrame_.get());
    else
        delegate_->didFailProvisionalLoad(this, error, mainFrame_.get());
}

void WebPageLoader::loadTimedOut() {
    if (loading_) endLoad(loaderError(TimedOut, "The request timed out."));
}

void WebPageLoader::abortAll() {
    const auto requests = std::exchange(requests_, {});
    pending_.clear();
    for (auto it = requests.begin(); it != requests.end(); ++it) {
        QNetworkReply* reply = it.key();
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

bool WebPageLoader::mayLoad(const WebFrame* frame, const QUrl& url) const {
    if (!WebSubresourceScanner::isLoadableURL(url)) return false;
    if (!url.isLocalFile()) return true;
    // Local files only for a local page, and only from its own folder.
    const QUrl page = mainFrame_->url();
    if (!page.isLocalFile() || !frame->url().isLocalFile()) return false;
    const QString root = QFileInfo(page.toLocalFile()).canonicalPath();
    const QString target = QFileInfo(url.toLocalFile()).canonicalFilePath();
    return !root.isEmpty() && !target.isEmpty() &&
           target.startsWith(root.endsWith(u'/') ? root : root + u'/');
}

void WebPageLoader::startFrame(WebFrame* frame) {
    const QUrl url = frame->requestedURL();
    if (!WebSubresourceScanner::isLoadableURL(url)) {
        pending_[frame] = 0;
        frameFailed(frame, loaderError(UnsupportedURL, "unsupported URL"));
        return;
    }
    Request request;
    request.frame = frame;
    request.role = Role::Document;
    request.identifier =
        delegate_ ? delegate_->identifierForInitialRequest(this, url, frame) : QString();
    pending_[frame] = 1;
    send(url, request);
}

void WebPageLoader::requestSubresource(WebFrame* frame, const QUrl& url, bool fromDocument,
                                       Kind kind, int importDepth) {
    if (importDepth > kMaximumImportDepth || !mayLoad(frame, url)) return;
    if (frame->subresourceSlotCount() >= kMaximumSubresources) return;
    const int slot = frame->reserveSubresource(url, fromDocument);
    if (slot < 0) return;
    Request request;
    request.frame = frame;
    request.role = Role::Subresource;
    request.slot = slot;
    request.kind = kind;
    request.importDepth = importDepth;
    request.identifier =
        delegate_ ? delegate_->identifierForInitialRequest(this, url, frame) : QString();
    ++pending_[frame];
    send(url, request);
}

void WebPageLoader::send(const QUrl& url, Request request) {
    QNetworkRequest networkRequest(url);
    networkRequest.setMaximumRedirectsAllowed(kMaximumRedirects);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                QNetworkRequest::AlwaysNetwork);
    networkRequest.setHeader(QNetworkRequest::UserAgentHeader,
                             QStringLiteral("Mozilla/5.0 (X11; Linux x86_64) Ferrymark/1.0"));
    QNetworkReply* reply = network_->get(networkRequest);

    // A request that receives nothing for requestTimeout() is abandoned.
    request.idleTimer = new QTimer(reply);
    request.idleTimer->setSingleShot(true);
    connect(request.idleTimer, &QTimer::timeout, this, [this, reply] {
        auto it = requests_.find(reply);
        if (it == requests_.end()) return;
        it->timedOut = true;
        reply->abort();
    });
    auto keepAlive = [timer = request.idleTimer, ms = requestTimeout_] { timer->start(ms); };
    connect(reply, &QNetworkReply::downloadProgress, request.idleTimer, keepAlive);
    connect(reply, &QNetworkReply::metaDataChanged, request.idleTimer, keepAlive);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { replyFinished(reply); });
    requests_.insert(reply, request);
    request.idleTimer->start(requestTimeout_);
}

void WebPageLoader::authenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator) {
    auto it = requests_.find(reply);
    if (it == requests_.end() || it->askedForCredential || !delegate_) return;
    it->askedForCredential = true;
    const auto credential = delegate_->credentialForAuthenticationChallenge(
        this, it->identifier, reply->url(), authenticator->realm());
    if (!credential) return;  // continue without: the server's refusal is the response
    authenticator->setUser(credential->user);
    authenticator->setPassword(credential->password);
}

WebPageLoader::Result WebPageLoader::resultOf(QNetworkReply* reply, const Request& request) const {
    Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Network, proxy and protocol failures leave no usable response; content
    // and server errors are HTTP statuses, whose answers are responses.
    const bool failed = error != QNetworkReply::NoError &&
                        (!status.isValid() || error < QNetworkReply::ContentAccessDenied ||
                         (error >= QNetworkReply::ProtocolUnknownError &&
                          error < QNetworkReply::InternalServerError));
    if (request.timedOut)
        result.error = loaderError(TimedOut, "The request timed out.");
    else if (failed)
        result.error = errorForReply(error, reply->errorString());
    if (result.error) return result;

    result.data = reply->readAll();
    const QUrl url = reply->url();
    if (status.isValid()) {
        const QByteArray contentType = reply->rawHeader("Content-Type");
        QString mimeType = mimeTypeFromContentType(contentType);
        if (mimeType.isEmpty()) mimeType = guessedMIMEType(url, result.data);
        WebURLResponse::HeaderFields headers;
        for (const auto& [name, value] : reply->rawHeaderPairs())
            headers.append({QString::fromLatin1(name), QString::fromUtf8(value)});
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        result.response = WebURLResponse(url, status.toInt(), headers, mimeType,
                                         length.isValid() ? length.toLongLong() : -1,
                                         charsetFromContentType(contentType));
    } else {
        result.response =
            WebURLResponse(url, guessedMIMEType(url, result.data), result.data.size(), QString());
    }
    return result;
}

void WebPageLoader::replyFinished(QNetworkReply* reply) {
    const auto it = requests_.find(reply);
    if (it == requests_.end()) return;
    const Request request = *it;
    requests_.erase(it);
    request.idleTimer->stop();
    reply->deleteLater();
    const Result result = resultOf(reply, request);
    if (request.role == Role::Document)
        documentArrived(request, result);
    else
        subresourceArrived(request, result);
}

void WebPageLoader::documentArrived(const Request& request, const Result& result) {
    WebFrame* frame = request.frame;
    if (result.error) {
        frameFailed(frame, result.error);
        return;
    }
    const quint64 generation = generation_;
    if (delegate_) delegate_->didReceiveResponse(this, request.identifier, *result.response, frame);
    if (generation != generation_) return;  // stopped by the delegate

    const WebURLResponse& response = *result.response;
    frame->setMainResource(
        WebResource(result.data, response.url(), response.mimeType(), response.textEncodingName()));
    scanDocument(frame);
    if (generation == generation_) frameDone(frame);
}

void WebPageLoader::scanDocument(WebFrame* frame) {
    if (!isHTMLType(frame->mainResource().mimeType())) return;
    const auto page = WebSubresourceScanner::scanHTML(frame->mainResource().data(), frame->url());
    if (frame->mainResource().textEncodingName().isEmpty() &&
        !page.declaredTextEncoding.isEmpty()) {
        const WebResource& main = frame->mainResource();
        frame->setMainResource(
            WebResource(main.data(), main.url(), main.mimeType(), page.declaredTextEncoding));
    }
    for (const auto& reference : page.subresources)
        requestSubresource(frame, reference.url, reference.fromDocument, reference.kind, 0);
    addChildFrames(frame, page.frames);
}

void WebPageLoader::addChildFrames(WebFrame* frame,
                                   const QList<WebSubresourceScanner::FrameReference>& frames) {
    if (frameDepth(frame) >= kMaximumFrameDepth) return;
    for (const auto& reference : frames) {
        if (isInAncestry(frame, reference.url) || !mayLoad(frame, reference.url)) continue;
        WebFrame* child = frame->addChildFrame(reference.name, reference.url);
        ++pending_[frame];
        startFrame(child);
    }
}

void WebPageLoader::subresourceArrived(const Request& request, const Result& result) {
    WebFrame* frame = request.frame;
    if (!result.error) {
        const quint64 generation = generation_;
        const WebURLResponse& response = *result.response;
        if (delegate_) delegate_->didReceiveResponse(this, request.identifier, response, frame);
        if (generation != generation_) return;
        // An error page is not the image or style sheet that was asked for.
        if (response.statusCode() < 400) {
            WebResource resource(result.data, response.url(), response.mimeType(),
                                 response.textEncodingName());
            resource.setResponse(response);
            frame->setSubresource(request.slot, resource);
            if (request.kind == Kind::StyleSheet || response.mimeType() == u"text/css") {
                const QString css = decodeText(result.data, response.textEncodingName());
                for (const auto& reference :
                     WebSubresourceScanner::scanStyleSheet(css, response.url()))
                    requestSubresource(frame, reference.url, false, reference.kind,
                                       request.importDepth + 1);
            }
        }
    }
    frameDone(frame);
}

// One piece of `frame` (its document, a subresource or a child frame) is done.
void WebPageLoader::frameDone(WebFrame* frame) {
    if (--pending_[frame] > 0) return;
    pending_.remove(frame);
    WebFrame* parent = frame->parentFrame();
    if (!parent) {
        loading_ = false;
        loadTimer_.stop();
    }
    const quint64 generation = generation_;
    if (delegate_) delegate_->didFinishLoadForFrame(this, frame);
    if (parent && generation == generation_) frameDone(parent);
}

void WebPageLoader::frameFailed(WebFrame* frame, const Error& error) {
    WebFrame* parent = frame->parentFrame();
    if (!parent) {
        endLoad(error);
        return;
    }
    pending_.remove(frame);
    const quint64 generation = generation_;
    if (delegate_) delegate_->didFailProvisionalLoad(this, error, frame);
    if (generation != generation_) return;
    parent->removeChildFrame(frame);
    frameDone(parent);
}
