#include "BoundedHTTPSDownload.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include "HTTPSPolicy.h"
#include "Quorvel/QVFSWUpdateChecker.h"
#include "platform/foundation/Format.h"

namespace {

// A feed or a page has no reason for long redirect chains.
constexpr int kMaximumRedirects = 5;

}  // namespace

BoundedHTTPSDownload::BoundedHTTPSDownload(QNetworkAccessManager* session, const QUrl& url,
                                           int timeoutMs, QObject* parent)
    : QObject(parent), url_(url) {
    if (!HTTPSPolicy::isAllowed(url)) {
        refuse(stringWithFormat(QStringLiteral("%@ is not an https address"), {url.toString()}));
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    // Every redirect is checked here, not by Qt's rule (which lets http lead
    // to http and any scheme it knows).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaximumRedirects);
    QNetworkReply* reply = session->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::redirected, this, &BoundedHTTPSDownload::checkRedirect);
    connect(reply, &QNetworkReply::metaDataChanged, this,
            &BoundedHTTPSDownload::checkAnnouncedLength);
    connect(reply, &QNetworkReply::readyRead, this, &BoundedHTTPSDownload::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &BoundedHTTPSDownload::replyDidFinish);
}

BoundedHTTPSDownload::~BoundedHTTPSDownload() {
    if (!reply_) return;
    reply_->disconnect(this);
    reply_->abort();
    reply_->deleteLater();
}

void BoundedHTTPSDownload::abort() {
    if (reply_) reply_->abort();
}

void BoundedHTTPSDownload::refuse(const QString& reason) {
    if (refusal_) return;
    refusal_ = Error(QVFErrorDomain, QVFSWUpdateRefusedErrorCode, reason);
    body_.clear();
    if (reply_) {
        // The reply's own finished() (emitted by abort) must not report it as
        // a cancel.
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    finish();
}

void BoundedHTTPSDownload::checkRedirect(const QUrl& target) {
    if (!HTTPSPolicy::isAllowed(target)) {
        refuse(stringWithFormat(QStringLiteral("the redirect to %@ is not to an https address"),
                                {target.toString()}));
        return;
    }
    // Whatever the redirect's own answer carried is not the body.
    body_.clear();
    emit reply_->redirectAllowed();
}

void BoundedHTTPSDownload::checkAnnouncedLength() {
    if (!reply_) return;
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maximumBodySize())
        refuse(stringWithFormat(QStringLiteral("the answer announces %@ bytes, more than %@"),
                                {length.toLongLong(), maximumBodySize()}));
}

void BoundedHTTPSDownload::readAvailable() {
    if (!reply_) return;
    const qint64 room = maximumBodySize() - body_.size();
    // One byte more than the room tells an answer that is too large.
    body_ += reply_->read(room + 1);
    if (body_.size() > maximumBodySize())
        refuse(stringWithFormat(QStringLiteral("the answer is larger than %@ bytes"),
                                {maximumBodySize()}));
}

void BoundedHTTPSDownload::replyDidFinish() {
    QNetworkReply* reply = reply_;
    if (!reply) return;
    readAvailable();
    if (refusal_) return;
    networkError_ = reply->error();
    networkErrorString_ = reply->errorString();
    url_ = reply->url();
    reply_ = nullptr;
    reply->deleteLater();
    finish();
}

void BoundedHTTPSDownload::finish() {
    if (finished_) return;
    finished_ = true;
    QMetaObject::invokeMethod(this, &BoundedHTTPSDownload::finished, Qt::QueuedConnection);
}
