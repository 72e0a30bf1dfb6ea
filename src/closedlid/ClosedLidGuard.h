#pragma once

#include "power/PowerChangeSource.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace quorvel {

// Moments after which the Mac is known to switch the sleep-disabled setting off by itself,
// with closed-lid mode still believing it runs.
enum class GuardTrigger { powerSourceChange, displayChange, wake };

// The trigger as it appears in the log: "powerSourceChange", "displayChange", "wake".
QString guardTriggerToken(GuardTrigger trigger);

// Hands the system's display and wake notices to one handler, always on the main thread and
// always queued: a notice may come from any thread, and the handler runs blocking commands,
// which must never run inside the platform's own callback. Nothing is delivered once this
// object is gone.
class GuardTriggers final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(GuardTrigger)>;

    explicit GuardTriggers(Handler handler, QObject *parent = nullptr);
    ~GuardTriggers() override;

    // Installs `source` for `trigger`; false when it is empty or the platform could not
    // install it, and then the guard simply never hears of that kind of change.
    bool watch(GuardTrigger trigger, const PowerChangeSource &source);

private:
    struct Relay;
    struct Watch {
        std::unique_ptr<PowerChangeSubscription> subscription;
        std::shared_ptr<Relay> relay;
    };

    void deliver(GuardTrigger trigger);

    Handler m_handler;
    std::vector<Watch> m_watches;
};

} // namespace quorvel
