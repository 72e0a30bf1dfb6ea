#include "idle/ChildProcess.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>

namespace quorvel {

namespace {

class QtChildProcess final : public ChildProcess {
public:
    QtChildProcess(QString program, QStringList arguments)
    {
        m_process.setProgram(std::move(program));
        m_process.setArguments(std::move(arguments));
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
        QObject::connect(&m_process, &QProcess::finished, &m_process,
                         [this](int exitCode, QProcess::ExitStatus exitStatus) { onFinished(exitCode, exitStatus); });
    }

    ~QtChildProcess() override
    {
        QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
        if (m_process.state() != QProcess::NotRunning) {
            // Never leave a child (or a zombie) behind when the handle goes away.
            m_process.kill();
            m_process.waitForFinished(1000);
        }
    }

    void setFinishedHandler(FinishedHandler handler) override { m_handler = std::move(handler); }

    bool start() override
    {
        m_process.start();
        return m_process.waitForStarted();
    }

    void terminate() override { m_process.terminate(); }
    void kill() override { m_process.kill(); }
    bool isRunning() const override { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const override { return m_process.processId(); }

    bool waitForExit(int ms) override
    {
        if (!isRunning())
            return true;
        m_process.waitForFinished(ms);
        return !isRunning();
    }

private:
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus)
    {
        // Qt reports a signalled child as CrashExit with the signal number as its exit
        // code, which is the status the preventer expects. The report is posted rather
        // than delivered from inside QProcess so that the receiver may destroy this
        // handle; the posted call goes through the application object and checks the
        // handle's life token, so a handle destroyed in between reports nothing.
        const int status = exitCode;
        Q_UNUSED(exitStatus);
        std::weak_ptr<char> alive = m_alive;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, status] {
                if (alive.expired())
                    return;
                if (auto handler = m_handler)
                    handler(status);
            },
            Qt::QueuedConnection);
    }

    QProcess m_process;
    FinishedHandler m_handler;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};

} // namespace

ChildProcessFactory liveChildProcessFactory()
{
    return [](QString program, QStringList arguments) -> std::unique_ptr<ChildProcess> {
        return std::make_unique<QtChildProcess>(std::move(program), std::move(arguments));
    };
}

} // namespace quorvel
