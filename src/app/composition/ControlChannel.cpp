#include "app/composition/ControlChannel.h"

#include "records/DiagnosticLog.h"
#include "support/UserDefaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
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

QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// Close-on-exec and non-blocking, the way every descriptor of the channel is kept: no child
// (caffeinate, pmset) inherits the socket, and nothing here ever waits on a peer.
void prepareDescriptor(int descriptor)
{
    ::fcntl(descriptor, F_SETFD, ::fcntl(descriptor, F_GETFD) | FD_CLOEXEC);
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

int acceptConnection(int listener)
{
#if defined(__linux__)
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
#else
    const int descriptor = ::accept(listener, nullptr, nullptr);
    if (descriptor >= 0)
        prepareDescriptor(descriptor);
    return descriptor;
#endif
}

int openReserve()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

QString socketIn(const QString &folder)
{
    return folder + QStringLiteral("/control.sock");
}

} // namespace

QString preferredRuntimeDirectory()
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

QString fallbackRuntimeDirectory()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return base + QLatin1Char('/') + QLatin1String(bundleIdentifier) + QStringLiteral("/control");
}

QString folderProblem(const QString &path, bool create)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0) {
        if (errno != ENOENT)
            return QStringLiteral("cannot be examined (%1)").arg(systemError(errno));
        if (!create)
            return QStringLiteral("missing");
        QDir().mkpath(QFileInfo(path).path()); // the fallback's parents are the user's own
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return QStringLiteral("cannot be created (%1)").arg(systemError(errno));
        if (::lstat(name.constData(), &status) != 0)
            return QStringLiteral("cannot be examined (%1)").arg(systemError(errno));
    }
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("a symbolic link");
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("not a folder");
    if (status.st_uid != ::geteuid())
        return QStringLiteral("owned by another user (uid %1)").arg(status.st_uid);
    if ((status.st_mode & 07777) == 0700)
        return {};
    const QString mode = QStringLiteral("mode %1").arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    if (!create)
        return QStringLiteral("open to other users (%1)").arg(mode);
    // Narrowed through a descriptor of the very folder just examined: a path could have been
    // swapped for a link to someone else's folder in between.
    const int folder = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return QStringLiteral("cannot be opened (%1)").arg(systemError(errno));
    struct stat opened {};
    QString problem;
    if (::fstat(folder, &opened) != 0 || opened.st_dev != status.st_dev || opened.st_ino != status.st_ino
        || opened.st_uid != ::geteuid())
        problem = QStringLiteral("changed while it was examined");
    else if (::fchmod(folder, 0700) != 0)
        problem = QStringLiteral("%1 cannot be narrowed (%2)").arg(mode, systemError(errno));
    ::close(folder);
    return problem;
}

QString runtimeDirectory()
{
    const QString preferred = preferredRuntimeDirectory();
    return folderProblem(preferred, false).isEmpty() ? preferred : fallbackRuntimeDirectory();
}

QString socketPath()
{
    return socketIn(runtimeDirectory());
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
}

Server::~Server()
{
    delete m_notifier;
    if (m_listener >= 0)
        ::close(m_listener);
    if (m_reserve >= 0)
        ::close(m_reserve);
}

bool Server::listen()
{
    QString folder = preferredRuntimeDirectory();
    if (const QString problem = folderProblem(folder, true); !problem.isEmpty()) {
        const QString fallback = fallbackRuntimeDirectory();
        const QString message =
            QStringLiteral("control folder refused, path=%1, reason=%2, using=%3").arg(folder, problem, fallback);
        std::fprintf(stderr, "quorvel: %s\n", message.toLocal8Bit().constData());
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app, message);
        if (const QString second = folderProblem(fallback, true); !second.isEmpty()) {
            m_error = QStringLiteral("the folder %1 is not private to this user: %2").arg(fallback, second);
            return false;
        }
        folder = fallback;
    }
    return listen(socketIn(folder));
}

bool Server::listen(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path) {
        m_error = QStringLiteral("the socket path %1 is too long").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    // The instance lock is ours, so a socket here is a crashed run's leftover.
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 && !S_ISDIR(status.st_mode))
        ::unlink(name.constData());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener < 0) {
        m_error = systemError(errno);
        return false;
    }
    prepareDescriptor(listener);
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 64) != 0) {
        m_error = systemError(errno);
        ::close(listener);
        return false;
    }
    m_listener = listener;
    m_path = path;
    m_reserve = openReserve();
    m_notifier = new QSocketNotifier(qintptr(listener), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Server::accept);
    return true;
}

void Server::accept()
{
    for (;;) {
        const int descriptor = acceptConnection(m_listener);
        if (descriptor >= 0) {
            serve(descriptor);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE) {
            // No descriptor left: the reserve makes room to take the waiting connection and
            // close it, so it neither wakes us again at once nor closes the server.
            if (m_reserve >= 0) {
                ::close(m_reserve);
                if (const int dropped = acceptConnection(m_listener); dropped >= 0)
                    ::close(dropped);
                m_reserve = openReserve();
            }
            DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                               QStringLiteral("control connection dropped, reason=") + systemError(errno));
            // Should even that fail, the next try waits a moment instead of spinning.
            m_notifier->setEnabled(false);
            QTimer::singleShot(100, m_notifier, [notifier = m_notifier] { notifier->setEnabled(true); });
        }
        return; // EAGAIN: nothing more waits; anything else is tried again at the next wake-up
    }
}

void Server::serve(int descriptor)
{
    const std::optional<uint> peer = peerUserId(descriptor);
    if (!peer || *peer != ::getuid()) {
        // Told why, so that their ctl does not mistake it for a busy app; nothing else is read.
        const QByteArray refusal = line({{QStringLiteral("ok"), false},
                                         {QStringLiteral("reason"), QStringLiteral("permissionDenied")},
                                         {QStringLiteral("error"), QStringLiteral("permission denied")}});
        (void)!::write(descriptor, refusal.constData(), size_t(refusal.size()));
        ::close(descriptor);
        return;
    }
    if (m_connections >= maxConnections) {
        ::close(descriptor); // the client reads the end of the stream: busy
        return;
    }
    auto *socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(descriptor, QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(descriptor);
        delete socket;
        return;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
    // Once the request is in, the answer may take as long as it takes (an administrator dialog).
    QTimer::singleShot(requestDeadlineMs, socket, [socket] {
        if (!socket->property("answered").toBool()) {
            socket->abort();
            socket->deleteLater();
        }
    });
    if (socket->bytesAvailable() > 0)
        read(socket);
}

void Server::read(QLocalSocket *socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll(); // one request per connection; anything after it is dropped, not kept
        return;
    }
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxMessageBytes) {
            socket->setProperty("answered", true);
            socket->readAll();
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

namespace {

bool ownedByAnotherUser(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && status.st_uid != ::geteuid();
}

} // namespace

Exchange exchange(const QJsonObject &message, int timeoutMs, const QString &path)
{
    using Outcome = Exchange::Outcome;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000)) {
        if (socket.error() == QLocalSocket::SocketAccessError || ownedByAnotherUser(path))
            return {Outcome::permissionDenied, {}};
        // Nobody listens there, or nothing is there at all.
        if (socket.error() == QLocalSocket::ServerNotFoundError
            || socket.error() == QLocalSocket::ConnectionRefusedError)
            return {Outcome::notRunning, {}};
        // A backlog so full that the connection is not even taken: Qt gives up on it without
        // naming an error, or with a time-out.
        return {Outcome::busy, {}};
    }
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
    // Closed without a word (too many connections at once), or no answer in time.
    if (!document.isObject())
        return {Outcome::busy, {}};
    if (document.object().value(QStringLiteral("reason")).toString() == QLatin1String("permissionDenied"))
        return {Outcome::permissionDenied, {}};
    return {Outcome::answered, document.object()};
}

std::optional<QJsonObject> request(const QJsonObject &message, int timeoutMs, const QString &path)
{
    Exchange result = exchange(message, timeoutMs, path);
    if (result.outcome != Exchange::Outcome::answered)
        return std::nullopt;
    return result.reply;
}

} // namespace quorvel::Control
