#include "idle/ProcessWatching.h"

#include <QFile>

#include <limits>

#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434 // the same number on every architecture since Linux 5.3
#endif

namespace quorvel {

ProcessWatching liveProcessWatching()
{
    ProcessWatching watching;
    watching.watch = [](qint64 pid, std::function<void()> onExit) -> std::unique_ptr<QObject> {
        if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
            return nullptr;
        // A pidfd turns readable once its process has ended, and names this very process: no
        // race with the pid being reused.
        const int fd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
        if (fd < 0)
            return nullptr;
        return watchExitDescriptor(fd, std::move(onExit));
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
