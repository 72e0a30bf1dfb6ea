#include "power/PowerMonitor.h"

#include <QMutex>
#include <QMutexLocker>

namespace quorvel {

// The link between one installed notification and the monitor. The platform may call the
// notify function from any thread at any time, including while the main thread removes the
// notification or destroys the monitor; the lock makes "post to the monitor" and "forget the
// monitor" exclusive, so a post never reaches a monitor that is gone or a half that was dropped.
struct PowerMonitor::Relay {
    QMutex lock;
    PowerMonitor *monitor = nullptr;

    PowerMonitor *target()
    {
        QMutexLocker locker(&lock);
        return monitor;
    }
};

PowerMonitor::PowerMonitor(QPointer<AppStateStore> store, Provider provider, PowerChangeSource powerSourceChanges,
                           PowerChangeSource lowPowerModeChanges, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_provider(std::move(provider))
    , m_powerSourceChanges(std::move(powerSourceChanges))
    , m_lowPowerModeChanges(std::move(lowPowerModeChanges))
{
}

PowerMonitor::~PowerMonitor()
{
    drop(m_powerSource);
    drop(m_lowPowerMode);
}

void PowerMonitor::refresh()
{
    PowerContext ctx = m_provider ? m_provider() : PowerContext{};
    // A level outside 0...100 is a broken report, not an empty or a full battery: it counts as
    // unknown, so closed-lid mode neither starts nor stops on it.
    if (ctx.batteryLevel && (*ctx.batteryLevel < 0 || *ctx.batteryLevel > 100))
        ctx.batteryLevel.reset();
    if (m_store)
        m_store->setPower(ctx);
    if (m_onChange)
        m_onChange(ctx);
}

void PowerMonitor::start()
{
    install(m_lowPowerMode, m_lowPowerModeChanges);
    install(m_powerSource, m_powerSourceChanges);
}

bool PowerMonitor::stop()
{
    drop(m_powerSource);
    drop(m_lowPowerMode);
    m_onChange = nullptr;
    return true;
}

void PowerMonitor::install(Half &half, const PowerChangeSource &source)
{
    if (half.subscription || !source)
        return;
    auto relay = std::make_shared<Relay>();
    relay->monitor = this;
    std::weak_ptr<Relay> weak = relay;
    auto notify = [weak] {
        const std::shared_ptr<Relay> alive = weak.lock();
        if (!alive)
            return;
        QMutexLocker locker(&alive->lock);
        if (!alive->monitor)
            return;
        // Always queued, even on the main thread: a notification never reads inside the
        // platform's callback, and each one in a burst gives its own refresh.
        QMetaObject::invokeMethod(
            alive->monitor,
            [weak] {
                if (const std::shared_ptr<Relay> still = weak.lock())
                    if (PowerMonitor *monitor = still->target())
                        monitor->refresh();
            },
            Qt::QueuedConnection);
    };
    std::unique_ptr<PowerChangeSubscription> subscription = source(std::move(notify));
    if (!subscription) {
        relay->monitor = nullptr;
        return;
    }
    half.subscription = std::move(subscription);
    half.relay = std::move(relay);
}

void PowerMonitor::drop(Half &half)
{
    // Remove the platform notification first, then cut whatever it may still be delivering.
    half.subscription.reset();
    if (half.relay) {
        QMutexLocker locker(&half.relay->lock);
        half.relay->monitor = nullptr;
    }
    half.relay.reset();
}

} // namespace quorvel
