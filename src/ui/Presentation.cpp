#include "ui/Presentation.h"

#include <algorithm>

namespace quorvel::Presentation {

namespace {

template <class... Fs> struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs> Overloaded(Fs...) -> Overloaded<Fs...>;

bool isTimedActive(const VemoState &s)
{
    return is<TimedSession::Running>(s.timedSession) || is<TimedSession::RunningPermanent>(s.timedSession);
}

// Closed-lid mode running or an unresolved leftover: either keeps the machine awake without
// the user's own session, and either blocks every new one.
bool isBlockedByClosedLid(const VemoState &s)
{
    return isClamshellRunning(s.clamshell) || s.startupResidual;
}

QString clockText(qint64 hours, qint64 minutes, qint64 seconds)
{
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(hours), static_cast<long long>(minutes),
                             static_cast<long long>(seconds));
}

} // namespace

QString imageName(MenuBarIcon icon)
{
    switch (icon) {
    case MenuBarIcon::idle: return QStringLiteral("MenuBarIdle");
    case MenuBarIcon::display: return QStringLiteral("MenuBarDisplay");
    case MenuBarIcon::active: return QStringLiteral("MenuBarActive");
    case MenuBarIcon::lidMode: return QStringLiteral("MenuBarLidMode");
    }
    return QStringLiteral("MenuBarIdle");
}

ToggleRowModel<IdleRowStatus> idleWakeRow(const VemoState &s)
{
    using namespace IdleRowStatuses;
    using Row = ToggleRowModel<IdleRowStatus>;
    const MenuRowAction none = MenuRowActions::None{};
    if (isClamshellRunning(s.clamshell))
        return Row{{true, false}, ViaClosedLid{}, RowTone::active, none};
    if (s.startupResidual)
        return Row{{true, false}, Residual{}, RowTone::active, none};
    return std::visit(
        Overloaded{
            [&](const TimedSession::Running &r) {
                return Row{{true, true}, Remaining{r.remainingSeconds}, RowTone::active, MenuRowActions::AdjustTimed{}};
            },
            [&](const TimedSession::Failed &) {
                return Row{{false, true}, Failed{}, RowTone::error, none};
            },
            [&](const TimedSession::Off &) {
                return Row{{false, true}, Off{}, RowTone::neutral, none};
            },
            [&](const TimedSession::Ended &) {
                return Row{{false, true}, Off{}, RowTone::neutral, none};
            },
            [&](const TimedSession::Starting &) {
                return Row{{true, false}, Starting{}, RowTone::busy, none};
            },
            [&](const TimedSession::RunningPermanent &) {
                return Row{{true, true}, Permanent{}, RowTone::active, MenuRowActions::AdjustTimed{}};
            },
            [&](const TimedSession::Stopping &) {
                return Row{{true, false}, Stopping{}, RowTone::busy, none};
            },
        },
        s.timedSession);
}

LocalizationKey idleRowSubtitleKey(const VemoState &s)
{
    if (isBlockedByClosedLid(s))
        return {QT_TRID_NOOP("viaClosedLidMode")};
    if (isTimedActive(s))
        return is<DisplayAwake::On>(s.displayAwake) ? LocalizationKey{QT_TRID_NOOP("activeDisplayOn")}
                                                    : LocalizationKey{QT_TRID_NOOP("keepingAwake")};
    if (is<TimedSession::Failed>(s.timedSession))
        return {QT_TRID_NOOP("turnOnFailed")};
    if (is<TimedSession::Starting>(s.timedSession))
        return {QT_TRID_NOOP("turningOn")};
    if (is<TimedSession::Stopping>(s.timedSession))
        return {QT_TRID_NOOP("turningOff")};
    return {QT_TRID_NOOP("notActive")};
}

std::optional<QString> sessionBindingText(const VemoState &s)
{
    if (!s.sessionBinding || !isTimedActive(s) || isBlockedByClosedLid(s))
        return std::nullopt;
    const SessionBinding &binding = *s.sessionBinding;
    if (binding.kind == SessionBinding::Kind::until)
        return Localization::text(QT_TRID_NOOP("sessionUntil"),
                                  {binding.until.toLocalTime().toString(QStringLiteral("HH:mm"))});
    const QString name = binding.name.isEmpty() && binding.pid ? QString::number(*binding.pid) : binding.name;
    return Localization::text(QT_TRID_NOOP("sessionWhileRuns"), {name});
}

QString idleRowSubtitle(const VemoState &s)
{
    return sessionBindingText(s).value_or(idleRowSubtitleKey(s).text());
}

ToggleRowModel<DisplayRowStatus> displayWakeRow(const VemoState &s)
{
    // Display-awake rides on the running caffeinate session, so it can only be switched while
    // one runs on its own.
    const bool canToggle = isTimedActive(s) && !isBlockedByClosedLid(s);
    using Row = ToggleRowModel<DisplayRowStatus>;
    const MenuRowAction none = MenuRowActions::None{};
    return std::visit(Overloaded{
                          [&](const DisplayAwake::Off &) {
                              return Row{{false, canToggle}, DisplayRowStatus::systemDefault, RowTone::neutral, none};
                          },
                          [&](const DisplayAwake::Starting &) {
                              return Row{{true, false}, DisplayRowStatus::switching, RowTone::busy, none};
                          },
                          [&](const DisplayAwake::Stopping &) {
                              return Row{{true, false}, DisplayRowStatus::switching, RowTone::busy, none};
                          },
                          [&](const DisplayAwake::On &) {
                              return Row{{true, true}, DisplayRowStatus::wakeSession, RowTone::active, none};
                          },
                          [&](const DisplayAwake::Failed &) {
                              return Row{{false, canToggle}, DisplayRowStatus::couldNotTurnOn, RowTone::error, none};
                          },
                      },
                      s.displayAwake);
}

LocalizationKey displayRowSubtitleKey(DisplayRowStatus status)
{
    switch (status) {
    case DisplayRowStatus::systemDefault: return {QT_TRID_NOOP("systemDefault")};
    case DisplayRowStatus::switching: return {QT_TRID_NOOP("switching")};
    case DisplayRowStatus::wakeSession: return {QT_TRID_NOOP("wakeSession")};
    case DisplayRowStatus::couldNotTurnOn: return {QT_TRID_NOOP("couldNotTurnOn")};
    }
    return {QT_TRID_NOOP("systemDefault")};
}

ToggleRowModel<ClosedLidRowStatus> closedLidRow(const VemoState &s, qint64 threshold)
{
    using namespace ClosedLidRowStatuses;
    using Row = ToggleRowModel<ClosedLidRowStatus>;
    const MenuRowAction none = MenuRowActions::None{};

    const qint64 level = s.power.batteryLevel.value_or(100);
    const bool onBattery = s.power.powerSource == PowerSource::battery;
    // Starting again is refused only while the battery is at or below the auto-exit level.
    const bool retryAllowed = !onBattery || threshold < level;
    const bool granted = is<Authorization::Granted>(s.authorization);

    if (s.startupResidual && is<Clamshell::Off>(s.clamshell)) {
        if (granted)
            return Row{{true, true}, ResidualAuthorized{}, RowTone::busy, none};
        return Row{{true, false}, ResidualUnauthorized{}, RowTone::error, MenuRowActions::ResidualNeedsAuth{}};
    }
    return std::visit(
        Overloaded{
            [&](const Clamshell::RunningOnBattery &c) {
                return Row{{true, true}, OnBattery{c.level}, RowTone::active, MenuRowActions::BatteryInfo{true}};
            },
            [&](const Clamshell::LowBatteryWarning &c) {
                return Row{{true, true}, LowBattery{c.level}, RowTone::warning, MenuRowActions::BatteryInfo{true}};
            },
            [&](const Clamshell::SafetyStopped &c) {
                if (retryAllowed)
                    return Row{{false, true}, SafetyStopped{c.level}, RowTone::warning, none};
                return Row{{false, false}, SafetyStopped{c.level}, RowTone::warning, MenuRowActions::SafetyStopInfo{}};
            },
            [&](const Clamshell::Failed &) {
                return Row{{false, false}, Failed{}, RowTone::error, MenuRowActions::Retry{retryAllowed}};
            },
            [&](const Clamshell::RunningOnPowerAdapter &) {
                return Row{{true, true}, OnAdapter{}, RowTone::active, MenuRowActions::BatteryInfo{false}};
            },
            [&](const Clamshell::Starting &) {
                return Row{{true, false}, Transitioning{}, RowTone::busy, none};
            },
            [&](const Clamshell::Stopping &) {
                return Row{{true, false}, Transitioning{}, RowTone::busy, none};
            },
            [&](const Clamshell::AuthorizationRequired &) {
                if (is<Authorization::Granting>(s.authorization))
                    return Row{{false, false}, Authorizing{}, RowTone::busy, none};
                if (is<Authorization::Denied>(s.authorization) || is<Authorization::Failed>(s.authorization))
                    return Row{{false, false}, Failed{}, RowTone::error, MenuRowActions::Retry{true}};
                return Row{{false, true}, AuthorizationNeeded{}, RowTone::warning, MenuRowActions::Authorize{}};
            },
            [&](const Clamshell::Off &) {
                if (is<Authorization::Revoked>(s.authorization))
                    return Row{{false, true}, AuthorizationRevoked{}, RowTone::neutral, none};
                if (is<Authorization::Required>(s.authorization))
                    return Row{{false, true}, AuthorizationNeeded{}, RowTone::warning, MenuRowActions::Authorize{}};
                return Row{{false, true}, Off{}, RowTone::neutral, none};
            },
        },
        s.clamshell);
}

LocalizationKey closedLidSubtitleKey(const ClosedLidRowStatus &status, const VemoState &s)
{
    using namespace ClosedLidRowStatuses;
    return std::visit(
        Overloaded{
            [](const OnBattery &) { return LocalizationKey{QT_TRID_NOOP("closedLidRunningBatteryStatus")}; },
            [](const LowBattery &) { return LocalizationKey{QT_TRID_NOOP("closedLidRunningLowBatteryStatus")}; },
            [](const OnAdapter &) { return LocalizationKey{QT_TRID_NOOP("closedLidRunningPowerStatus")}; },
            [](const SafetyStopped &) { return LocalizationKey{QT_TRID_NOOP("autoExited")}; },
            [](const Off &) { return LocalizationKey{QT_TRID_NOOP("offState")}; },
            [](const Transitioning &) { return LocalizationKey{QT_TRID_NOOP("ellipsis")}; },
            [](const AuthorizationNeeded &) { return LocalizationKey{QT_TRID_NOOP("authorizationNeeded")}; },
            [](const Authorizing &) { return LocalizationKey{QT_TRID_NOOP("authorizing")}; },
            [](const Failed &) { return LocalizationKey{QT_TRID_NOOP("failed")}; },
            [](const AuthorizationRevoked &) { return LocalizationKey{QT_TRID_NOOP("authorizationRevokedState")}; },
            [&](const ResidualAuthorized &) { return residualStatusKey(s); },
            [](const ResidualUnauthorized &) { return LocalizationKey{QT_TRID_NOOP("readOnlyNoAuth")}; },
        },
        status);
}

std::optional<QString> closedLidStatusText(const ClosedLidRowStatus &status, qint64 threshold)
{
    using namespace ClosedLidRowStatuses;
    const QString t = QString::number(threshold);
    if (const auto *battery = std::get_if<OnBattery>(&status))
        return Localization::text(QT_TRID_NOOP("closedLidRunningBatteryStatus"), {QString::number(battery->level), t});
    if (const auto *low = std::get_if<LowBattery>(&status))
        return Localization::text(QT_TRID_NOOP("closedLidRunningLowBatteryStatus"), {QString::number(low->level), t});
    if (std::holds_alternative<OnAdapter>(status))
        return Localization::text(QT_TRID_NOOP("closedLidRunningPowerStatus"));
    return std::nullopt;
}

LocalizationKey residualStatusKey(const VemoState &s)
{
    if (s.lastError == VemoError::clamshellRestoreFailed)
        return {QT_TRID_NOOP("restoreFailed")};
    return {QT_TRID_NOOP("sleepBlocked")};
}

MenuBarAttention menuBarAttention(const VemoState &s)
{
    if (s.startupResidual)
        return MenuBarAttention::startupResidual;
    // A restore that did not prove itself may have left sleep disabled, whatever the row
    // says: that outranks every battery notice.
    if (s.lastError == VemoError::clamshellRestoreFailed)
        return MenuBarAttention::failed;
    if (is<Clamshell::LowBatteryWarning>(s.clamshell))
        return MenuBarAttention::lowBattery;
    if (is<Clamshell::SafetyStopped>(s.clamshell))
        return MenuBarAttention::safetyStopped;
    if (is<Clamshell::Failed>(s.clamshell))
        return MenuBarAttention::failed;
    if (is<Clamshell::AuthorizationRequired>(s.clamshell))
        return MenuBarAttention::authorizationRequired;
    // Without its tool no session can ever start; that is worth more than a red row the
    // user only sees after opening the menu.
    if (const auto *failed = std::get_if<TimedSession::Failed>(&s.timedSession);
        failed && failed->error == VemoError::caffeinateUnavailable)
        return MenuBarAttention::failed;
    return MenuBarAttention::none;
}

MenuBarImage menuBarIcon(const VemoState &s)
{
    if (isBlockedByClosedLid(s))
        return {MenuBarIcon::lidMode, MenuBarSessionMark::none};
    if (is<TimedSession::Running>(s.timedSession))
        return {MenuBarIcon::active, MenuBarSessionMark::timed};
    if (is<TimedSession::RunningPermanent>(s.timedSession))
        return {MenuBarIcon::active, MenuBarSessionMark::indefinite};
    if (is<DisplayAwake::On>(s.displayAwake))
        return {MenuBarIcon::display, MenuBarSessionMark::none};
    return {MenuBarIcon::idle, MenuBarSessionMark::none};
}

std::optional<QString> badgeSymbol(MenuBarAttention attention, MenuBarSessionMark mark)
{
    switch (attention) {
    case MenuBarAttention::startupResidual:
    case MenuBarAttention::lowBattery:
    case MenuBarAttention::failed: return QStringLiteral("exclamationmark.triangle.fill");
    case MenuBarAttention::authorizationRequired: return QStringLiteral("exclamationmark.circle.fill");
    case MenuBarAttention::safetyStopped: return QStringLiteral("stop.circle.fill");
    case MenuBarAttention::none: break;
    }
    switch (mark) {
    case MenuBarSessionMark::timed: return QStringLiteral("timer");
    case MenuBarSessionMark::indefinite: return QStringLiteral("infinity");
    case MenuBarSessionMark::none: break;
    }
    return std::nullopt;
}

LocalizationKey toolTipKey(MenuBarAttention attention, const VemoState &s)
{
    switch (attention) {
    case MenuBarAttention::startupResidual:
    case MenuBarAttention::failed: return {QT_TRID_NOOP("needsAttention")};
    case MenuBarAttention::lowBattery: return {QT_TRID_NOOP("lowBattery")};
    case MenuBarAttention::safetyStopped: return {QT_TRID_NOOP("autoExited")};
    case MenuBarAttention::authorizationRequired: return {QT_TRID_NOOP("authorizationRequired")};
    case MenuBarAttention::none: break;
    }
    const bool displayOn = is<DisplayAwake::On>(s.displayAwake);
    if (isClamshellRunning(s.clamshell))
        return (isTimedActive(s) || displayOn) ? LocalizationKey{QT_TRID_NOOP("keepingRunning")}
                                               : LocalizationKey{QT_TRID_NOOP("closedLidRunning")};
    // The indefinite session wins over display-awake.
    if (is<TimedSession::RunningPermanent>(s.timedSession))
        return {QT_TRID_NOOP("permanentlyPreventing")};
    if (displayOn)
        return {QT_TRID_NOOP("keepingRunning")};
    if (is<TimedSession::Running>(s.timedSession))
        return {QT_TRID_NOOP("preventingIdleSleep")};
    return {QT_TRID_NOOP("runningOnSystemPolicy")};
}

QString toolTip(MenuBarAttention attention, const VemoState &s)
{
    if (attention == MenuBarAttention::none)
        if (auto binding = sessionBindingText(s))
            return *binding;
    return toolTipKey(attention, s).text();
}

std::optional<QString> menuBarCountdown(const VemoState &s)
{
    const auto *running = std::get_if<TimedSession::Running>(&s.timedSession);
    if (!running || isBlockedByClosedLid(s))
        return std::nullopt;
    const qint64 secs = std::max<qint64>(0, running->remainingSeconds);
    return clockText(secs / 3600, (secs % 3600) / 60, secs % 60);
}

QString timerText(qint64 seconds)
{
    const qint64 secs = std::max<qint64>(0, seconds);
    if (seconds >= 3600)
        return clockText(secs / 3600, (secs % 3600) / 60, secs % 60);
    return QString::asprintf("%lld:%02lld", static_cast<long long>(secs / 60), static_cast<long long>(secs % 60));
}

QList<QuitBlocker> quitBlockers(const VemoState &s)
{
    QList<QuitBlocker> blockers;
    if (const auto *running = std::get_if<TimedSession::Running>(&s.timedSession))
        blockers.append(QuitBlockers::Timed{running->remainingSeconds});
    else if (is<TimedSession::RunningPermanent>(s.timedSession))
        blockers.append(QuitBlockers::TimedPermanent{});

    // Display-awake rides on the timed session and is stopped with it: no blocker of its own.
    if (const auto *battery = std::get_if<Clamshell::RunningOnBattery>(&s.clamshell))
        blockers.append(QuitBlockers::Clamshell{ClamshellQuitKinds::OnBattery{battery->level}});
    else if (const auto *low = std::get_if<Clamshell::LowBatteryWarning>(&s.clamshell))
        blockers.append(QuitBlockers::Clamshell{ClamshellQuitKinds::LowBattery{low->level}});
    else if (is<Clamshell::RunningOnPowerAdapter>(s.clamshell))
        blockers.append(QuitBlockers::Clamshell{ClamshellQuitKinds::OnAdapter{}});
    return blockers;
}

std::optional<QuitDialogContent> quitDialog(const VemoState &s)
{
    if (quitBlockers(s).isEmpty())
        return std::nullopt;
    return QuitDialogContent{qtTrId("confirmQuit"), {qtTrId("quitClearAllModes")}, qtTrId("quit"), qtTrId("cancel")};
}

} // namespace quorvel::Presentation
