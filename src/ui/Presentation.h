#pragma once

#include "prefs/Localization.h"
#include "records/VemoEvent.h"
#include "state/VemoState.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// Everything the menu-bar item, the menu and the quit confirmation show, derived from the state
// alone (plus the battery auto-exit threshold where a row depends on it). Texts come back as
// localisation keys so that the view looks them up in the language of the moment; the few
// operations that return finished text look it up in the current interface language.
namespace quorvel::Presentation {

// The state of a row's switch.
struct TimedControl {
    bool isOn = false;
    bool isEnabled = false;
    bool operator==(const TimedControl &) const = default;
};

// What tapping a row's status area (or its trailing button) offers.
namespace MenuRowActions {
struct None {
    bool operator==(const None &) const = default;
};
struct Retry {
    bool enabled = false;
    bool operator==(const Retry &) const = default;
};
struct BatteryInfo {
    bool onBattery = false;
    bool operator==(const BatteryInfo &) const = default;
};
struct AdjustTimed {
    bool operator==(const AdjustTimed &) const = default;
};
struct Authorize {
    bool operator==(const Authorize &) const = default;
};
struct SafetyStopInfo {
    bool operator==(const SafetyStopInfo &) const = default;
};
struct ResidualNeedsAuth {
    bool operator==(const ResidualNeedsAuth &) const = default;
};
} // namespace MenuRowActions
using MenuRowAction =
    std::variant<MenuRowActions::None, MenuRowActions::Retry, MenuRowActions::BatteryInfo, MenuRowActions::AdjustTimed,
                 MenuRowActions::Authorize, MenuRowActions::SafetyStopInfo, MenuRowActions::ResidualNeedsAuth>;

// How strongly a row is coloured.
enum class RowTone { neutral, busy, active, warning, error };

template <class Status> struct ToggleRowModel {
    TimedControl control;
    Status status;
    RowTone tone = RowTone::neutral;
    MenuRowAction action;
    bool operator==(const ToggleRowModel &) const = default;
};

namespace IdleRowStatuses {
struct Remaining {
    qint64 seconds = 0;
    bool operator==(const Remaining &) const = default;
};
struct Off {
    bool operator==(const Off &) const = default;
};
struct Starting {
    bool operator==(const Starting &) const = default;
};
struct Permanent {
    bool operator==(const Permanent &) const = default;
};
struct Stopping {
    bool operator==(const Stopping &) const = default;
};
struct ViaClosedLid {
    bool operator==(const ViaClosedLid &) const = default;
};
struct Residual {
    bool operator==(const Residual &) const = default;
};
struct Failed {
    bool operator==(const Failed &) const = default;
};
} // namespace IdleRowStatuses
using IdleRowStatus = std::variant<IdleRowStatuses::Remaining, IdleRowStatuses::Off, IdleRowStatuses::Starting,
                                   IdleRowStatuses::Permanent, IdleRowStatuses::Stopping, IdleRowStatuses::ViaClosedLid,
                                   IdleRowStatuses::Residual, IdleRowStatuses::Failed>;

enum class DisplayRowStatus { systemDefault, switching, wakeSession, couldNotTurnOn };

namespace ClosedLidRowStatuses {
struct OnBattery {
    qint64 level = 0;
    bool operator==(const OnBattery &) const = default;
};
struct LowBattery {
    qint64 level = 0;
    bool operator==(const LowBattery &) const = default;
};
struct SafetyStopped {
    qint64 level = 0;
    bool operator==(const SafetyStopped &) const = default;
};
struct Off {
    bool operator==(const Off &) const = default;
};
struct Transitioning {
    bool operator==(const Transitioning &) const = default;
};
struct OnAdapter {
    bool operator==(const OnAdapter &) const = default;
};
struct AuthorizationNeeded {
    bool operator==(const AuthorizationNeeded &) const = default;
};
struct Authorizing {
    bool operator==(const Authorizing &) const = default;
};
struct Failed {
    bool operator==(const Failed &) const = default;
};
struct AuthorizationRevoked {
    bool operator==(const AuthorizationRevoked &) const = default;
};
struct ResidualAuthorized {
    bool operator==(const ResidualAuthorized &) const = default;
};
struct ResidualUnauthorized {
    bool operator==(const ResidualUnauthorized &) const = default;
};
} // namespace ClosedLidRowStatuses
using ClosedLidRowStatus =
    std::variant<ClosedLidRowStatuses::OnBattery, ClosedLidRowStatuses::LowBattery, ClosedLidRowStatuses::SafetyStopped,
                 ClosedLidRowStatuses::Off, ClosedLidRowStatuses::Transitioning, ClosedLidRowStatuses::OnAdapter,
                 ClosedLidRowStatuses::AuthorizationNeeded, ClosedLidRowStatuses::Authorizing,
                 ClosedLidRowStatuses::Failed, ClosedLidRowStatuses::AuthorizationRevoked,
                 ClosedLidRowStatuses::ResidualAuthorized, ClosedLidRowStatuses::ResidualUnauthorized>;

// The condition that earns the menu-bar icon a warning badge.
enum class MenuBarAttention { none, startupResidual, lowBattery, safetyStopped, authorizationRequired, failed };

// The base image of the menu-bar item (22 x 22 template images).
enum class MenuBarIcon { idle, display, active, lidMode };
QString imageName(MenuBarIcon icon); // "MenuBarIdle", "MenuBarDisplay", "MenuBarActive", "MenuBarLidMode"

// Which session badge a healthy icon carries.
enum class MenuBarSessionMark { none, timed, indefinite };

struct MenuBarImage {
    MenuBarIcon icon = MenuBarIcon::idle;
    MenuBarSessionMark mark = MenuBarSessionMark::none;
    bool operator==(const MenuBarImage &) const = default;
};

// The quit confirmation, in the current interface language.
struct QuitDialogContent {
    QString title;
    QStringList bodyLines;
    QString confirmLabel;
    QString cancelLabel;
    bool operator==(const QuitDialogContent &) const = default;
};

ToggleRowModel<IdleRowStatus> idleWakeRow(const VemoState &state);
LocalizationKey idleRowSubtitleKey(const VemoState &state);
// What keeps the machine awake when a session runs for a job ("While make runs", "Until
// 18:30", the time in the machine's local time); none for every other session and state.
std::optional<QString> sessionBindingText(const VemoState &state);
// The idle row's subtitle as shown: the binding when there is one, else the key's text.
QString idleRowSubtitle(const VemoState &state);

ToggleRowModel<DisplayRowStatus> displayWakeRow(const VemoState &state);
LocalizationKey displayRowSubtitleKey(DisplayRowStatus status);

// `threshold` is the battery auto-exit threshold T (Preferences::autoExitThreshold), read by
// the caller at every redraw.
ToggleRowModel<ClosedLidRowStatus> closedLidRow(const VemoState &state, qint64 threshold);
// The subtitle key of the closed-lid row. The two battery statuses name format keys; show them
// through closedLidStatusText, which fills in the level and the threshold.
LocalizationKey closedLidSubtitleKey(const ClosedLidRowStatus &status, const VemoState &state);
// Finished text for the battery and power statuses (level and threshold, in this order, for
// the two battery formats); none for every other status.
std::optional<QString> closedLidStatusText(const ClosedLidRowStatus &status, qint64 threshold);
// "restoreFailed" after a failed restore of a start-up leftover, otherwise "sleepBlocked".
LocalizationKey residualStatusKey(const VemoState &state);

MenuBarAttention menuBarAttention(const VemoState &state);
MenuBarImage menuBarIcon(const VemoState &state);
// A system symbol name, or none for an icon without badge.
std::optional<QString> badgeSymbol(MenuBarAttention attention, MenuBarSessionMark mark);
LocalizationKey toolTipKey(MenuBarAttention attention, const VemoState &state);
// The tool tip as shown: a session kept for a job says what for, unless something needs attention.
QString toolTip(MenuBarAttention attention, const VemoState &state);

// "H:MM:SS" for the menu bar, only while a timed session runs on its own (not under closed-lid
// mode or a start-up leftover).
std::optional<QString> menuBarCountdown(const VemoState &state);
// "H:MM:SS" from one hour up, "M:SS" below; negative counts as zero.
QString timerText(qint64 seconds);

// What still runs and would be stopped by quitting, timed session first.
QList<QuitBlocker> quitBlockers(const VemoState &state);
// The confirmation to show when there is a blocker; none otherwise.
std::optional<QuitDialogContent> quitDialog(const VemoState &state);

} // namespace quorvel::Presentation
