// A tiny HTTP server for tests, on 127.0.0.1 only: canned responses by path,
// redirects, and requests that are accepted but never answered. It lives on
// the thread that made it (the main thread), so the event loop must run for
// it to answer. Header-only, shared by the web and conversion tests.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

class WebTestServer {
  public:
    struct Response {
        Response(int status = 200, QByteArray contentType = "text/html; charset=utf-8",
                 QByteArray body = {})
            : status(status), contentType(std::move(contentType)), body(std::move(body)) {}
        int status;
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool stall = false;  // accept the request and never answer
    };

    WebTestServer() {
        server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) serve(socket);
        });
    }
    ~WebTestServer() {
        for (const QPointer<QTcpSocket>& socket : open_)
            if (socket) socket->abort();
    }

    bool isListening() const { return server_.isListening(); }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }

    void route(const QString& path, const Response& response) { routes_.insert(path, response); }
    void page(const QString& path, const QByteArray& html) {
        route(path, {200, "text/html; charset=utf-8", html});
    }
    void file(const QString& path, const QByteArray& contentType, const QByteArray& body) {
        route(path, {200, contentType, body});
    }
    void redirect(const QString& path, const QString& target, int status = 302) {
        Response response{status, "text/html", "moved"};
        response.headers.append(qMakePair(QByteArray("Location"), url(target).toString().toUtf8()));
        route(path, response);
    }
    void stall(const QString& path) {
        Response response;
        response.stall = true;
        route(path, response);
    }

    int hits(const QString& path) const { return requested_.count(path); }
    const QStringList& requestedPaths() const { return requested_; }

  private:
    static QByteArray reason(int status) {
        switch (status) {
            case 200:
                return "OK";
            case 301:
                return "Moved Permanently";
            case 302:
                return "Found";
            case 401:
                return "Unauthorized";
            case 404:
                return "Not Found";
            case 500:
                return "Internal Server Error";
            default:
                return "Status";
        }
    }

    void serve(QTcpSocket* socket) {
        open_.append(socket);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (!buffer->contains("\r\n\r\n")) return;
            const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
            buffer->clear();
            const QString path =
                requestLine.size() > 1 ? QString::fromUtf8(requestLine[1]) : QString();
            requested_.append(path);
            const Response response =
                routes_.value(path, Response{404, "text/html", "<h1>missing</h1>"});
            if (response.stall) return;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                             reason(response.status) + "\r\n";
            out += "Content-Type: " + response.contentType + "\r\n";
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
            out += "Connection: close\r\n";
            for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
            out += "\r\n" + response.body;
            socket->write(out);
            socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QTcpServer server_;
    QHash<QString, Response> routes_;
    QStringList requested_;
    QList<QPointer<QTcpSocket>> open_;
};
