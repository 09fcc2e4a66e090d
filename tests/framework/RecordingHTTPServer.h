// An HTTP server for the framework tests, on 127.0.0.1 only: it records each
// whole request (request line, headers and the body its Content-Length
// announces) and answers every path with one canned response: a body, a
// redirect, or a long body streamed a chunk at a time (never held whole). It
// lives on the thread that made it, so the event loop must run for it to
// answer.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <algorithm>
#include <memory>

class RecordingHTTPServer {
  public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QByteArray header(const QByteArray& name) const {
            for (const auto& [key, value] : headers)
                if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
            return {};
        }
    };

    RecordingHTTPServer() {
        server_.listen(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) serve(socket);
        });
    }
    ~RecordingHTTPServer() {
        for (const QPointer<QTcpSocket>& socket : open_)
            if (socket) socket->abort();
    }

    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    // The answer to every request: status 200 with this body (none when empty).
    void setResponseBody(const QByteArray& body) { responseBody_ = body; }
    // Records requests but never answers them.
    void setStalled(bool stalled) { stalled_ = stalled; }
    // Answers every request with "302 Found" to `location`.
    void setRedirect(const QUrl& location) { redirect_ = location; }
    // Answers with `size` bytes of "x", written in 64 KB chunks as the client
    // takes them, with or without a Content-Length announcing them.
    void setStreamedBody(qint64 size, bool announceLength) {
        streamedSize_ = size;
        announceLength_ = announceLength;
    }
    // How many body bytes the streamed answers have handed to their sockets.
    qint64 streamedBytes() const { return streamedBytes_; }

    const QList<Request>& requests() const { return requests_; }

  private:
    void serve(QTcpSocket* socket) {
        open_.append(socket);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0) return;
            Request request = parseHead(buffer->left(headerEnd));
            const qsizetype length = request.header("Content-Length").toLongLong();
            if (buffer->size() < headerEnd + 4 + length) return;
            request.body = buffer->mid(headerEnd + 4, length);
            buffer->clear();
            requests_.append(request);
            if (stalled_) return;
            if (!redirect_.isEmpty()) {
                socket->write("HTTP/1.1 302 Found\r\nLocation: " + redirect_.toEncoded() +
                              "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
                return;
            }
            if (streamedSize_ > 0) {
                stream(socket);
                return;
            }
            QByteArray out =
                "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                "Content-Length: " +
                QByteArray::number(responseBody_.size()) + "\r\nConnection: close\r\n\r\n" +
                responseBody_;
            socket->write(out);
            socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    // The head, then one chunk whenever the last has gone out, until the
    // size is reached or the client hangs up.
    void stream(QTcpSocket* socket) {
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n";
        if (announceLength_)
            head += "Content-Length: " + QByteArray::number(streamedSize_) + "\r\n";
        socket->write(head + "Connection: close\r\n\r\n");
        auto remaining = std::make_shared<qint64>(streamedSize_);
        const auto writeChunk = [this, socket, remaining] {
            if (socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState)
                return;
            if (*remaining == 0) {
                socket->disconnectFromHost();
                return;
            }
            static const QByteArray chunk(64 * 1024, 'x');
            const qint64 size = std::min<qint64>(*remaining, chunk.size());
            socket->write(chunk.constData(), size);
            *remaining -= size;
            streamedBytes_ += size;
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, writeChunk);
        writeChunk();
    }

    static Request parseHead(const QByteArray& head) {
        Request request;
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.append(
                    {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        return request;
    }

    QTcpServer server_;
    QByteArray responseBody_;
    bool stalled_ = false;
    QUrl redirect_;
    qint64 streamedSize_ = 0;
    bool announceLength_ = false;
    qint64 streamedBytes_ = 0;
    QList<Request> requests_;
    QList<QPointer<QTcpSocket>> open_;
};
