#include "app/composition/ControlChannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace quorvel::Control {

namespace {

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject error(const QString &message)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), message}};
}

// Ours, a folder, and nobody else may enter: otherwise another user could put a socket of
// their own where we look.
bool isPrivateFolder(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
           && (st.st_mode & 077) == 0;
}

} // namespace

QString runtimeDirectory()
{
    if (const QString forced = qEnvironmentVariable("QUORVEL_RUNTIME_DIR"); !forced.isEmpty())
        return forced;
#ifdef Q_OS_MACOS
    const QString caches = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!caches.isEmpty())
        return caches + QStringLiteral("/app.quorvel.Quorvel");
#else
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        return runtime + QStringLiteral("/quorvel");
#endif
    return QDir::tempPath() + QStringLiteral("/quorvel-") + QString::number(::getuid());
}

QString socketPath()
{
    return runtimeDirectory() + QStringLiteral("/control.sock");
}

std::optional<uint> peerUserId(qintptr descriptor)
{
#if defined(SO_PEERCRED)
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
        return uint(credentials.uid);
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(int(descriptor), &uid, &gid) == 0)
        return uint(uid);
#endif
    return std::nullopt;
}

Server::Server(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    connect(&m_server, &QLocalServer::newConnection, this, &Server::accept);
}

Server::~Server()
{
    m_server.close();
}

bool Server::listen(const QString &path)
{
    const QString folder = QFileInfo(path).path();
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    if (!isPrivateFolder(folder)) {
        m_error = QStringLiteral("the folder %1 is not private to this user").arg(folder);
        return false;
    }
    if (QFileInfo::exists(path)) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500)) {
            m_error = QStringLiteral("another instance is running");
            return false;
        }
        // Nobody answers: a crash left it behind.
        QLocalServer::removeServer(path);
    }
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(path)) {
        m_error = m_server.errorString();
        return false;
    }
    return true;
}

void Server::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const std::optional<uint> peer = peerUserId(socket->socketDescriptor());
        if (!peer || *peer != ::getuid()) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        if (socket->bytesAvailable() > 0)
            read(socket);
    }
}

void Server::read(QLocalSocket *socket)
{
    if (socket->property("answered").toBool())
        return; // one request per connection
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxMessageBytes) {
            socket->write(line(error(QStringLiteral("request too long"))));
            socket->disconnectFromServer();
        }
        return;
    }
    const QByteArray text = socket->readLine(maxMessageBytes + 1);
    socket->setProperty("answered", true);
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (text.size() > maxMessageBytes || !document.isObject()) {
        socket->write(line(error(text.size() > maxMessageBytes ? QStringLiteral("request too long")
                                                               : QStringLiteral("malformed request"))));
        socket->disconnectFromServer();
        return;
    }
    QPointer<QLocalSocket> weak(socket);
    m_handler(document.object(), [weak](const QJsonObject &reply) {
        if (!weak)
            return; // the client went away meanwhile
        weak->write(line(reply));
        weak->flush();
        weak->disconnectFromServer();
    });
}

std::optional<QJsonObject> request(const QJsonObject &message, int timeoutMs, const QString &path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000))
        return std::nullopt;
    socket.write(line(message));
    socket.flush();
    QDeadlineTimer deadline(timeoutMs);
    QByteArray reply;
    while (!reply.endsWith('\n') && reply.size() <= maxMessageBytes) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())) && socket.bytesAvailable() == 0) {
            if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState)
                break;
        }
        reply += socket.readAll();
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace quorvel::Control
