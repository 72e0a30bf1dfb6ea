#pragma once

#include "state/VemoState.h"
#include "support/Clock.h"

#include <QObject>
#include <functional>
#include <memory>

namespace quorvel {

// The one holder of the observable state. Lives on the main thread for the whole
// process; controllers that point back up the object tree hold it through QPointer.
class AppStateStore final : public QObject {
    Q_OBJECT
public:
    // The battery auto-exit threshold used by applyBatteryLevel; the battery safety
    // coordinator supplies the stored, clamped value.
    using ThresholdReader = std::function<qint64()>;
    static constexpr qint64 defaultThreshold = 20;
    static constexpr qint64 warningBand = 5;

    explicit AppStateStore(PowerContext power, std::shared_ptr<Clock> clock = Clock::system(),
                           QObject *parent = nullptr);

    const VemoState &state() const { return m_state; }
    // Whole-state assignment: stores the value, and notifies once only when it differs.
    void setState(const VemoState &state);

    void setThresholdReader(ThresholdReader reader);
    qint64 threshold() const;

    void setTimedRunning(qint64 remainingSeconds);
    void setTimedSession(const TimedSessionState &session);
    void setTimedFailed(VemoError error);
    // A binding belongs to one session: it is dropped with it (off, ended or failed).
    void setSessionBinding(const std::optional<SessionBinding> &binding);
    void setDisplayAwake(const DisplayAwakeState &displayAwake);
    void setDisplayAwakeFailed(VemoError error);
    void setPower(const PowerContext &power);
    void setAuthorization(const AuthorizationState &authorization);
    void setAuthorizationGranted(std::optional<VemoError> lastError);
    void setClamshellRunning(const PowerContext &power);
    void setClamshellOff();
    void setClamshellFailed(VemoError error);
    void keepClamshellRunning(VemoError error, const PowerContext &power);
    void setSafetyStopped(qint64 level);
    void applyBatteryLevel(qint64 level);
    void setStartupResidual(bool residual, std::optional<VemoError> lastError);

signals:
    // Emitted once per field a field operation writes, and once per differing
    // whole-state assignment.
    void changed();

private:
    template <class T> void write(T VemoState::*field, T value);
    static ClamshellState runningState(const ClamshellState &current, const PowerContext &power);

    VemoState m_state;
    std::shared_ptr<Clock> m_clock;
    ThresholdReader m_threshold;
};

} // namespace quorvel
