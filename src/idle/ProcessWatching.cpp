#include "idle/ProcessWatching.h"

#include <QSocketNotifier>

#include <utility>

#include <unistd.h>

namespace quorvel {

namespace {

// One notifier, no timer: the kernel wakes us when the process ends.
class ExitDescriptorWatch final : public QObject {
public:
    ExitDescriptorWatch(int descriptor, std::function<void()> onExit, std::function<bool(int)> arrived)
        : m_descriptor(descriptor)
        , m_notifier(descriptor, QSocketNotifier::Read)
        , m_onExit(std::move(onExit))
        , m_arrived(std::move(arrived))
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            if (m_arrived && !m_arrived(m_descriptor))
                return;
            m_notifier.setEnabled(false);
            if (auto onExit = std::exchange(m_onExit, nullptr))
                onExit();
        });
    }
    ~ExitDescriptorWatch() override { ::close(m_descriptor); }

private:
    int m_descriptor;
    QSocketNotifier m_notifier;
    std::function<void()> m_onExit;
    std::function<bool(int)> m_arrived;
};

} // namespace

std::unique_ptr<QObject> watchExitDescriptor(int descriptor, std::function<void()> onExit,
                                             std::function<bool(int descriptor)> arrived)
{
    return std::make_unique<ExitDescriptorWatch>(descriptor, std::move(onExit), std::move(arrived));
}

} // namespace quorvel
