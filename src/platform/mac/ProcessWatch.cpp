#include "idle/ProcessWatching.h"

#include <QSocketNotifier>

#include <limits>
#include <utility>

#include <libproc.h>
#include <sys/event.h>
#include <unistd.h>

namespace quorvel {

namespace {

// A kqueue with one EVFILT_PROC / NOTE_EXIT filter; the kqueue descriptor itself turns
// readable when the event is pending, so a notifier on it waits without a timer.
class KqueueWatch final : public QObject {
public:
    KqueueWatch(int kq, std::function<void()> onExit)
        : m_kq(kq)
        , m_notifier(kq, QSocketNotifier::Read)
        , m_onExit(std::move(onExit))
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            struct kevent event {};
            const timespec noWait{0, 0};
            if (::kevent(m_kq, nullptr, 0, &event, 1, &noWait) < 1)
                return;
            m_notifier.setEnabled(false);
            if (auto onExit = std::exchange(m_onExit, nullptr))
                onExit();
        });
    }
    ~KqueueWatch() override { ::close(m_kq); }

private:
    int m_kq;
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
        return std::make_unique<KqueueWatch>(kq, std::move(onExit));
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
