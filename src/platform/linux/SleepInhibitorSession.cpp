#include "platform/linux/SleepInhibitorSession.h"

#include "platform/linux/DesktopInhibitors.h"
#include "platform/linux/LogindInhibitor.h"
#include "records/DiagnosticLog.h"

#include <QCoreApplication>
#include <QDBusServiceWatcher>
#include <QPointer>
#include <QTimer>

#include <optional>

namespace quorvel {

namespace {

void logTimed(DiagnosticLog::Level level, const QString &message)
{
    DiagnosticLog::log(level, DiagnosticLog::Category::timed, message);
}

QString cookieText(const std::optional<quint32> &cookie)
{
    return cookie ? QString::number(*cookie) : QStringLiteral("no");
}

class SleepInhibitorSession final : public QObject, public ChildProcess {
public:
    SleepInhibitorSession(linuxbus::Buses buses, const QStringList &arguments)
        : m_buses(std::move(buses))
    {
        m_display = arguments.contains(QStringLiteral("-d"));
        const qsizetype t = arguments.indexOf(QStringLiteral("-t"));
        if (t >= 0 && t + 1 < arguments.size())
            m_seconds = arguments.at(t + 1).toLongLong();
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::VeryCoarseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { end(0); });
    }

    ~SleepInhibitorSession() override { releaseAll(); }

    void setFinishedHandler(FinishedHandler handler) override { m_handler = std::move(handler); }

    bool start() override
    {
        if (m_running || m_finished)
            return false;
        QString error;
        m_sleepLock = logind::inhibit(m_buses.system, QStringLiteral("idle:sleep"), LinuxLockNames::who,
                                      LinuxLockNames::sleepReason, &error);
        if (!m_sleepLock.isValid()) {
            logTimed(DiagnosticLog::Level::error, QStringLiteral("logind inhibit failed, error=") + error);
            return false;
        }
        // The desktop's own idle suspend does not look at logind: GNOME asks gnome-session and
        // KDE asks PowerDevil. Where a service is there, its lock is part of the session; one that
        // is there and refuses fails the start, as a tool that will not run would.
        const QDBusConnection &session = m_buses.session;
        const bool hasGnome = linuxbus::hasOwner(session, gnomesession::service);
        const bool hasPowerDevil = linuxbus::hasOwner(session, powerdevil::service);
        const bool hasScreenSaver = m_display && linuxbus::hasOwner(session, screensaver::service);
        bool ok = true;
        if (hasGnome) {
            const quint32 flags = gnomesession::suspendFlag | (m_display ? gnomesession::idleFlag : 0);
            m_gnome = gnomesession::inhibit(session, LinuxLockNames::appId, flags,
                                            m_display ? LinuxLockNames::displayReason : LinuxLockNames::sleepReason);
            ok = ok && m_gnome.has_value();
        }
        if (hasPowerDevil) {
            const quint32 types = powerdevil::interruptSession | (m_display ? powerdevil::changeScreenSettings : 0);
            m_powerDevil =
                powerdevil::addInhibition(session, types, LinuxLockNames::who,
                                          m_display ? LinuxLockNames::displayReason : LinuxLockNames::sleepReason);
            ok = ok && m_powerDevil.has_value();
        }
        if (hasScreenSaver) {
            m_screenSaver = screensaver::inhibit(session, LinuxLockNames::who, LinuxLockNames::displayReason);
            ok = ok && m_screenSaver.has_value();
        }
        if (!ok) {
            logTimed(DiagnosticLog::Level::error,
                     QStringLiteral("desktop inhibit failed, gnomeSession=%1, powerDevil=%2, screenSaver=%3")
                         .arg(hasGnome ? cookieText(m_gnome) : QStringLiteral("absent"),
                              hasPowerDevil ? cookieText(m_powerDevil) : QStringLiteral("absent"),
                              hasScreenSaver ? cookieText(m_screenSaver) : QStringLiteral("absent")));
            releaseAll();
            return false;
        }
        watch(m_buses.system, logind::service);
        if (m_gnome)
            watch(session, gnomesession::service);
        if (m_powerDevil)
            watch(session, powerdevil::service);
        if (m_screenSaver)
            watch(session, screensaver::service);
        m_running = true;
        if (m_seconds > 0)
            m_timer.start(std::chrono::seconds(m_seconds));
        logTimed(DiagnosticLog::Level::debug,
                 QStringLiteral("linux locks taken, logind=idle:sleep, gnomeSession=%1, powerDevil=%2, screenSaver=%3")
                     .arg(cookieText(m_gnome), cookieText(m_powerDevil), cookieText(m_screenSaver)));
        return true;
    }

    void terminate() override { end(15); }
    void kill() override { end(9); }
    bool isRunning() const override { return m_running; }
    // The locks belong to this process; logind lists them under its id.
    qint64 pid() const override { return m_running ? QCoreApplication::applicationPid() : 0; }
    bool waitForExit(int) override { return !m_running; }

private:
    void watch(const QDBusConnection &bus, const QString &service)
    {
        auto *watcher = new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString &name) {
            if (!m_running)
                return;
            logTimed(DiagnosticLog::Level::error, QStringLiteral("inhibitor service left the bus, service=") + name);
            end(1);
        });
    }

    void releaseAll()
    {
        m_timer.stop();
        m_sleepLock.reset();
        const QDBusConnection &session = m_buses.session;
        if (m_gnome)
            gnomesession::uninhibit(session, *std::exchange(m_gnome, std::nullopt));
        if (m_powerDevil)
            powerdevil::releaseInhibition(session, *std::exchange(m_powerDevil, std::nullopt));
        if (m_screenSaver)
            screensaver::uninhibit(session, *std::exchange(m_screenSaver, std::nullopt));
    }

    // Everything is released before the end is reported, and the report is posted, never
    // delivered from inside the call that caused it, so the receiver may destroy this handle.
    void end(int status)
    {
        if (!m_running)
            return;
        m_running = false;
        m_finished = true;
        releaseAll();
        QPointer<QObject> guard(this);
        QMetaObject::invokeMethod(
            this,
            [this, guard, status] {
                if (guard && m_handler)
                    m_handler(status);
            },
            Qt::QueuedConnection);
    }

    linuxbus::Buses m_buses;
    bool m_display = false;
    qint64 m_seconds = 0;
    bool m_running = false;
    bool m_finished = false;
    QTimer m_timer;
    FinishedHandler m_handler;
    linuxbus::UniqueFd m_sleepLock;
    std::optional<quint32> m_gnome;
    std::optional<quint32> m_powerDevil;
    std::optional<quint32> m_screenSaver;
};

} // namespace

ChildProcessFactory sleepInhibitorFactory(linuxbus::Buses buses)
{
    return [buses](const QString &, const QStringList &arguments) -> std::unique_ptr<ChildProcess> {
        return std::make_unique<SleepInhibitorSession>(buses, arguments);
    };
}

} // namespace quorvel
