#include "closedlid/ClosedLidModule.h"

#include "idle/TimedSleepPreventer.h"
#include "power/BatterySafetyCoordinator.h"
#include "power/PowerMonitor.h"
#include "records/DiagnosticLog.h"

namespace quorvel {

namespace {

bool isStartable(const ClamshellState &clamshell)
{
    return is<Clamshell::Off>(clamshell) || is<Clamshell::Failed>(clamshell) || is<Clamshell::SafetyStopped>(clamshell);
}

bool isTimedSessionActive(const TimedSessionState &session)
{
    return is<TimedSession::Running>(session) || is<TimedSession::RunningPermanent>(session);
}

} // namespace

LiveClosedLidModule::LiveClosedLidModule(Parts parts, QObject *parent)
    : QObject(parent)
    , m_parts(std::move(parts))
{
    if (AppStateStore *store = m_parts.store) {
        m_wasGranted = is<Authorization::Granted>(store->state().authorization);
        connect(store, &AppStateStore::changed, this, &LiveClosedLidModule::stateChanged);
    }
    m_guardTriggers =
        std::make_unique<GuardTriggers>([self = QPointer<LiveClosedLidModule>(this)](GuardTrigger trigger) {
            if (self)
                self->guardOverride(trigger);
        });
    m_guardTriggers->watch(GuardTrigger::displayChange, m_parts.displayChanges);
    m_guardTriggers->watch(GuardTrigger::wake, m_parts.wakeNotifications);
}

LiveClosedLidModule::~LiveClosedLidModule()
{
    cancelAndClear(m_takeOverJob);
}

void LiveClosedLidModule::append(VemoEventKind kind)
{
    if (m_parts.eventJournal)
        m_parts.eventJournal->append(VemoEvent::make(std::move(kind)));
}

int LiveClosedLidModule::present(const Alert &alert) const
{
    // Without a way to ask, the answer is the safe one: nothing is done.
    return m_parts.alertPresenter ? m_parts.alertPresenter(alert) : alertSecondButton;
}

std::optional<int> LiveClosedLidModule::readSleepDisabled() const
{
    const QString report = m_parts.pmsetReader ? m_parts.pmsetReader() : QString();
    return ClamshellCapabilityProbe::parseSleepDisabled(report);
}

bool LiveClosedLidModule::sleepDisabledNow() const
{
    return readSleepDisabled() == 1;
}

void LiveClosedLidModule::setClamshell(bool enabled)
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store)
        return;
    const ClamshellState before = store->state().clamshell;
    VemoState copy = store->state();
    if (enabled) {
        if (isStartable(copy.clamshell)) {
            copy.clamshell = is<Authorization::Granted>(copy.authorization) ? ClamshellState(Clamshell::Starting{})
                                                                            : Clamshell::AuthorizationRequired{};
        }
    } else if (isClamshellRunning(copy.clamshell) || is<Clamshell::Starting>(copy.clamshell)) {
        copy.clamshell = Clamshell::Stopping{};
    }
    store->setState(copy);

    const ClamshellState &now = store->state().clamshell;
    if (!enabled) {
        // A stop whose restore failed for an unknown power source stays stopping; asking
        // to disable again retries the restore instead of leaving the user stuck.
        if (is<Clamshell::Stopping>(now))
            m_parts.clamshellController->stop();
        return;
    }
    // Only a start this call asked for: a start already under way is not run twice.
    if (!is<Clamshell::Starting>(now) || is<Clamshell::Starting>(before))
        return;
    m_parts.clamshellController->applyOverride();
    // A start on a battery already at or below the threshold is stopped for safety at once,
    // and one inside the warning band warns at once: waiting for the next change of level
    // could mean minutes with the lid shut on a nearly empty battery.
    if (store && isClamshellRunning(store->state().clamshell) && m_parts.batterySafety)
        m_parts.batterySafety->evaluate(store->state().power);
    // The override keeps the machine awake by itself, and a timed session may not run
    // beside closed-lid mode.
    if (store && isClamshellRunning(store->state().clamshell) && isTimedSessionActive(store->state().timedSession)
        && m_parts.timedController) {
        m_parts.timedController->stop();
    }
}

void LiveClosedLidModule::authorizeAndStart()
{
    m_parts.authorizationManager->grant();
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store || !is<Authorization::Granted>(store->state().authorization))
        return; // denied or failed: the outcome is already in the state
    if (is<Clamshell::AuthorizationRequired>(store->state().clamshell)) {
        VemoState copy = store->state();
        copy.clamshell = Clamshell::Off{};
        store->setState(copy);
    }
    setClamshell(true);
}

void LiveClosedLidModule::requestAuthorization()
{
    if (present(Alerts::authorizationRequest()) == alertFirstButton) {
        authorizeAndStart();
        return;
    }
    const QPointer<AppStateStore> &store = m_parts.store;
    if (store && is<Clamshell::AuthorizationRequired>(store->state().clamshell)) {
        VemoState copy = store->state();
        copy.clamshell = Clamshell::Off{};
        store->setState(copy);
    }
}

void LiveClosedLidModule::detectStartupResidual()
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store)
        return;
    if (!sleepDisabledNow() || !is<Clamshell::Off>(store->state().clamshell))
        return;
    DiagnosticLog::log(DiagnosticLog::Level::error, DiagnosticLog::Category::startup,
                       QStringLiteral("startup residual detected, sleepDisabled=1"));
    if (m_parts.eventJournal)
        m_parts.eventJournal->append(VemoEvent::make(EventKind::StartupResidualDetected{},
                                                     SystemEvidence{qint64(1), std::nullopt, std::nullopt}));
    store->setStartupResidual(true, std::nullopt);
    scheduleTakeOver(takeOverDelay);
}

void LiveClosedLidModule::scheduleTakeOver(std::chrono::milliseconds delay)
{
    cancelAndClear(m_takeOverJob);
    if (!m_parts.scheduler)
        return;
    m_takeOverJob = m_parts.scheduler->after(delay, [self = QPointer<LiveClosedLidModule>(this)] {
        if (self)
            self->resolveStartupResidual();
    });
}

void LiveClosedLidModule::stateChanged()
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store)
        return;
    const bool granted = is<Authorization::Granted>(store->state().authorization);
    const bool becameGranted = granted && !m_wasGranted;
    m_wasGranted = granted;
    // A grant from anywhere (the settings window, the menu, a re-check that finds the rule)
    // answers the question the row was waiting on: it goes back to off, and its switch starts
    // the mode. Left waiting, the row would offer a switch that does nothing.
    if (becameGranted && is<Clamshell::AuthorizationRequired>(store->state().clamshell)) {
        VemoState copy = store->state();
        copy.clamshell = Clamshell::Off{};
        store->setState(copy);
    }
    // Authorizing while a leftover is flagged resolves it as at start-up. The take-over runs
    // from its own job, after the grant that led here has finished recording.
    if (becameGranted && store->state().startupResidual && !m_takeOverJob)
        scheduleTakeOver(std::chrono::milliseconds(0));
}

void LiveClosedLidModule::resolveStartupResidual()
{
    m_takeOverJob.reset();
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store || !store->state().startupResidual || !is<Authorization::Granted>(store->state().authorization))
        return; // stays flagged; the user resolves it from the menu
    DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::startup,
                       QStringLiteral("taking over residual via clamshell enable (preserves lid-open capability)"));
    // Enabling over an override already in force keeps sleep disabled without a gap. On a
    // battery at or below the threshold the start is followed by a safety stop, whose proven
    // restore resolves the leftover just as well.
    setClamshell(true);
    if (store
        && (isClamshellRunning(store->state().clamshell) || is<Clamshell::SafetyStopped>(store->state().clamshell))) {
        store->setStartupResidual(false, std::nullopt);
        append(EventKind::StartupResidualRestoredByUser{});
    }
}

bool LiveClosedLidModule::restoreLeftover()
{
    const bool restored = m_parts.clamshellController->restoreOverride();
    if (AppStateStore *store = m_parts.store) {
        if (restored)
            store->setStartupResidual(false, std::nullopt);
        else
            store->setStartupResidual(true, VemoError::clamshellRestoreFailed);
    }
    if (restored)
        append(EventKind::StartupResidualRestoredByUser{});
    return restored;
}

void LiveClosedLidModule::restoreResidual()
{
    restoreLeftover();
}

bool LiveClosedLidModule::requiresRestoreBeforeRevoke() const
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (store && (isClamshellRunning(store->state().clamshell) || store->state().startupResidual))
        return true;
    return sleepDisabledNow();
}

bool LiveClosedLidModule::restorePowerPolicyForRevoke()
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store)
        return false;
    // A stop stuck in stopping is finished the same way: its state, not the leftover path,
    // owns the override.
    if (isClamshellRunning(store->state().clamshell) || is<Clamshell::Stopping>(store->state().clamshell)) {
        setClamshell(false);
        // Anything but off means the restore was not proven (a failed stop with an unknown
        // power source stays stopping rather than running); the rule must stay then.
        if (!store || !is<Clamshell::Off>(store->state().clamshell))
            return false;
        if (!store->state().startupResidual)
            return true;
    } else if (!store->state().startupResidual && !sleepDisabledNow()) {
        return true;
    }
    return restoreLeftover();
}

void LiveClosedLidModule::revokeAuthorization()
{
    AuthorizationManager &manager = *m_parts.authorizationManager;
    if (!requiresRestoreBeforeRevoke()) {
        manager.revoke(m_parts.revokeRevoker, m_parts.revokeReadback);
        return;
    }
    // Without the rule the override could no longer be switched off without a password,
    // so it goes first; cancelling at any point leaves the rule installed.
    int answer = present(Alerts::revokeWhileActive());
    while (answer == alertFirstButton) {
        if (restorePowerPolicyForRevoke()) {
            manager.revoke(m_parts.revokeRevoker, m_parts.revokeReadback);
            return;
        }
        answer = present(Alerts::restoreFailed());
    }
}

bool LiveClosedLidModule::rulePresent() const
{
    if (!m_parts.revokeReadback)
        return false;
    const Result<bool> present = m_parts.revokeReadback();
    return present && present.value();
}

bool LiveClosedLidModule::prepareForQuit()
{
    if (m_parts.updateChecker)
        m_parts.updateChecker->cancelPendingJobs();
    // A take-over that fired after the clean-up would switch the override on again on the
    // way out.
    cancelAndClear(m_takeOverJob);
    if (!m_parts.clamshellController->stopForQuit())
        return false;
    const QPointer<AppStateStore> &store = m_parts.store;
    // A stop that could not prove itself earlier gets one more try.
    if (store && is<Clamshell::Stopping>(store->state().clamshell)) {
        m_parts.clamshellController->stop();
        if (store && !is<Clamshell::Off>(store->state().clamshell))
            return false;
    }
    // The state is not the whole story: a failed start that could not restore, or a leftover
    // not yet taken over, leaves the setting disabled with closed-lid mode not running. The
    // system's own answer decides. An answer that cannot be read proves nothing either way;
    // then the state tells whether a switch of ours may still be in force.
    const std::optional<int> reading = readSleepDisabled();
    if (reading == 0 || (!reading && !mayStillBeDisabled()))
        return true;
    if (!rulePresent())
        return false;
    if (store && store->state().startupResidual)
        return restoreLeftover();
    return m_parts.clamshellController->restoreOverride();
}

bool LiveClosedLidModule::mayStillBeDisabled() const
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store)
        return true;
    const VemoState &state = store->state();
    // Off, stopped for safety and any other failure were proven restored (or never switched).
    return state.startupResidual || isClamshellRunning(state.clamshell) || is<Clamshell::Starting>(state.clamshell)
           || is<Clamshell::Stopping>(state.clamshell)
           || state.clamshell == ClamshellState(Clamshell::Failed{VemoError::clamshellRestoreFailed});
}

bool LiveClosedLidModule::sleepStaysDisabledAtQuit()
{
    return sleepDisabledNow() && !rulePresent();
}

void LiveClosedLidModule::handlePowerChange(const PowerContext &power)
{
    if (m_parts.batterySafety)
        m_parts.batterySafety->evaluate(power);
    // After the safety rules: a mode they have just stopped has nothing left to guard.
    guardOverride(GuardTrigger::powerSourceChange);
}

void LiveClosedLidModule::guardOverride(GuardTrigger trigger)
{
    // The commands block, but a bus call may still turn the event loop while they run; a
    // second re-apply must never start beside the first. The later trigger is not lost: the
    // setting is read once more when the check under way has finished.
    if (m_guarding) {
        m_guardAgain = trigger;
        return;
    }
    m_guarding = true;
    std::optional<GuardTrigger> next = trigger;
    while (next) {
        m_guardAgain.reset();
        checkOverride(*next);
        next = m_guardAgain;
    }
    m_guarding = false;
}

void LiveClosedLidModule::checkOverride(GuardTrigger trigger)
{
    const QPointer<AppStateStore> &store = m_parts.store;
    if (!store || !isClamshellRunning(store->state().clamshell))
        return;
    const std::optional<int> reading = readSleepDisabled();
    if (reading == 1)
        return;
    const QString token = guardTriggerToken(trigger);
    if (!reading) {
        // An answer that cannot be read proves nothing either way: re-applying on it could
        // fail a mode that still works. The next notice looks again.
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::clamshell,
                           QStringLiteral("clamshell override unverified, readback=nil, trigger=") + token);
        return;
    }
    DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::clamshell,
                       QStringLiteral("clamshell override reset by the system, readback=0, trigger=") + token);
    m_parts.clamshellController->reapplyOverride(token);
}

std::function<void(const PowerContext &)> LiveClosedLidModule::powerChangeForwarder(LiveClosedLidModule *module)
{
    return [weak = QPointer<LiveClosedLidModule>(module)](const PowerContext &power) {
        if (weak)
            weak->handlePowerChange(power);
    };
}

} // namespace quorvel
