// WebPageLoader: an off-screen page loader in place of a web view. It loads a
// URL (http, https or file) with Qt Network, follows redirects, records every
// response, loads what the page refers to (see WebSubresourceScanner: images,
// style sheets and, recursively, what they import and use; frames and iframes
// as child frames with their names) and hands back each frame's archive and
// the list of everything it loaded (WebFrame). Scripts are never fetched nor
// run.
//
// Safety limits: redirects stop after 20; frames nest at most 8 deep and a
// frame never loads a page of its own ancestry; a frame loads at most 1000
// subresources and style sheets import at most 16 deep. A file URL is loaded
// as a subresource or subframe only by a page that is itself a file, and only
// from the folder of the main page or below, so a page cannot pull other
// local files into its archive.
//
// Time limits: the whole load (timeout(), default 120 s) and each request
// without any data arriving (requestTimeout(), default 30 s). When the whole
// load runs out, the main frame fails with TimedOut; a stalled subresource is
// left out; a stalled subframe document fails that frame.
//
// The loader lives on the main thread and reports through its delegate (see
// WebPageLoaderDelegate), never synchronously from load(). Errors are in
// "WebPageLoaderErrorDomain" with the platform's URL-loading codes below.
// Main thread only.
#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/web/WebFrame.h"
#include "platform/web/WebPreferences.h"
#include "platform/web/WebSubresourceScanner.h"

class QNetworkAccessManager;
class QNetworkReply;
class QAuthenticator;
class WebPageLoaderDelegate;
class WebURLResponse;

class WebPageLoader : public QObject {
    Q_OBJECT

  public:
    static const QString errorDomain;  // "WebPageLoaderErrorDomain"
    enum ErrorCode {
        Unknown = -1,
        Cancelled = -999,
        BadURL = -1000,
        TimedOut = -1001,
        UnsupportedURL = -1002,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        TooManyRedirects = -1007,
        BadServerResponse = -1011,
        FileDoesNotExist = -1100,
        NoPermissionsToReadFile = -1102,
        SecureConnectionFailed = -1200,
        FrameLoadInterrupted = 102,
    };

    explicit WebPageLoader(QObject* parent = nullptr);
    ~WebPageLoader() override;

    // Not owned; must outlive the loader's use of it (clear it first).
    void setDelegate(WebPageLoaderDelegate* delegate) { delegate_ = delegate; }
    WebPageLoaderDelegate* delegate() const { return delegate_; }

    void setPreferences(const WebPreferences& preferences) { preferences_ = preferences; }
    const WebPreferences& preferences() const { return preferences_; }
    // The CSS media the page is laid out for ("screen"); kept for renderers.
    void setMediaStyle(const QString& media) { mediaStyle_ = media; }
    const QString& mediaStyle() const { return mediaStyle_; }

    // Limits in milliseconds; take effect at the next load().
    void setTimeout(int milliseconds) { timeout_ = milliseconds; }
    int timeout() const { return timeout_; }
    void setRequestTimeout(int milliseconds) { requestTimeout_ = milliseconds; }
    int requestTimeout() const { return requestTimeout_; }

    // Starts loading `url` into a new main frame (a load under way is stopped
    // first). Returns at once; the delegate hears the rest.
    void load(const QUrl& url);
    // Ends the load under way: nothing more is requested or reported except
    // the main frame's failure with Cancelled (didFailProvisionalLoad, or
    // didFailLoad when its document had arrived), reported before this
    // returns. Does nothing when not loading.
    void stopLoading();
    bool isLoading() const { return loading_; }

    // The frame of the last load (nullptr before the first).
    WebFrame* mainFrame() const { return mainFrame_.get(); }

  private:
    enum class Role { Document, Subresource };
    struct Request {
        WebFrame* frame = nullptr;
        Role role = Role::Document;
        int slot = -1;
        WebSubresourceScanner::Reference::Kind kind =
            WebSubresourceScanner::Reference::Kind::Resource;
        int importDepth = 0;
        QString identifier;
        QTimer* idleTimer = nullptr;
        bool timedOut = false;
        bool askedForCredential = false;
    };
    struct Result;

    void startFrame(WebFrame* frame);
    void send(const QUrl& url, Request request);
    void requestSubresource(WebFrame* frame, const QUrl& url, bool fromDocument,
                            WebSubresourceScanner::Reference::Kind kind, int importDepth);
    void replyFinished(QNetworkReply* reply);
    void documentArrived(const Request& request, const Result& result);
    void subresourceArrived(const Request& request, const Result& result);
    void scanDocument(WebFrame* frame);
    void addChildFrames(WebFrame* frame,
                        const QList<WebSubresourceScanner::FrameReference>& frames);
    void frameDone(WebFrame* frame);
    void frameFailed(WebFrame* frame, const Error& error);
    void authenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator);
    void loadTimedOut();
    void abortAll();
    void endLoad(const Error& error);
    bool mayLoad(const WebFrame* frame, const QUrl& url) const;
    Result resultOf(QNetworkReply* reply, const Request& request) const;

    QNetworkAccessManager* network_;
    WebPageLoaderDelegate* delegate_ = nullptr;
    WebPreferences preferences_;
    QString mediaStyle_ = QStringLiteral("screen");
    int timeout_ = 120000;
    int requestTimeout_ = 30000;
    QTimer loadTimer_;
    bool loading_ = false;
    quint64 generation_ = 0;  // changes when a load is stopped or replaced
    std::unique_ptr<WebFrame> mainFrame_;
    QHash<QNetworkReply*, Request> requests_;
    QHash<const WebFrame*, int> pending_;  // unfinished requests and child frames per frame
};
