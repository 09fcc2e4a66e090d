// One GET for the update checker and the update panel that nothing in the
// answer can turn against the user: the address and every redirect must pass
// HTTPSPolicy, and the body may not exceed maximumBodySize() (the announced
// Content-Length is checked up front, the bytes are counted as they arrive,
// and the reply is aborted at once past the bound). The body is kept in
// memory, so it never holds more than the bound and one network chunk.
//
// finished() is emitted exactly once, always queued (never from start()).
// Then either refusal() holds why the download was refused (domain
// QVFErrorDomain, code QVFSWUpdateRefusedErrorCode) and body() is empty, or
// body(), networkError() and networkErrorString() are what the reply brought
// (the HTTP status is not looked at).
//
// Main thread only. Owned by its parent; destroying it aborts the reply.
#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <optional>

#include "platform/foundation/Error.h"

class QNetworkAccessManager;

class BoundedHTTPSDownload : public QObject {
    Q_OBJECT
  public:
    // 4 MB: far above any feed or release-notes page.
    static constexpr qint64 maximumBodySize() { return 4 * 1024 * 1024; }

    // Starts loading `url` through `session` with a transfer time-out of
    // `timeoutMs`.
    BoundedHTTPSDownload(QNetworkAccessManager* session, const QUrl& url, int timeoutMs,
                         QObject* parent = nullptr);
    ~BoundedHTTPSDownload() override;

    // Stops the load; finished() then reports OperationCanceledError.
    void abort();

    const std::optional<Error>& refusal() const { return refusal_; }
    const QByteArray& body() const { return body_; }
    QNetworkReply::NetworkError networkError() const { return networkError_; }
    QString networkErrorString() const { return networkErrorString_; }
    // The address the body came from (after redirects).
    QUrl url() const { return url_; }

  signals:
    void finished();

  private:
    void refuse(const QString& reason);
    void checkRedirect(const QUrl& target);
    void checkAnnouncedLength();
    void readAvailable();
    void replyDidFinish();
    void finish();

    QPointer<QNetworkReply> reply_;
    std::optional<Error> refusal_;
    QByteArray body_;
    QNetworkReply::NetworkError networkError_ = QNetworkReply::NoError;
    QString networkErrorString_;
    QUrl url_;
    bool finished_ = false;
};
