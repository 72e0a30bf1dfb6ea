#include "support/RealApp.h"

#include "records/VemoEvent.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace quorvel::test {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {

bool isAlive(qint64 pid)
{
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return false;
    // A child whose parent was killed waits, exited, for whoever adopted it to reap it: a
    // zombie holds nothing awake and counts as gone. (Where there is no /proc, it counts as
    // alive until reaped.)
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype name = stat.lastIndexOf(')');
    return name < 0 || stat.mid(name + 2, 1) != "Z";
}

} // namespace

RealApp::RealApp()
{
    for (const char *folder : {"sandbox/sim", "sandbox/etc/sudoers.d", "home", "tmp"})
        QDir().mkpath(m_dir.filePath(QString::fromLatin1(folder)));
    writeSandbox(QStringLiteral("sim/power.json"), R"({"source":"ac","lowPower":false})");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = m_dir.filePath(QStringLiteral("home"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("QUORVEL_SIM_ROOT"), m_dir.filePath(QStringLiteral("sandbox")));
    env.insert(QStringLiteral("TMPDIR"), m_dir.filePath(QStringLiteral("tmp")));
    // Each instance is the only one of its "user": its control socket is its own.
    env.insert(QStringLiteral("QUORVEL_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    // The texts a test looks for are the English ones, whatever the machine's language.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    // Update checks never leave the machine.
    env.insert(QStringLiteral("QUORVEL_UPDATE_FEED_URL"), QStringLiteral("http://127.0.0.1:9/quorvel/"));
    // Never the real system's tools, not even on a Mac.
    env.insert(QStringLiteral("QUORVEL_PLATFORM"), QStringLiteral("sim"));
    // No language list of the machine's, and no fault switch: those are set per test, through
    // the sandbox or setEnvironment(), never inherited.
    for (const char *name : {"LANGUAGE", "QUORVEL_SIM_CAFFEINATE_IGNORE_TERM", "QUORVEL_SIM_PMSET_IGNORE_WRITES",
                             "QUORVEL_SIM_PMSET_GARBAGE", "QUORVEL_SIM_PMSET_RESET_ON_POWER_CHANGE",
                             "QUORVEL_SIM_OSASCRIPT_ANSWER", "QUORVEL_SIM_OSASCRIPT_DELAY_MS"})
        env.remove(QString::fromLatin1(name));
    m_process.setProcessEnvironment(env);
    m_process.setProgram(QStringLiteral(QUORVEL_EXECUTABLE));
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                     [this] { m_output += QString::fromUtf8(m_process.readAllStandardOutput()); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_errors += QString::fromUtf8(m_process.readAllStandardError()); });
    m_process.setChildProcessModifier([this] {
        // Runs in the child between fork and exec: only async-signal-safe calls here. A write
        // past the limit then fails with EFBIG (as on a full disk) instead of killing the app.
        if (m_fileSizeLimit > 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(m_fileSizeLimit), RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (m_descriptorLimit > 0) {
            const rlimit limit{rlim_t(m_descriptorLimit), rlim_t(m_descriptorLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
    });
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

void RealApp::setEnvironment(const QString &name, const QString &value)
{
    QProcessEnvironment env = m_process.processEnvironment();
    value.isEmpty() ? env.remove(name) : env.insert(name, value);
    m_process.setProcessEnvironment(env);
}

bool RealApp::liftFileSizeLimit()
{
#ifdef __linux__
    const rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
    return ::prlimit(pid_t(pid()), RLIMIT_FSIZE, &limit, nullptr) == 0;
#else
    return false; // no way to change another process's limits
#endif
}

int RealApp::openDescriptors() const
{
    // Links to files and folders count as much as pipes and sockets (the "System" ones).
    const auto all = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid())).entryList(all).size());
}

int RealApp::tightenDescriptorLimit(int spare)
{
#ifdef __linux__
    const int open = openDescriptors();
    rlimit limit{};
    if (open == 0 || ::prlimit(pid_t(pid()), RLIMIT_NOFILE, nullptr, &limit) != 0)
        return 0;
    limit.rlim_cur = rlim_t(open + spare);
    return ::prlimit(pid_t(pid()), RLIMIT_NOFILE, &limit, nullptr) == 0 ? int(limit.rlim_cur) : 0;
#else
    Q_UNUSED(spare);
    return 0;
#endif
}

bool RealApp::liftDescriptorLimit()
{
#ifdef __linux__
    rlimit limit{};
    if (::prlimit(pid_t(pid()), RLIMIT_NOFILE, nullptr, &limit) != 0)
        return false;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 4096);
    return ::prlimit(pid_t(pid()), RLIMIT_NOFILE, &limit, nullptr) == 0;
#else
    return false;
#endif
}

void RealApp::start(const QStringList &arguments)
{
    m_launchOutputStart = m_output.size();
    m_process.setArguments(arguments);
    m_process.start();
    m_process.waitForStarted(5000);
}

void RealApp::send(const QString &line)
{
    m_process.write((line + QLatin1Char('\n')).toUtf8());
    m_process.waitForBytesWritten(1000);
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

bool RealApp::waitForState(const QStringList &texts)
{
    const auto inLine = [this](const QString &text) { return stateLine().contains(text); };
    return waitFor([&] { return std::all_of(texts.begin(), texts.end(), inLine); });
}

void RealApp::writeSandbox(const QString &relative, const QByteArray &content) const
{
    QFile file(sandbox(relative));
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QString RealApp::sleepSetting() const
{
    return QString::fromUtf8(readFile(sandbox(QStringLiteral("sim/disablesleep")))).trimmed();
}

QList<qint64> RealApp::caffeinatePids() const
{
    QList<qint64> pids;
    for (const QByteArray &line : readFile(sandbox(QStringLiteral("sim/caffeinate.log"))).split('\n'))
        if (const qint64 pid = line.split(' ').value(0).toLongLong(); pid > 0)
            pids << pid;
    return pids;
}

QList<qint64> RealApp::livingCaffeinates() const
{
    QList<qint64> alive = caffeinatePids();
    alive.removeIf([](qint64 pid) { return !isAlive(pid); });
    return alive;
}

QStringList RealApp::historyKinds() const
{
    QStringList kinds;
    for (const QByteArray &line : readFile(historyPath()).split('\n'))
        if (const auto event = decodeEvent(line))
            kinds << caseName(event->kind);
    return kinds;
}

QString RealApp::log() const
{
    return QString::fromUtf8(readFile(logPath()));
}

QString RealApp::stateLine() const
{
    const QStringList lines = launchOutput().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (it->contains(QLatin1String(" | idle: ")))
            return *it;
    return {};
}

RealApp::Ctl RealApp::ctl(const QStringList &arguments, const QStringList &runAs) const
{
    QProcess process;
    process.setProcessEnvironment(m_process.processEnvironment());
    const QStringList command = QStringList{QStringLiteral(QUORVEL_EXECUTABLE), QStringLiteral("ctl")} + arguments;
    if (runAs.isEmpty())
        process.start(command.first(), command.mid(1));
    else
        process.start(runAs.first(), runAs.mid(1) + command);
    if (!process.waitForFinished(30000)) {
        process.kill(); // our own child, by its pid
        process.waitForFinished(1000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

QByteArray RealApp::transcript() const
{
    QString text = "standard output:\n" + m_output + "\nstandard error:\n" + m_errors + "\nlog:\n" + log()
                   + QStringLiteral("\nexit code %1, %2").arg(m_process.exitCode()).arg(m_process.errorString());
    // Where an app that still runs is waiting: enough to tell a hang from a slow machine.
    if (m_process.state() != QProcess::NotRunning)
        text += "\nstill running, in " + QString::fromUtf8(readFile(QStringLiteral("/proc/%1/wchan").arg(pid())));
    return text.toUtf8();
}

} // namespace quorvel::test
