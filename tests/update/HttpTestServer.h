#pragma once

#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace quorvel::test {

// An HTTP server on 127.0.0.1 that answers each request ("GET /path", percent-encoding as sent)
// with scripted raw responses, the last one repeating, and closes the connection after each. An
// empty answer (or none scripted) is never sent: the server stays silent.
class HttpTestServer {
public:
    HttpTestServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    m_abandoned += socket->property("owed").toBool();
                    socket->deleteLater();
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QUrl url(const QString &path) const
    {
        return QUrl("http://127.0.0.1:" + QString::number(m_server.serverPort()) + path);
    }
    void route(const QByteArray &request, QList<QByteArray> answers) { m_routes[request] = std::move(answers); }
    // The heads of the requests received (request line and headers), in order.
    const QList<QByteArray> &requests() const { return m_requests; }
    // Connections the client closed while the server still owed them an answer.
    int abandoned() const { return m_abandoned; }

private:
    void read(QTcpSocket *socket)
    {
        const QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        socket->setProperty("buffer", buffer);
        if (!buffer.contains("\r\n\r\n"))
            return;
        m_requests << buffer.left(buffer.indexOf("\r\n\r\n") + 2);
        QList<QByteArray> &answers = m_routes[buffer.left(buffer.indexOf(" HTTP/"))];
        const QByteArray answer = answers.size() > 1 ? answers.takeFirst() : answers.value(0);
        socket->setProperty("owed", answer.isEmpty());
        socket->write(answer);
        if (!answer.isEmpty())
            socket->disconnectFromHost();
    }

    QMap<QByteArray, QList<QByteArray>> m_routes;
    QList<QByteArray> m_requests;
    int m_abandoned = 0;
    QTcpServer m_server; // last, so that its connections close while the rest still exists
};

} // namespace quorvel::test
