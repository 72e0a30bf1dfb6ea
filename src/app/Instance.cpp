#include "app/Instance.h"

#include "records/DiagnosticLog.h"

#include "support/UserDefaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvel {

namespace {

QString lockPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return base + QLatin1Char('/') + QLatin1String(bundleIdentifier) + QStringLiteral("/instance.lock");
}

enum class Lock { taken, held, unavailable };

// Close-on-exec matters as much as the lock itself: a caffeinate child that outlived a crash
// would otherwise keep holding it, and no launch after that could become the instance.
Lock takeLock(int &descriptor, QString &why)
{
    const QString path = lockPath();
    QDir().mkpath(QFileInfo(path).path());
    const int opened = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (opened < 0) {
        why = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return Lock::unavailable;
    }
    while (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(opened);
        if (error == EWOULDBLOCK)
            return Lock::held;
        why = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
        return Lock::unavailable;
    }
    descriptor = opened;
    return Lock::taken;
}

} // namespace

Instance::Instance(QObject *parent)
    : QObject(parent)
{
    m_server = std::make_unique<Control::Server>(
        [this](const QJsonObject &request, std::function<void(const QJsonObject &)> reply) {
            if (!m_handler) // still starting up
                return reply({{QStringLiteral("ok"), false},
                              {QStringLiteral("reason"), QStringLiteral("pleaseWait")},
                              {QStringLiteral("error"), qtTrId("pleaseWait")}});
            m_handler->handle(request, std::move(reply));
        });
}

Instance::~Instance()
{
    m_server.reset(); // the socket goes before the lock that makes it ours
    if (m_lock >= 0)
        ::close(m_lock);
}

bool Instance::claim(const std::function<bool()> &handOver)
{
    QString why;
    switch (takeLock(m_lock, why)) {
    case Lock::taken: break;
    case Lock::held: {
        // The instance may have taken the lock a moment ago and not be listening yet.
        QDeadlineTimer deadline(5000);
        do {
            if (handOver())
                return false;
            QThread::msleep(100);
        } while (!deadline.hasExpired());
        std::fprintf(stderr,
                     "quorvel: another instance holds the lock %s but does not answer at %s; not starting "
                     "a second one\n",
                     QFile::encodeName(lockPath()).constData(), QFile::encodeName(Control::socketPath()).constData());
        return false;
    }
    case Lock::unavailable:
        // Better one instance without the guard than none at all; the log says why.
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("instance lock unavailable, reason=") + why);
        break;
    }
    if (m_server->listen())
        return true;
    DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                       QStringLiteral("control channel unavailable, reason=") + m_server->errorString());
    return true;
}

void Instance::serve(AppCoordinator &coordinator, std::function<void()> activate)
{
    m_handler = std::make_unique<ControlHandler>(coordinator, std::move(activate));
}

void Instance::openUrl(const QUrl &url)
{
    const auto request = ControlCommands::parseUrl(url);
    if (!request || !m_handler) {
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("address ignored, url=") + url.toString());
        return;
    }
    m_handler->handle(*request, [url](const QJsonObject &reply) {
        if (!reply.value(QStringLiteral("ok")).toBool())
            DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                               QStringLiteral("address refused, url=%1, reason=%2")
                                   .arg(url.toString(), reply.value(QStringLiteral("reason")).toString()));
    });
}

void Instance::handleLaunchArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments)
        if (argument.startsWith(QLatin1String("quorvel:")))
            openUrl(QUrl(argument));
}

} // namespace quorvel
