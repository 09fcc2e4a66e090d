// WebPageLoaderDelegate: what a WebPageLoader tells its owner while a page
// loads, and the one question it asks (credentials). Every call comes on the
// main thread, from inside the loader; a callback may call stopLoading() on
// the loader, but must not destroy it (use deleteLater()).
//
// Order for each frame: identifierForInitialRequest for its document, then
// didReceiveResponse for it; then, for each subresource and child frame, the
// same pair; finally exactly one of didFinishLoadForFrame,
// didFailProvisionalLoad (nothing arrived) or didFailLoad (the document
// arrived, then the load failed). A child frame ends before its parent.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

#include "platform/foundation/Error.h"

class WebPageLoader;
class WebFrame;
class WebURLResponse;

struct WebCredential {
    QString user;
    QString password;
};

class WebPageLoaderDelegate {
  public:
    virtual ~WebPageLoaderDelegate() = default;

    // The identifier that the responses of this request will carry; "" for none.
    virtual QString identifierForInitialRequest(WebPageLoader* /*loader*/, const QUrl& /*url*/,
                                                WebFrame* /*frame*/) {
        return {};
    }
    // A final response (after redirects) for the request with `identifier`,
    // document or subresource, HTTP status of any value included.
    virtual void didReceiveResponse(WebPageLoader* /*loader*/, const QString& /*identifier*/,
                                    const WebURLResponse& /*response*/, WebFrame* /*frame*/) {}
    // A server asks for credentials; nullopt continues without any (the
    // response is then the server's refusal). Asked at most once per request.
    virtual std::optional<WebCredential> credentialForAuthenticationChallenge(
        WebPageLoader* /*loader*/, const QString& /*identifier*/, const QUrl& /*url*/,
        const QString& /*realm*/) {
        return std::nullopt;
    }
    // The frame's document and everything it refers to have been loaded (or
    // have failed on their own). For the main frame, the loader is no longer
    // loading when this is called.
    virtual void didFinishLoadForFrame(WebPageLoader* /*loader*/, WebFrame* /*frame*/) {}
    // The frame's document could not be loaded. A child frame is removed
    // after this call.
    virtual void didFailProvisionalLoad(WebPageLoader* /*loader*/, const Error& /*error*/,
                                        WebFrame* /*frame*/) {}
    // The frame's document arrived but the load ended early (stopped, timed out).
    virtual void didFailLoad(WebPageLoader* /*loader*/, const Error& /*error*/,
                             WebFrame* /*frame*/) {}
};
