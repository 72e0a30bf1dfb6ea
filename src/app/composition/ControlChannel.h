#pragma once

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QLocalSocket;

namespace quorvel::Control {

// Requests and replies are one JSON object per line. Nothing longer is read: a client that
// sends more gets an error and is disconnected, and the server keeps serving.
inline constexpr qsizetype maxMessageBytes = 16 * 1024;

// The per-user folder of the socket (created 0700 when missing): $XDG_RUNTIME_DIR/quorvel on
// Linux, the user's caches folder on the Mac, else <temporary folder>/quorvel-<uid>.
// QUORVEL_RUNTIME_DIR overrides it (tests).
QString runtimeDirectory();
QString socketPath();

// Answers a request; `reply` may be called later (after a mode has settled), exactly once.
using Handler = std::function<void(const QJsonObject &request, std::function<void(const QJsonObject &)> reply)>;

// The running instance's end: accepts connections only from processes of the same user.
class Server final : public QObject {
    Q_OBJECT
public:
    explicit Server(Handler handler, QObject *parent = nullptr);
    ~Server() override;

    // Listens at `path` in a private folder. A socket file that nobody answers on is left over
    // from a crash: it is replaced. False when another instance answers there, or on error.
    bool listen(const QString &path = socketPath());
    QString errorString() const { return m_error; }

private:
    void accept();
    void read(QLocalSocket *socket);

    Handler m_handler;
    QLocalServer m_server;
    QString m_error;
};

// One request to the running instance. None when no instance answers (nothing listens, or it
// did not reply within `timeoutMs`).
std::optional<QJsonObject> request(const QJsonObject &message, int timeoutMs = 10000,
                                   const QString &path = socketPath());

// The user id of the process at the other end of a connected local socket, if the platform
// tells.
std::optional<uint> peerUserId(qintptr socketDescriptor);

} // namespace quorvel::Control
