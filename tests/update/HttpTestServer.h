#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <chrono>
#include <optional>

class QTcpSocket;

namespace quorvel::test {

// A small HTTP/1.1 server on 127.0.0.1 with scripted answers per method and path. Every
// answer closes its connection. Requests without a script get 404.
class HttpTestServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        enum class Mode {
            answer,      // status line, headers and body at once
            neverAnswer, // read the request, then stay silent until the client gives up
            trickle,     // headers at once, then one body byte per `trickleInterval`
        };
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Sent as is when set; otherwise the body's length, unless omitContentLength.
        std::optional<QByteArray> contentLength;
        bool omitContentLength = false;
        Mode mode = Mode::answer;
        std::chrono::milliseconds trickleInterval{50};

        static Response ok(QByteArray body)
        {
            Response r;
            r.body = std::move(body);
            return r;
        }
        static Response withStatus(int code)
        {
            Response r;
            r.status = code;
            return r;
        }
        static Response silent()
        {
            Response r;
            r.mode = Mode::neverAnswer;
            return r;
        }
    };

    struct Request {
        QByteArray method;
        QByteArray path;                      // as sent, percent-encoding included
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };

    HttpTestServer();
    bool isListening() const { return m_server.isListening(); }
    // http://127.0.0.1:<port><path>
    QUrl url(const QString &path) const;

    // Each request for (method, path) takes the next scripted answer; the last one repeats.
    void route(const QByteArray &method, const QByteArray &path, QList<Response> answers);
    void route(const QByteArray &method, const QByteArray &path, Response answer)
    {
        route(method, path, QList<Response>{std::move(answer)});
    }

    const QList<Request> &requests() const { return m_requests; }
    int count(const QByteArray &method, const QByteArray &path) const;
    // Connections the client closed while the server still owed them an answer.
    int abandoned() const { return m_abandoned; }

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Request &request);

    QTcpServer m_server;
    QMap<QPair<QByteArray, QByteArray>, QList<Response>> m_routes;
    QList<Request> m_requests;
    int m_abandoned = 0;
};

} // namespace quorvel::test
