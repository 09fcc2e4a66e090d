// EvernoteWebConversionOperation: turns a page into web archive data. It
// loads originalURL() (the live page of a web clip, or a local HTML file made
// from the clip's stored body) off screen, waits until the main frame has
// finished, takes the loader's own archive of the page, completes it with
// every subresource the page loaded and the archive left out (with their
// responses; see EvernoteWebFrameExtensions), records originalWebURL() under
// "PelmoraResource" → "PMOriginalWebURL", and hands back the property-list
// bytes (binary, as the page's own archive is) in webArchiveData().
//
// Use from a worker thread (never the main thread, which does the loading):
//     auto op = std::make_shared<EvernoteWebConversionOperation>();
//     op->setOriginalWebURL(webURL); op->setOriginalURL(urlToLoad);
//     op->start(); op->waitUntilFinished();
//     then webArchiveData(), or operationError() when there is none.
// REQUIRES: the operation is held by a std::shared_ptr; the main thread runs
// its event loop while the worker waits.
//
// Ends, exactly once, with the first of: the archive (webArchiveData set);
// error 10002 of "EvernoteWebConversionErrorDomain" when the main request's
// HTTP status is 400..599 (description: the status text such as "not found",
// or "Code: %ld"); error 10001 when building the archive throws (the
// exception's text); a main-frame load failure from the loader, passed on
// unchanged (except its codes -999 and 102, which are ignored while the load
// goes on; a load that then ends with nothing else ends the operation with
// that error); a property-list error; the time limit (WebPageLoader's
// TimedOut error); cancel() (no data, no error).
//
// Threads: start()/main() and waitUntilFinished() on the caller's thread;
// the loader, its callbacks and cachedResponses() on the main thread; the
// other properties are safe from any thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <mutex>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/Operation.h"
#include "platform/web/WebPageLoaderDelegate.h"

class WebPageLoader;
class WebFrame;
class QTimer;

class EvernoteWebConversionOperation : public Operation, private WebPageLoaderDelegate {
  public:
    static const QString errorDomain;            // "EvernoteWebConversionErrorDomain"
    static const QString mainRequestIdentifier;  // "EvernoteWebConversionMainRequestIdentifier"
    enum ErrorCode { ArchiveExceptionError = 10001, HTTPStatusError = 10002 };
    // Load failure codes that do not end the operation by themselves: the load
    // was cancelled, the frame load was interrupted.
    static constexpr long kCancelledCode = -999;
    static constexpr long kFrameLoadInterruptedCode = 102;
    static constexpr int kDefaultTimeLimit = 120000;

    EvernoteWebConversionOperation();
    ~EvernoteWebConversionOperation() override;

    QUrl originalURL() const;
    void setOriginalURL(const QUrl& url);
    QUrl originalWebURL() const;
    void setOriginalWebURL(const QUrl& url);
    // The whole load's limit in milliseconds (set before start()).
    int timeLimit() const;
    void setTimeLimit(int milliseconds);

    std::optional<QByteArray> webArchiveData() const;
    Error operationError() const;

    // The loader, created on the main thread when the operation runs and
    // released when it finishes. Main thread only.
    WebPageLoader* offscreenWebView() const { return loader_; }
    // Response URL text → keyed archive of that response. Main thread only.
    const QHash<QString, QByteArray>& cachedResponses() const { return cachedResponses_; }

    bool operationExecuting() const { return isExecuting(); }
    bool operationFinished() const { return isFinished(); }

    bool isAsynchronous() const override { return true; }
    // Schedules the load on the main thread and returns.
    void main() override;
    // Cancels, stops the load and finishes without data and without error. Any thread.
    void cancel() override;

    // A main-frame load failure: ends the operation with `error`, unless its
    // code is one of the two ignored ones. Main thread.
    void handleWebViewError(const Error& error);

  private:
    // WebPageLoaderDelegate
    QString identifierForInitialRequest(WebPageLoader* loader, const QUrl& url,
                                        WebFrame* frame) override;
    void didReceiveResponse(WebPageLoader* loader, const QString& identifier,
                            const WebURLResponse& response, WebFrame* frame) override;
    std::optional<WebCredential> credentialForAuthenticationChallenge(
        WebPageLoader* loader, const QString& identifier, const QUrl& url,
        const QString& realm) override;
    void didFinishLoadForFrame(WebPageLoader* loader, WebFrame* frame) override;
    void didFailProvisionalLoad(WebPageLoader* loader, const Error& error,
                                WebFrame* frame) override;
    void didFailLoad(WebPageLoader* loader, const Error& error, WebFrame* frame) override;

    std::weak_ptr<EvernoteWebConversionOperation> weakSelf();
    void startLoad();
    void archiveMainFrame(WebFrame* frame);
    void finishAfterIgnoredError(const Error& error);
    void timeLimitReached();
    // Records the outcome and finishes; later calls are ignored. Any thread.
    void finish(std::optional<QByteArray> data, const Error& error);
    // Stops and releases the loader. Main thread.
    void releaseWebView(bool stop);

    mutable std::mutex mutex_;
    QUrl originalURL_;
    QUrl originalWebURL_;
    int timeLimit_ = kDefaultTimeLimit;
    std::optional<QByteArray> webArchiveData_;
    Error operationError_;
    bool done_ = false;

    WebPageLoader* loader_ = nullptr;  // main thread
    QTimer* limitTimer_ = nullptr;     // child of loader_
    QHash<QString, QByteArray> cachedResponses_;
};
