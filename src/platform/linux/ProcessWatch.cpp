#include "idle/ProcessWatching.h"

#include <QFile>
#include <QSocketNotifier>

#include <limits>
#include <utility>

#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434 // the same number on every architecture since Linux 5.3
#endif

namespace quorvel {

namespace {

// A pidfd turns readable once its process has ended: one notifier, no timer, and no race
// with the pid being reused, because the descriptor names this very process.
class PidfdWatch final : public QObject {
public:
    PidfdWatch(int fd, std::function<void()> onExit)
        : m_fd(fd)
        , m_notifier(fd, QSocketNotifier::Read)
        , m_onExit(std::move(onExit))
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            m_notifier.setEnabled(false);
            if (auto onExit = std::exchange(m_onExit, nullptr))
                onExit();
        });
    }
    ~PidfdWatch() override { ::close(m_fd); }

private:
    int m_fd;
    QSocketNotifier m_notifier;
    std::function<void()> m_onExit;
};

} // namespace

ProcessWatching liveProcessWatching()
{
    ProcessWatching watching;
    watching.watch = [](qint64 pid, std::function<void()> onExit) -> std::unique_ptr<QObject> {
        if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
            return nullptr;
        const int fd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
        if (fd < 0)
            return nullptr;
        return std::make_unique<PidfdWatch>(fd, std::move(onExit));
    };
    watching.name = [](qint64 pid) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (pid <= 0 || !comm.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(comm.readAll()).trimmed();
    };
    return watching;
}

} // namespace quorvel
