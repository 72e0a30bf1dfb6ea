#include "HttpTestServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace quorvel::test {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

HttpTestServer::HttpTestServer()
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpTestServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl HttpTestServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void HttpTestServer::route(const QByteArray &method, const QByteArray &path, QList<Response> answers)
{
    m_routes.insert({method, path}, std::move(answers));
}

int HttpTestServer::count(const QByteArray &method, const QByteArray &path) const
{
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [&](const Request &r) { return r.method == method && r.path == path; }));
}

void HttpTestServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setProperty("owed", false);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket->property("owed").toBool())
                ++m_abandoned;
            socket->setProperty("owed", false);
            socket->deleteLater();
        });
    }
}

void HttpTestServer::readFrom(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    Request request{requestLine.value(0), requestLine.value(1), {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    m_requests.append(request);
    respond(socket, request);
}

void HttpTestServer::respond(QTcpSocket *socket, const Request &request)
{
    Response response = Response::withStatus(404);
    auto route = m_routes.find({request.method, request.path});
    if (route != m_routes.end() && !route->isEmpty())
        response = route->size() > 1 ? route->takeFirst() : route->first();

    if (response.mode == Response::Mode::neverAnswer) {
        socket->setProperty("owed", true);
        return;
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.contentLength)
        head += "Content-Length: " + *response.contentLength + "\r\n";
    else if (!response.omitContentLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    const QByteArray body = request.method == "HEAD" ? QByteArray() : response.body;

    if (response.mode == Response::Mode::answer || body.isEmpty()) {
        socket->write(head + body);
        socket->disconnectFromHost();
        return;
    }

    // Trickle: the client keeps getting bytes, just never all of them in good time.
    socket->write(head);
    socket->setProperty("owed", true);
    auto *timer = new QTimer(socket);
    QPointer<QTcpSocket> guard(socket);
    auto sent = std::make_shared<qsizetype>(0);
    connect(timer, &QTimer::timeout, socket, [guard, timer, body, sent] {
        if (!guard)
            return;
        guard->write(body.mid(*sent, 1));
        if (++*sent >= body.size()) {
            timer->stop();
            guard->setProperty("owed", false);
            guard->disconnectFromHost();
        }
    });
    timer->start(response.trickleInterval);
}

} // namespace quorvel::test
