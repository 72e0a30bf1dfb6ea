#include "closedlid/ClosedLidGuard.h"

#include <QMutex>
#include <QMutexLocker>

namespace quorvel {

QString guardTriggerToken(GuardTrigger trigger)
{
    switch (trigger) {
    case GuardTrigger::powerSourceChange: return QStringLiteral("powerSourceChange");
    case GuardTrigger::displayChange: return QStringLiteral("displayChange");
    case GuardTrigger::wake: return QStringLiteral("wake");
    }
    return QStringLiteral("unknown");
}

// As in the power monitor: posting to the owner and forgetting it exclude each other, so a
// notice racing the owner's destruction never reaches an object that is gone.
struct GuardTriggers::Relay {
    QMutex lock;
    GuardTriggers *owner = nullptr;
};

GuardTriggers::GuardTriggers(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
}

GuardTriggers::~GuardTriggers()
{
    for (Watch &watch : m_watches) {
        watch.subscription.reset();
        QMutexLocker locker(&watch.relay->lock);
        watch.relay->owner = nullptr;
    }
}

bool GuardTriggers::watch(GuardTrigger trigger, const PowerChangeSource &source)
{
    if (!source)
        return false;
    auto relay = std::make_shared<Relay>();
    relay->owner = this;
    std::weak_ptr<Relay> weak = relay;
    auto notify = [weak, trigger] {
        const std::shared_ptr<Relay> alive = weak.lock();
        if (!alive)
            return;
        QMutexLocker locker(&alive->lock);
        if (!alive->owner)
            return;
        QMetaObject::invokeMethod(
            alive->owner,
            [weak, trigger] {
                const std::shared_ptr<Relay> still = weak.lock();
                if (!still)
                    return;
                GuardTriggers *owner = nullptr;
                {
                    QMutexLocker relock(&still->lock);
                    owner = still->owner;
                }
                if (owner)
                    owner->deliver(trigger);
            },
            Qt::QueuedConnection);
    };
    std::unique_ptr<PowerChangeSubscription> subscription = source(std::move(notify));
    if (!subscription) {
        relay->owner = nullptr;
        return false;
    }
    m_watches.push_back({std::move(subscription), std::move(relay)});
    return true;
}

void GuardTriggers::deliver(GuardTrigger trigger)
{
    if (m_handler)
        m_handler(trigger);
}

} // namespace quorvel
