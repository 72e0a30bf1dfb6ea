#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace quorvel {

// An installed platform notification (a run-loop source, a notification-centre observer, a
// signal connection). Destroying it removes the notification; nothing is delivered afterwards.
class PowerChangeSubscription {
public:
    virtual ~PowerChangeSubscription() = default;
};

// Installs one kind of change notification. `notify` may be called from any thread, any number
// of times, for as long as the returned subscription lives. Returning nullptr means the platform
// could not install it; the monitor then carries on without that half.
using PowerChangeSource = std::function<std::unique_ptr<PowerChangeSubscription>(std::function<void()> notify)>;

namespace detail {
class CombinedSubscription final : public PowerChangeSubscription {
public:
    std::unique_ptr<PowerChangeSubscription> first, second;
};

class SignalSubscription final : public PowerChangeSubscription {
public:
    explicit SignalSubscription(QMetaObject::Connection connection)
        : m_connection(std::move(connection))
    {
    }
    ~SignalSubscription() override { QObject::disconnect(m_connection); }

private:
    QMetaObject::Connection m_connection;
};
} // namespace detail

// Adapts a parameterless QObject signal (a file watcher's changed(), say) to a change source:
//   PowerChangeSource changes = changeSourceFromSignal(watcher, &SimPowerWatcher::changed);
// The connection lasts as long as the subscription; if the sender is already gone, nothing is
// installed.
template <class Sender, class Signal> PowerChangeSource changeSourceFromSignal(Sender *sender, Signal signal)
{
    QPointer<Sender> guard(sender);
    return [guard, signal](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        if (!guard)
            return nullptr;
        return std::make_unique<detail::SignalSubscription>(
            QObject::connect(guard.data(), signal, guard.data(), [notify = std::move(notify)] { notify(); }));
    };
}

// One source made of two (the platform's screens and a simulated display file, say): each
// notifies on its own; nullptr only when neither could be installed.
inline PowerChangeSource eitherChangeSource(PowerChangeSource first, PowerChangeSource second)
{
    if (!first || !second)
        return first ? first : second;
    return [first, second](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        auto both = std::make_unique<detail::CombinedSubscription>();
        both->first = first(notify);
        both->second = second(notify);
        if (!both->first && !both->second)
            return nullptr;
        return both;
    };
}

} // namespace quorvel
