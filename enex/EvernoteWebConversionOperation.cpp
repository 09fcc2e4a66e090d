#include "enex/EvernoteWebConversionOperation.h"

#include <QTimer>
#include <exception>

#include "enex/EvernoteWebFrameExtensions.h"
#include "enex/EvernoteWebPreferencesExtensions.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/plist/PlistValue.h"
#include "platform/web/WebPageLoader.h"
#include "platform/web/WebURLResponse.h"

namespace {

constexpr int kRequestTimeLimit = 30000;

Error httpStatusError(int statusCode) {
    QString text = WebURLResponse::localizedStringForStatusCode(statusCode);
    if (text.isEmpty()) text = stringWithFormat(localizedString("Code: %ld"), {long(statusCode)});
    return Error(EvernoteWebConversionOperation::errorDomain,
                 EvernoteWebConversionOperation::HTTPStatusError, text);
}

bool isIgnoredLoadError(const Error& error) {
    return error.code() == EvernoteWebConversionOperation::kCancelledCode ||
           error.code() == EvernoteWebConversionOperation::kFrameLoadInterruptedCode;
}

PlistValue::Format formatOf(const QByteArray& plist) {
    return plist.startsWith("bplist") ? PlistValue::Format::Binary : PlistValue::Format::Xml;
}

}  // namespace

const QString EvernoteWebConversionOperation::errorDomain =
    QStringLiteral("EvernoteWebConversionErrorDomain");
const QString EvernoteWebConversionOperation::mainRequestIdentifier =
    QStringLiteral("EvernoteWebConversionMainRequestIdentifier");

EvernoteWebConversionOperation::EvernoteWebConversionOperation() = default;

EvernoteWebConversionOperation::~EvernoteWebConversionOperation() {
    // Normally released on the main thread at finish; this is the last resort.
    if (loader_) {
        loader_->setDelegate(nullptr);
        loader_->deleteLater();
    }
}

// ---- properties -------------------------------------------------------------

QUrl EvernoteWebConversionOperation::originalURL() const {
    std::lock_guard lock(mutex_);
    return originalURL_;
}

void EvernoteWebConversionOperation::setOriginalURL(const QUrl& url) {
    std::lock_guard lock(mutex_);
    originalURL_ = url;
}

QUrl EvernoteWebConversionOperation::originalWebURL() const {
    std::lock_guard lock(mutex_);
    return originalWebURL_;
}

void EvernoteWebConversionOperation::setOriginalWebURL(const QUrl& url) {
    std::lock_guard lock(mutex_);
    originalWebURL_ = url;
}

int EvernoteWebConversionOperation::timeLimit() const {
    std::lock_guard lock(mutex_);
    return timeLimit_;
}

void EvernoteWebConversionOperation::setTimeLimit(int milliseconds) {
    std::lock_guard lock(mutex_);
    timeLimit_ = milliseconds;
}

std::optional<QByteArray> EvernoteWebConversionOperation::webArchiveData() const {
    std::lock_guard lock(mutex_);
    return webArchiveData_;
}

Error EvernoteWebConversionOperation::operationError() const {
    std::lock_guard lock(mutex_);
    return operationError_;
}

// ---- life cycle -----------------------------------------------------------------

std::weak_ptr<EvernoteWebConversionOperation> EvernoteWebConversionOperation::weakSelf() {
    return std::static_pointer_cast<EvernoteWebConversionOperation>(weak_from_this().lock());
}

void EvernoteWebConversionOperation::main() {
    auto self = weakSelf().lock();
    if (!self) {  // not held by a shared_ptr: nothing could keep it alive for the main thread
        finish(std::nullopt, Error(errorDomain, ArchiveExceptionError,
                                   localizedString("The web conversion was not set up to run.")));
        return;
    }
    OperationQueue::mainQueue().addOperationWithBlock([self] { self->startLoad(); });
}

void EvernoteWebConversionOperation::startLoad() {
    if (isCancelled() || isFinished()) return;
    WebPreferences preferences = EvernoteWebPreferencesExtensions::webPreferencesWithIdentifier(
        QStringLiteral("EvernoteDownload"));
    preferences.setShouldPrintBackgrounds(true);
    preferences.setCacheModel(WebPreferences::CacheModel::DocumentViewer);
    preferences.setPlugInsEnabled(false);
    preferences.setJavaScriptEnabled(false);
    preferences.setJavaEnabled(false);

    const int limit = timeLimit();
    loader_ = new WebPageLoader();
    loader_->setPreferences(preferences);
    loader_->setMediaStyle(QStringLiteral("screen"));
    loader_->setTimeout(limit);
    loader_->setRequestTimeout(std::min(limit, kRequestTimeLimit));
    loader_->setDelegate(this);

    // The operation's own limit, whatever state the load is left in.
    limitTimer_ = new QTimer(loader_);
    limitTimer_->setSingleShot(true);
    QObject::connect(limitTimer_, &QTimer::timeout, loader_, [weak = weakSelf()] {
        if (auto self = weak.lock()) self->timeLimitReached();
    });
    limitTimer_->start(limit);
    loader_->load(originalURL());
}

void EvernoteWebConversionOperation::cancel() {
    Operation::cancel();
    auto self = weakSelf().lock();
    if (OperationQueue::isMainThread())
        releaseWebView(true);
    else if (self)
        OperationQueue::mainQueue().addOperationWithBlock([self] { self->releaseWebView(true); });
    finish(std::nullopt, Error());
}

void EvernoteWebConversionOperation::finish(std::optional<QByteArray> data, const Error& error) {
    {
        std::lock_guard lock(mutex_);
        if (done_) return;
        done_ = true;
        webArchiveData_ = std::move(data);
        operationError_ = error;
    }
    if (OperationQueue::isMainThread()) releaseWebView(false);
    setFinished(true);
}

void EvernoteWebConversionOperation::releaseWebView(bool stop) {
    if (!loader_) return;
    if (limitTimer_) limitTimer_->stop();
    limitTimer_ = nullptr;
    if (stop) loader_->stopLoading();
    loader_->setDelegate(nullptr);
    loader_->deleteLater();  // we may be inside one of its callbacks
    loader_ = nullptr;
}

void EvernoteWebConversionOperation::timeLimitReached() {
    if (isFinished()) return;
    const Error error(WebPageLoader::errorDomain, WebPageLoader::TimedOut,
                      localizedString("The request timed out."));
    if (loader_) loader_->setDelegate(nullptr);  // the stop's own report is not the outcome
    releaseWebView(true);
    finish(std::nullopt, error);
}

// ---- loader callbacks (main thread) ----------------------------------------------

QString EvernoteWebConversionOperation::identifierForInitialRequest(WebPageLoader*, const QUrl& url,
                                                                    WebFrame*) {
    return url == originalURL() ? mainRequestIdentifier : QString();
}

void EvernoteWebConversionOperation::didReceiveResponse(WebPageLoader* loader,
                                                        const QString& identifier,
                                                        const WebURLResponse& response, WebFrame*) {
    if (!response.url().isEmpty())
        cachedResponses_.insert(response.url().toString(QUrl::FullyEncoded),
                                response.archivedData());
    const int status = response.statusCode();
    if (identifier != mainRequestIdentifier || !response.isHTTP() || status < 400 || status > 599)
        return;
    const Error error = httpStatusError(status);
    loader->stopLoading();
    finish(std::nullopt, error);
}

std::optional<WebCredential> EvernoteWebConversionOperation::credentialForAuthenticationChallenge(
    WebPageLoader*, const QString&, const QUrl&, const QString&) {
    return std::nullopt;  // continue without a credential
}

void EvernoteWebConversionOperation::didFinishLoadForFrame(WebPageLoader* loader, WebFrame* frame) {
    if (frame != loader->mainFrame() || loader->isLoading() || isCancelled() || isFinished())
        return;
    archiveMainFrame(frame);
}

void EvernoteWebConversionOperation::didFailProvisionalLoad(WebPageLoader* loader,
                                                            const Error& error, WebFrame* frame) {
    if (frame == loader->mainFrame()) handleWebViewError(error);
}

void EvernoteWebConversionOperation::didFailLoad(WebPageLoader* loader, const Error& error,
                                                 WebFrame* frame) {
    if (frame == loader->mainFrame()) handleWebViewError(error);
}

void EvernoteWebConversionOperation::handleWebViewError(const Error& error) {
    if (!error) return;
    if (isIgnoredLoadError(error)) {
        finishAfterIgnoredError(error);
        return;
    }
    if (loader_) loader_->stopLoading();
    finish(std::nullopt, error);
}

// An ignored failure leaves the operation running; if the load turns out to
// have ended with it and nothing else finished the operation, the waiting
// caller would block for ever, so the operation ends with that error.
void EvernoteWebConversionOperation::finishAfterIgnoredError(const Error& error) {
    QTimer::singleShot(0, [weak = weakSelf(), error] {
        auto self = weak.lock();
        if (!self || self->isFinished()) return;
        if (self->loader_ && self->loader_->isLoading()) return;
        self->finish(std::nullopt, error);
    });
}

void EvernoteWebConversionOperation::archiveMainFrame(WebFrame* frame) {
    try {
        const QByteArray ownArchive = frame->webArchive().data();
        Error error;
        const auto plist = PlistValue::fromData(ownArchive, &error);
        if (!plist) {
            systemLog(stringWithFormat(
                localizedString("Couldn't create property list to save web archive: %@"), {error}));
            finish(std::nullopt, error);
            return;
        }
        PlistDictionary archive = EvernoteWebFrameExtensions::webArchiveDictionaryWithDictionary(
            *frame, plist->toDictionary(), cachedResponses_);
        PlistDictionary pelmora;
        pelmora.set(QStringLiteral("PMOriginalWebURL"),
                    originalWebURL().toString(QUrl::FullyEncoded));
        archive.set(QStringLiteral("PelmoraResource"), pelmora);

        const QByteArray data = PlistValue(archive).serialize(formatOf(ownArchive));
        if (data.isEmpty()) {
            error =
                Error(QStringLiteral("PlistErrorDomain"), 3851,
                      localizedString("The web archive could not be written as a property list."));
            systemLog(stringWithFormat(
                localizedString("Couldn't create data from property list to save web archive: %@"),
                {error}));
            finish(std::nullopt, error);
            return;
        }
        finish(data, Error());
    } catch (const std::exception& exception) {
        finish(std::nullopt,
               Error(errorDomain, ArchiveExceptionError, QString::fromUtf8(exception.what())));
    } catch (...) {
        finish(std::nullopt, Error(errorDomain, ArchiveExceptionError,
                                   localizedString("An unknown exception occurred.")));
    }
}
