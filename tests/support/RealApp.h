#pragma once

// The real quorvel executable, headless, on the simulated platform, in a folder of its own:
// sandbox, home, data and log folders, temporary folder. Tests talk to it through its standard
// input and judge it by what a user would find afterwards: the sandbox, its children, its files.
// The same folders outlive the process, so start() after an exit is the next launch on the
// same machine.

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace quorvel::test {

class RealApp {
public:
    RealApp();
    ~RealApp();

    // Before start(): one more variable for the app's environment (an empty value removes it).
    void setEnvironment(const QString &name, const QString &value);
    // Before start(): the most bytes any one file of the app (and of its children) may grow
    // to, as a full disk would allow; 0 lifts the limit again for the next start.
    void setFileSizeLimit(qint64 bytes) { m_fileSizeLimit = bytes; }
    // Lifts the limit of the running app: the disk has room again. False when the platform
    // refuses.
    bool liftFileSizeLimit();
    // Before start(): the app's open-file limit, soft and hard alike, so that it cannot raise
    // it; 0 leaves the inherited one.
    void setDescriptorLimit(int descriptors) { m_descriptorLimit = descriptors; }
    // The running app's open-file limit, lowered to `spare` more than it holds open, and raised
    // again: the limit in force, 0 when the platform refuses. (Never below what it holds: poll()
    // refuses to watch more descriptors than the limit.)
    int tightenDescriptorLimit(int spare);
    bool liftDescriptorLimit();
    // How many descriptors the app holds open now.
    int openDescriptors() const;

    void start(const QStringList &arguments = {QStringLiteral("--headless")});
    void send(const QString &line);
    void closeInput() { m_process.closeWriteChannel(); }
    // Polls (in small steps, without blocking the child) until `condition` holds.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000);
    bool waitForExit(int timeoutMs = 10000)
    {
        return waitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    }
    // Until the newest state line of this launch holds `text`, or every one of `texts`.
    bool waitForState(const QString &text) { return waitForState(QStringList{text}); }
    bool waitForState(const QStringList &texts);
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }

    // A path inside this instance's own folder ("home", "tmp", "sandbox/sim", ...).
    QString folder(const QString &relative) const { return m_dir.filePath(relative); }
    QString sandbox(const QString &relative) const { return folder(QStringLiteral("sandbox/") + relative); }
    void writeSandbox(const QString &relative, const QByteArray &content) const;
    void removeSandbox(const QString &relative) const { QFile::remove(sandbox(relative)); }
    // "1", "0", or "" while never set.
    QString sleepSetting() const;
    // Every caffeinate the stand-in started, by pid, and those of them still alive.
    QList<qint64> caffeinatePids() const;
    QList<qint64> livingCaffeinates() const;
    QString historyPath() const { return folder("home/.local/share/app.quorvel.Quorvel/EventHistory.jsonl"); }
    QString logPath() const { return folder("home/.local/state/app.quorvel.Quorvel/diagnostic.log"); }
    // The history's event kinds, oldest first; lines that do not decode are left out.
    QStringList historyKinds() const;
    QString log() const;
    // Standard output and standard error of every launch so far, and the output of the newest.
    QString output() const { return m_output; }
    QString errors() const { return m_errors; }
    QString launchOutput() const { return m_output.mid(m_launchOutputStart); }
    // The newest state line the headless shell printed in this launch.
    QString stateLine() const;
    // `quorvel ctl <arguments>` with this app's environment, as the user would type it (through
    // `runAs`, a command such as setpriv, when given): its exit code (-1 when it crashed or
    // hung) and what it printed.
    struct Ctl {
        int code = -1;
        QString out, err;
    };
    Ctl ctl(const QStringList &arguments, const QStringList &runAs = {}) const;
    // Output, errors and log together, for failure messages.
    QByteArray transcript() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_output;
    QString m_errors;
    qsizetype m_launchOutputStart = 0;
    qint64 m_fileSizeLimit = 0;
    int m_descriptorLimit = 0;
};

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString &path);

} // namespace quorvel::test
