#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QLocalSocket;
class QSocketNotifier;

namespace quorvel::Control {

// Requests and replies are one JSON object per line. Nothing longer is read: a client that
// sends more gets an error and is disconnected, and the server keeps serving.
inline constexpr qsizetype maxMessageBytes = 16 * 1024;
// A client of ours that floods the socket must not take descriptors the app needs for
// keeping the machine awake: connections beyond these are closed as soon as they are accepted...
inline constexpr int maxConnections = 32;
// ...and one that has not delivered its request by then is closed.
inline constexpr int requestDeadlineMs = 2000;

// The per-user folder of the socket: $XDG_RUNTIME_DIR/quorvel on Linux, the user's caches
// folder on the Mac, else <temporary folder>/quorvel-<uid>. QUORVEL_RUNTIME_DIR overrides it
// (tests).
QString preferredRuntimeDirectory();
// Where the socket goes when the preferred folder cannot be trusted (someone else made it, or
// it is a link): a folder inside the user's own data folder, which nobody else can plant.
QString fallbackRuntimeDirectory();
// Why `path` is no private folder of ours (empty: it is one). With `create`, a missing folder
// is made 0700, and a folder of ours with a wider mode is narrowed through its descriptor;
// anything else is left exactly as it is.
QString folderProblem(const QString &path, bool create);
// The folder the running instance serves in, as a client finds it (nothing is created).
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

    // Listens in the preferred folder, or in the fallback when the preferred one is refused
    // (said on standard error and in the log). The caller holds the instance lock, so whatever
    // sits at the socket's path was left by an earlier run and is replaced.
    bool listen();
    bool listen(const QString &path);
    QString errorString() const { return m_error; }
    QString path() const { return m_path; }
    int connectionCount() const { return m_connections; }

private:
    void accept();
    void serve(int descriptor);
    void read(QLocalSocket *socket);

    Handler m_handler;
    int m_listener = -1;
    // Kept open so that a descriptor is free to accept and drop a connection even when the
    // process has none left; otherwise the pending connection would wake us forever.
    int m_reserve = -1;
    QSocketNotifier *m_notifier = nullptr;
    int m_connections = 0;
    QString m_path;
    QString m_error;
};

// What a client learns from one exchange with the running instance.
struct Exchange {
    enum class Outcome { answered, notRunning, permissionDenied, busy };
    Outcome outcome = Outcome::notRunning;
    QJsonObject reply; // when answered
};
Exchange exchange(const QJsonObject &message, int timeoutMs = 10000, const QString &path = socketPath());

// One request to the running instance. None when no instance answers (nothing listens, or it
// did not reply within `timeoutMs`).
std::optional<QJsonObject> request(const QJsonObject &message, int timeoutMs = 10000,
                                   const QString &path = socketPath());

// The user id of the process at the other end of a connected local socket, if the platform
// tells.
std::optional<uint> peerUserId(qintptr socketDescriptor);

} // namespace quorvel::Control
