#pragma once

#include "state/VemoState.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <variant>

namespace quorvel {

// The power state an event may carry; all three fields are independent.
struct SystemEvidence {
    std::optional<qint64> sleepDisabled;
    std::optional<PowerSource> powerSource;
    std::optional<qint64> batteryLevel;
    bool operator==(const SystemEvidence &) const = default;
};

namespace ClamshellQuitKinds {
struct OnAdapter {
    bool operator==(const OnAdapter &) const = default;
};
struct OnBattery {
    qint64 level = 0;
    bool operator==(const OnBattery &) const = default;
};
struct LowBattery {
    qint64 level = 0;
    bool operator==(const LowBattery &) const = default;
};
} // namespace ClamshellQuitKinds
using ClamshellQuitKind =
    std::variant<ClamshellQuitKinds::OnAdapter, ClamshellQuitKinds::OnBattery, ClamshellQuitKinds::LowBattery>;

namespace QuitBlockers {
struct Timed {
    qint64 remainingSeconds = 0;
    bool operator==(const Timed &) const = default;
};
struct TimedPermanent {
    bool operator==(const TimedPermanent &) const = default;
};
struct Clamshell {
    ClamshellQuitKind kind; // the unnamed payload, written under "_0"
    bool operator==(const Clamshell &) const = default;
};
struct Display {
    bool operator==(const Display &) const = default;
};
} // namespace QuitBlockers
using QuitBlocker =
    std::variant<QuitBlockers::Timed, QuitBlockers::TimedPermanent, QuitBlockers::Clamshell, QuitBlockers::Display>;

// `SessionBinding` (what a session was started for) lives with the state in state/VemoState.h.

namespace EventKind {
#define QUORVEL_EMPTY_KIND(Name)                                                                                       \
    struct Name {                                                                                                      \
        bool operator==(const Name &) const = default;                                                                 \
    };
struct AppLaunched {
    QString version;
    QString build;
    bool operator==(const AppLaunched &) const = default;
};
struct AppQuit {
    bool clean = false;
    bool operator==(const AppQuit &) const = default;
};
QUORVEL_EMPTY_KIND(CleanupCompleted)
struct CleanupPartial {
    QList<ModuleId> failedModules;
    bool operator==(const CleanupPartial &) const = default;
};
struct TimedStarted {
    qint64 durationSeconds = 0;
    std::optional<SessionBinding> binding;
    bool operator==(const TimedStarted &) const = default;
};
struct TimedEndedNaturally {
    std::optional<qint64> remainingSeconds;
    bool operator==(const TimedEndedNaturally &) const = default;
};
QUORVEL_EMPTY_KIND(TimedStoppedManually)
QUORVEL_EMPTY_KIND(TimedFailed)
QUORVEL_EMPTY_KIND(DisplayAwakeOn)
QUORVEL_EMPTY_KIND(DisplayAwakeOff)
QUORVEL_EMPTY_KIND(DisplayAwakeFailed)
struct ClamshellStarted {
    bool onPowerAdapter = false;
    std::optional<qint64> batteryLevel;
    bool operator==(const ClamshellStarted &) const = default;
};
struct ClamshellStopped {
    ClamshellStopReason reason = ClamshellStopReason::manual;
    bool operator==(const ClamshellStopped &) const = default;
};
struct LowBatteryWarningEntered {
    qint64 level = 0;
    bool operator==(const LowBatteryWarningEntered &) const = default;
};
QUORVEL_EMPTY_KIND(LowBatteryWarningCleared)
struct SafetyStopTriggered {
    qint64 level = 0;
    bool operator==(const SafetyStopTriggered &) const = default;
};
QUORVEL_EMPTY_KIND(AuthorizationRequested)
QUORVEL_EMPTY_KIND(AuthorizationGranted)
QUORVEL_EMPTY_KIND(AuthorizationDenied)
struct AuthorizationRevoked {
    bool success = false;
    bool operator==(const AuthorizationRevoked &) const = default;
};
QUORVEL_EMPTY_KIND(StartupResidualDetected)
QUORVEL_EMPTY_KIND(StartupResidualRestoredByUser)
struct QuitRequested {
    QList<QuitBlocker> blockers;
    bool operator==(const QuitRequested &) const = default;
};
#undef QUORVEL_EMPTY_KIND
} // namespace EventKind

// The closed set of event kinds, in declaration order.
using VemoEventKind =
    std::variant<EventKind::AppLaunched, EventKind::AppQuit, EventKind::CleanupCompleted, EventKind::CleanupPartial,
                 EventKind::TimedStarted, EventKind::TimedEndedNaturally, EventKind::TimedStoppedManually,
                 EventKind::TimedFailed, EventKind::DisplayAwakeOn, EventKind::DisplayAwakeOff,
                 EventKind::DisplayAwakeFailed, EventKind::ClamshellStarted, EventKind::ClamshellStopped,
                 EventKind::LowBatteryWarningEntered, EventKind::LowBatteryWarningCleared,
                 EventKind::SafetyStopTriggered, EventKind::AuthorizationRequested, EventKind::AuthorizationGranted,
                 EventKind::AuthorizationDenied, EventKind::AuthorizationRevoked, EventKind::StartupResidualDetected,
                 EventKind::StartupResidualRestoredByUser, EventKind::QuitRequested>;

// The case name of a kind as it appears in the JSON form ("appLaunched", ...).
QString caseName(const VemoEventKind &kind);

struct VemoEvent {
    QUuid id;
    QDateTime timestamp; // UTC
    VemoEventKind kind;
    std::optional<SystemEvidence> evidence;
    bool operator==(const VemoEvent &) const = default;

    // A new event: fresh random id, `now` as its timestamp (the current time when null).
    static VemoEvent make(VemoEventKind kind, std::optional<SystemEvidence> evidence = std::nullopt,
                          QDateTime now = QDateTime());
};

// One event as compact JSON (no line feed). Empty when the event has no valid timestamp, the
// one value without a JSON form.
QByteArray encodeEvent(const VemoEvent &event);
// One JSON object back into an event; on failure returns nothing and, when asked, the
// decoding error's description.
std::optional<VemoEvent> decodeEvent(QByteArrayView json, QString *error = nullptr);

} // namespace quorvel
