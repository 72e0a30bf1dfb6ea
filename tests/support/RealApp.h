#pragma once

// The real quorvel executable, headless, on the simulated platform, in a folder of its own:
// sandbox, home, data and log folders, temporary folder. Tests talk to it through its standard
// input and judge it by what a user would find afterwards: the sandbox, its children, its files.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace quorvel::test {

class RealApp {
public:
    RealApp();
    ~RealApp();

    void start(const QStringList &arguments = {QStringLiteral("--headless")});
    void send(const QString &line);
    void closeInput();
    // Polls (in small steps, without blocking the child) until `condition` holds.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000);
    bool waitForExit(int timeoutMs = 10000);
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }

    QString sandbox(const QString &relative) const;
    void writeSandbox(const QString &relative, const QByteArray &content) const;
    // "1", "0", or "" while never set.
    QString sleepSetting() const;
    // Every caffeinate the stand-in started, by pid, and those of them still alive.
    QList<qint64> caffeinatePids() const;
    QList<qint64> livingCaffeinates() const;
    QString historyPath() const;
    QString logPath() const;
    // The history's event kinds, oldest first; lines that do not decode are left out.
    QStringList historyKinds() const;
    QString log() const;
    QString output() const { return m_output; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_output;
};

bool isAlive(qint64 pid);

} // namespace quorvel::test
