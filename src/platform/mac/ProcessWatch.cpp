#include "idle/ProcessWatching.h"

#include <limits>

#include <libproc.h>
#include <sys/event.h>
#include <unistd.h>

namespace quorvel {

ProcessWatching liveProcessWatching()
{
    ProcessWatching watching;
    watching.watch = [](qint64 pid, std::function<void()> onExit) -> std::unique_ptr<QObject> {
        if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
            return nullptr;
        const int kq = ::kqueue();
        if (kq < 0)
            return nullptr;
        struct kevent change {};
        EV_SET(&change, uintptr_t(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
        // Registering fails with ESRCH for a process that has already gone.
        if (::kevent(kq, &change, 1, nullptr, 0, nullptr) < 0) {
            ::close(kq);
            return nullptr;
        }
        // The kqueue descriptor itself turns readable when the event is pending.
        return watchExitDescriptor(kq, std::move(onExit), [](int descriptor) {
            struct kevent event {};
            const timespec noWait{0, 0};
            return ::kevent(descriptor, nullptr, 0, &event, 1, &noWait) > 0;
        });
    };
    watching.name = [](qint64 pid) {
        char name[2 * MAXCOMLEN + 1] = {};
        if (pid <= 0 || ::proc_name(int(pid), name, sizeof name) <= 0)
            return QString();
        return QString::fromUtf8(name);
    };
    return watching;
}

} // namespace quorvel
