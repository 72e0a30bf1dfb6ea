#include "support/RealApp.h"

#include "records/VemoEvent.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>

namespace quorvel::test {

namespace {
const QString bundleFolder = QStringLiteral("/app.quorvel.Quorvel/");
}

bool isAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

RealApp::RealApp()
{
    for (const char *folder : {"sandbox/sim", "sandbox/etc/sudoers.d", "home", "tmp"})
        QDir().mkpath(m_dir.filePath(QString::fromLatin1(folder)));
    writeSandbox(QStringLiteral("sim/power.json"), R"({"source":"ac","lowPower":false})");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = m_dir.filePath(QStringLiteral("home"));
    env.insert(QStringLiteral("QUORVEL_SIM_ROOT"), m_dir.filePath(QStringLiteral("sandbox")));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("TMPDIR"), m_dir.filePath(QStringLiteral("tmp")));
    // Update checks never leave the machine.
    env.insert(QStringLiteral("QUORVEL_UPDATE_FEED_URL"), QStringLiteral("http://127.0.0.1:9/quorvel/"));
    m_process.setProcessEnvironment(env);
    m_process.setProgram(QStringLiteral(QUORVEL_EXECUTABLE));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_output += QString::fromUtf8(m_process.readAll()); });
}

RealApp::~RealApp()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill(); // only the child we started, by its pid
        m_process.waitForFinished(5000);
    }
    for (qint64 pid : livingCaffeinates())
        ::kill(pid_t(pid), SIGKILL); // started by our child, recorded by the stand-in
}

void RealApp::start(const QStringList &arguments)
{
    m_process.setArguments(arguments);
    m_process.start();
    m_process.waitForStarted(5000);
}

void RealApp::send(const QString &line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
    m_process.waitForBytesWritten(1000);
}

void RealApp::closeInput()
{
    m_process.closeWriteChannel();
}

bool RealApp::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        m_process.waitForReadyRead(10);
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

bool RealApp::waitForExit(int timeoutMs)
{
    return waitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

QString RealApp::sandbox(const QString &relative) const
{
    return m_dir.filePath(QStringLiteral("sandbox/") + relative);
}

void RealApp::writeSandbox(const QString &relative, const QByteArray &content) const
{
    QFile file(sandbox(relative));
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QString RealApp::sleepSetting() const
{
    QFile file(sandbox(QStringLiteral("sim/disablesleep")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

QList<qint64> RealApp::caffeinatePids() const
{
    QList<qint64> pids;
    QFile file(sandbox(QStringLiteral("sim/caffeinate.log")));
    if (!file.open(QIODevice::ReadOnly))
        return pids;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (const qint64 pid = line.split(' ').value(0).toLongLong(); pid > 0)
            pids << pid;
    return pids;
}

QList<qint64> RealApp::livingCaffeinates() const
{
    QList<qint64> alive;
    for (qint64 pid : caffeinatePids())
        if (isAlive(pid))
            alive << pid;
    return alive;
}

QString RealApp::historyPath() const
{
    return m_dir.filePath(QStringLiteral("home/.local/share")) + bundleFolder + QStringLiteral("EventHistory.jsonl");
}

QString RealApp::logPath() const
{
    return m_dir.filePath(QStringLiteral("home/.local/state")) + bundleFolder + QStringLiteral("diagnostic.log");
}

QStringList RealApp::historyKinds() const
{
    QStringList kinds;
    QFile file(historyPath());
    if (!file.open(QIODevice::ReadOnly))
        return kinds;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (const auto event = decodeEvent(line))
            kinds << caseName(event->kind);
    return kinds;
}

QString RealApp::log() const
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace quorvel::test
