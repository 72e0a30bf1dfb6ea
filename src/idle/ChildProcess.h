#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace quorvel {

// One child process as the idle-sleep preventer sees it. The handle is made stopped;
// start() launches it. The end of the child is reported once, through the finished
// handler, on the main thread and never from inside one of the calls below, so the
// receiver may destroy the handle there. Destroying a handle whose child still runs
// kills and reaps the child; a destroyed handle reports nothing.
class ChildProcess {
public:
    // The termination status: the exit code of a child that exited, or the signal
    // number of a child that a signal ended (15 for SIGTERM, 9 for SIGKILL).
    using FinishedHandler = std::function<void(int status)>;

    virtual ~ChildProcess() = default;

    virtual void setFinishedHandler(FinishedHandler handler) = 0;
    // Launches the child; false when the platform refuses (no handler call follows).
    virtual bool start() = 0;
    virtual void terminate() = 0; // SIGTERM
    virtual void kill() = 0;      // SIGKILL
    virtual bool isRunning() const = 0;
    virtual qint64 pid() const = 0;
    // Blocks the calling thread for at most `ms` milliseconds; true once the child has
    // gone. Only the quit path uses it: everything else waits for the handler.
    virtual bool waitForExit(int ms) = 0;
};

using ChildProcessFactory = std::function<std::unique_ptr<ChildProcess>(QString program, QStringList arguments)>;

// Children over QProcess. They inherit the environment, working directory and the
// standard streams of the application: no pipe is opened, so none can fill up unread.
ChildProcessFactory liveChildProcessFactory();

} // namespace quorvel
