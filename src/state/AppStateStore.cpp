#include "state/AppStateStore.h"

namespace quorvel {

AppStateStore::AppStateStore(PowerContext power, std::shared_ptr<Clock> clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock ? std::move(clock) : Clock::system())
{
    m_state.power = std::move(power);
}

void AppStateStore::setState(const VemoState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit changed();
}

void AppStateStore::setThresholdReader(ThresholdReader reader)
{
    m_threshold = std::move(reader);
}

qint64 AppStateStore::threshold() const
{
    return m_threshold ? m_threshold() : defaultThreshold;
}

// A field write always announces itself, even when the value is unchanged: observers
// are told once for every field an operation touches.
template <class T> void AppStateStore::write(T VemoState::*field, T value)
{
    m_state.*field = std::move(value);
    emit changed();
}

void AppStateStore::setTimedRunning(qint64 remainingSeconds)
{
    write(&VemoState::timedSession, TimedSessionState(TimedSession::Running{std::max<qint64>(0, remainingSeconds)}));
    write(&VemoState::lastError, std::optional<VemoError>());
}

void AppStateStore::setTimedSession(const TimedSessionState &session)
{
    write(&VemoState::timedSession, session);
    write(&VemoState::lastError, std::optional<VemoError>());
    if (m_state.sessionBinding
        && (is<TimedSession::Off>(session) || is<TimedSession::Ended>(session) || is<TimedSession::Failed>(session)))
        write(&VemoState::sessionBinding, std::optional<SessionBinding>());
}

void AppStateStore::setTimedFailed(VemoError error)
{
    write(&VemoState::timedSession, TimedSessionState(TimedSession::Failed{error}));
    write(&VemoState::lastError, std::optional<VemoError>(error));
    if (m_state.sessionBinding)
        write(&VemoState::sessionBinding, std::optional<SessionBinding>());
}

void AppStateStore::setSessionBinding(const std::optional<SessionBinding> &binding)
{
    if (m_state.sessionBinding != binding)
        write(&VemoState::sessionBinding, binding);
}

void AppStateStore::setDisplayAwake(const DisplayAwakeState &displayAwake)
{
    write(&VemoState::displayAwake, displayAwake);
    write(&VemoState::lastError, std::optional<VemoError>());
}

void AppStateStore::setDisplayAwakeFailed(VemoError error)
{
    write(&VemoState::displayAwake, DisplayAwakeState(DisplayAwake::Failed{error}));
    write(&VemoState::lastError, std::optional<VemoError>(error));
}

void AppStateStore::setPower(const PowerContext &power)
{
    write(&VemoState::power, power);
}

void AppStateStore::setAuthorization(const AuthorizationState &authorization)
{
    write(&VemoState::authorization, authorization);
    if (const auto *failed = std::get_if<Authorization::Failed>(&authorization))
        write(&VemoState::lastError, std::optional<VemoError>(failed->error));
    else
        write(&VemoState::lastError, std::optional<VemoError>());
}

void AppStateStore::setAuthorizationGranted(std::optional<VemoError> lastError)
{
    write(&VemoState::authorization, AuthorizationState(Authorization::Granted{}));
    write(&VemoState::lastError, lastError);
}

ClamshellState AppStateStore::runningState(const ClamshellState &current, const PowerContext &power)
{
    switch (power.powerSource) {
    case PowerSource::battery: return Clamshell::RunningOnBattery{power.batteryLevel.value_or(100)};
    case PowerSource::powerAdapter: return Clamshell::RunningOnPowerAdapter{};
    case PowerSource::unknown: break;
    }
    return current;
}

void AppStateStore::setClamshellRunning(const PowerContext &power)
{
    // An unknown source leaves the state alone, but the field is still written.
    write(&VemoState::clamshell, runningState(m_state.clamshell, power));
    write(&VemoState::lastError, std::optional<VemoError>());
}

void AppStateStore::setClamshellOff()
{
    write(&VemoState::clamshell, ClamshellState(Clamshell::Off{}));
    write(&VemoState::lastError, std::optional<VemoError>());
}

void AppStateStore::setClamshellFailed(VemoError error)
{
    write(&VemoState::clamshell, ClamshellState(Clamshell::Failed{error}));
    write(&VemoState::lastError, std::optional<VemoError>(error));
}

void AppStateStore::keepClamshellRunning(VemoError error, const PowerContext &power)
{
    if (!isClamshellRunning(m_state.clamshell) && !is<Clamshell::RunningOnPowerAdapter>(m_state.clamshell))
        write(&VemoState::clamshell, runningState(m_state.clamshell, power));
    write(&VemoState::lastError, std::optional<VemoError>(error));
}

void AppStateStore::setSafetyStopped(qint64 level)
{
    write(&VemoState::clamshell, ClamshellState(Clamshell::SafetyStopped{level}));
    write(&VemoState::lastSafetyEvent, std::optional<SafetyEvent>(Safety::SafetyStop{level}));
    write(&VemoState::lastSafetyStopAt, std::optional<QDateTime>(m_clock->now()));
    write(&VemoState::lastError, std::optional<VemoError>());
}

void AppStateStore::applyBatteryLevel(qint64 level)
{
    const bool wasStopped = is<Clamshell::SafetyStopped>(m_state.clamshell);
    VemoState copy = m_state;
    if (is<Clamshell::RunningOnBattery>(copy.clamshell) || is<Clamshell::LowBatteryWarning>(copy.clamshell)) {
        const qint64 t = threshold();
        if (level <= t) {
            copy.clamshell = Clamshell::SafetyStopped{level};
            copy.lastSafetyEvent = Safety::SafetyStop{level};
        } else if (level <= t + warningBand) {
            copy.clamshell = Clamshell::LowBatteryWarning{level};
            copy.lastSafetyEvent = Safety::LowBatteryWarning{level};
        } else {
            copy.clamshell = Clamshell::RunningOnBattery{level};
        }
    }
    setState(copy);
    if (!wasStopped && is<Clamshell::SafetyStopped>(m_state.clamshell))
        write(&VemoState::lastSafetyStopAt, std::optional<QDateTime>(m_clock->now()));
}

void AppStateStore::setStartupResidual(bool residual, std::optional<VemoError> lastError)
{
    write(&VemoState::startupResidual, residual);
    write(&VemoState::lastError, lastError);
}

} // namespace quorvel
