#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <variant>

namespace quorvel {

// True when the variant currently holds case T.
template <class T, class... Ts> constexpr bool is(const std::variant<Ts...> &v)
{
    return std::holds_alternative<T>(v);
}

// The error of a failed operation. Never written to the event history.
enum class VemoError {
    caffeinateUnavailable,
    processLaunchFailed,
    processExitedUnexpectedly,
    authorizationDenied,
    authorizationNotConfigured,
    systemCommandFailed,
    readbackMismatch,
    clamshellPowerUnsuitable,
    clamshellRestoreFailed,
    authorizationInvalidUser,
    authorizationSyntaxCheckFailed,
    authorizationInstallFailed,
    authorizationReadbackMismatch,
    authorizationRevokeFailed,
};
QString toString(VemoError error);

enum class PowerSource { battery, powerAdapter, unknown };

// Names a module in the clean-up report; the raw value is the case name.
enum class ModuleId { timed, display, clamshell, powerMonitor };
QString rawValue(ModuleId id);
std::optional<ModuleId> moduleIdFromRaw(const QString &raw);

enum class ClamshellStopReason { manual, safety, quit, failed };

namespace TimedSession {
struct Off {
    bool operator==(const Off &) const = default;
};
struct Starting {
    bool operator==(const Starting &) const = default;
};
struct Running {
    qint64 remainingSeconds = 0;
    bool operator==(const Running &) const = default;
};
struct RunningPermanent {
    bool operator==(const RunningPermanent &) const = default;
};
struct Stopping {
    bool operator==(const Stopping &) const = default;
};
struct Ended {
    bool operator==(const Ended &) const = default;
};
struct Failed {
    VemoError error;
    bool operator==(const Failed &) const = default;
};
} // namespace TimedSession
using TimedSessionState =
    std::variant<TimedSession::Off, TimedSession::Starting, TimedSession::Running, TimedSession::RunningPermanent,
                 TimedSession::Stopping, TimedSession::Ended, TimedSession::Failed>;

namespace DisplayAwake {
struct Off {
    bool operator==(const Off &) const = default;
};
struct Starting {
    bool operator==(const Starting &) const = default;
};
struct On {
    bool operator==(const On &) const = default;
};
struct Stopping {
    bool operator==(const Stopping &) const = default;
};
struct Failed {
    VemoError error;
    bool operator==(const Failed &) const = default;
};
} // namespace DisplayAwake
using DisplayAwakeState = std::variant<DisplayAwake::Off, DisplayAwake::Starting, DisplayAwake::On,
                                       DisplayAwake::Stopping, DisplayAwake::Failed>;

namespace Clamshell {
struct Off {
    bool operator==(const Off &) const = default;
};
struct AuthorizationRequired {
    bool operator==(const AuthorizationRequired &) const = default;
};
struct Starting {
    bool operator==(const Starting &) const = default;
};
struct RunningOnPowerAdapter {
    bool operator==(const RunningOnPowerAdapter &) const = default;
};
struct RunningOnBattery {
    qint64 level = 0;
    bool operator==(const RunningOnBattery &) const = default;
};
struct LowBatteryWarning {
    qint64 level = 0;
    bool operator==(const LowBatteryWarning &) const = default;
};
struct SafetyStopped {
    qint64 level = 0;
    bool operator==(const SafetyStopped &) const = default;
};
struct Stopping {
    bool operator==(const Stopping &) const = default;
};
struct Failed {
    VemoError error;
    bool operator==(const Failed &) const = default;
};
} // namespace Clamshell
using ClamshellState =
    std::variant<Clamshell::Off, Clamshell::AuthorizationRequired, Clamshell::Starting,
                 Clamshell::RunningOnPowerAdapter, Clamshell::RunningOnBattery, Clamshell::LowBatteryWarning,
                 Clamshell::SafetyStopped, Clamshell::Stopping, Clamshell::Failed>;

// Closed-lid mode counts as running on adapter, on battery or in the warning band.
bool isClamshellRunning(const ClamshellState &state);

namespace Authorization {
struct Unknown {
    bool operator==(const Unknown &) const = default;
};
struct Required {
    bool operator==(const Required &) const = default;
};
struct Granting {
    bool operator==(const Granting &) const = default;
};
struct Granted {
    bool operator==(const Granted &) const = default;
};
struct Denied {
    bool operator==(const Denied &) const = default;
};
struct Revoked {
    bool operator==(const Revoked &) const = default;
};
struct Failed {
    VemoError error;
    bool operator==(const Failed &) const = default;
};
} // namespace Authorization
using AuthorizationState =
    std::variant<Authorization::Unknown, Authorization::Required, Authorization::Granting, Authorization::Granted,
                 Authorization::Denied, Authorization::Revoked, Authorization::Failed>;

namespace Safety {
struct LowBatteryWarning {
    qint64 level = 0;
    bool operator==(const LowBatteryWarning &) const = default;
};
struct SafetyStop {
    qint64 level = 0;
    bool operator==(const SafetyStop &) const = default;
};
} // namespace Safety
using SafetyEvent = std::variant<Safety::LowBatteryWarning, Safety::SafetyStop>;

struct PowerContext {
    PowerSource powerSource = PowerSource::unknown;
    std::optional<qint64> batteryLevel;
    std::optional<bool> isLowPowerModeEnabled;
    std::optional<bool> externalDisplayConnected;
    QDateTime updatedAt;
    bool operator==(const PowerContext &) const = default;
};

// What a session was started for, when it was started for a job rather than for a length of
// time: a command run through Quorvel, a process it watches, or a clock time. Only sessions
// that have one carry it, so every other history line keeps its form.
struct SessionBinding {
    enum class Kind { command, process, until };
    Kind kind = Kind::command;
    QString name;              // command / process: what the person would call it ("make")
    std::optional<qint64> pid; // process: the watched process
    QDateTime until;           // until: the end, UTC
    bool operator==(const SessionBinding &) const = default;
};

struct VemoState {
    TimedSessionState timedSession = TimedSession::Off{};
    DisplayAwakeState displayAwake = DisplayAwake::Off{};
    ClamshellState clamshell = Clamshell::Off{};
    PowerContext power;
    AuthorizationState authorization = Authorization::Unknown{};
    std::optional<SafetyEvent> lastSafetyEvent;
    std::optional<QDateTime> lastSafetyStopAt;
    std::optional<VemoError> lastError;
    bool startupResidual = false;
    // What the running session is kept for; gone when the session ends or is changed by hand.
    std::optional<SessionBinding> sessionBinding;
    bool operator==(const VemoState &) const = default;
};

} // namespace quorvel
