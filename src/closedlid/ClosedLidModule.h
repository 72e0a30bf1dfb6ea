#pragma once

#include "closedlid/AlertPresenter.h"
#include "closedlid/AuthorizationManager.h"
#include "closedlid/ClamshellKeepRunningController.h"
#include "closedlid/ClosedLidGuard.h"
#include "closedlid/SystemCommands.h"
#include "records/EventJournal.h"
#include "state/AppStateStore.h"
#include "support/Scheduler.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>

namespace quorvel {

class BatterySafetyCoordinator;
class PowerMonitor;
class TimedSleepPreventer;

// The little the closed-lid module needs of the update checker: at quit its pending
// check and automatic-check jobs are cancelled. Kept as an interface so that closed-lid
// mode does not depend on the update library; the composition root adapts the checker.
class PendingUpdateJobs {
public:
    virtual ~PendingUpdateJobs() = default;
    virtual void cancelPendingJobs() = 0;
};

// How the coordinator and the user interface reach closed-lid mode. Main thread only.
class ClosedLidModule {
public:
    virtual ~ClosedLidModule() = default;

    // Once after launch: flags an override left in force by an earlier run and schedules
    // its take-over one second later.
    virtual void detectStartupResidual() = 0;
    // The menu toggle.
    virtual void setClamshell(bool enabled) = 0;
    // Installs the rule (administrator dialog), then switches on.
    virtual void authorizeAndStart() = 0;
    // Asks with an alert first, then authorizeAndStart().
    virtual void requestAuthorization() = 0;
    // The menu's resolve action for a leftover: restores the system default.
    virtual void restoreResidual() = 0;
    // The settings window: removes the rule, switching the override off first if needed.
    virtual void revokeAuthorization() = 0;
    // The quit clean-up: false when the system default could not be restored. Whatever the
    // state says, a sleep setting still disabled is restored when the rule allows it.
    virtual bool prepareForQuit() = 0;
    // Sleep reads disabled and the rule that could switch it back is missing: quitting would
    // leave the machine unable to sleep, and the user must be told before it happens.
    virtual bool sleepStaysDisabledAtQuit() = 0;

    // verify() at start-up and grant() from the menu and settings go to the manager directly.
    virtual AuthorizationManager &authorizationManager() = 0;
};

// The composition object of closed-lid mode: owns the controller, the authorization
// manager and the battery safety coordinator, shares the power monitor and the timed
// preventer with the coordinator, and turns requests into state changes, commands,
// alerts, log lines and events.
class LiveClosedLidModule final : public QObject, public ClosedLidModule {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds takeOverDelay{1000};

    struct Parts {
        QPointer<AppStateStore> store;
        std::shared_ptr<EventJournal> eventJournal;
        std::shared_ptr<ClamshellKeepRunningController> clamshellController;
        std::unique_ptr<AuthorizationManager> authorizationManager;
        std::unique_ptr<BatterySafetyCoordinator> batterySafety;
        QPointer<PowerMonitor> powerMonitor;
        QPointer<TimedSleepPreventer> timedController;
        PmsetReader pmsetReader;
        AuthorizationManager::Revoker revokeRevoker;
        AuthorizationManager::Readback revokeReadback;
        AlertPresenter alertPresenter;
        PendingUpdateJobs *updateChecker = nullptr;
        std::shared_ptr<Scheduler> scheduler;
        // The guard's notices besides the power monitor's; either may be empty.
        PowerChangeSource displayChanges;
        PowerChangeSource wakeNotifications;
    };

    // Besides the start-up take-over, a leftover still flagged when the user authorizes is
    // taken over the same way (without the one-second wait).
    explicit LiveClosedLidModule(Parts parts, QObject *parent = nullptr);
    ~LiveClosedLidModule() override;

    void detectStartupResidual() override;
    void setClamshell(bool enabled) override;
    void authorizeAndStart() override;
    void requestAuthorization() override;
    void restoreResidual() override;
    void revokeAuthorization() override;
    bool prepareForQuit() override;
    bool sleepStaysDisabledAtQuit() override;
    AuthorizationManager &authorizationManager() override { return *m_parts.authorizationManager; }

    // A new power snapshot, handed on to the battery safety coordinator, then to the guard.
    void handlePowerChange(const PowerContext &power);
    // The closed-lid guard: while the mode runs, re-reads the setting and re-applies it when
    // the system has switched it off. No timer: only the notices after which that happens
    // call in. One check at a time; a trigger that arrives during one is checked after it.
    void guardOverride(GuardTrigger trigger);
    // The power monitor's listener: holds the module weakly, so a snapshot that arrives
    // after the module is gone is dropped.
    static std::function<void(const PowerContext &)> powerChangeForwarder(LiveClosedLidModule *module);

    ClamshellKeepRunningController &clamshellController() { return *m_parts.clamshellController; }
    BatterySafetyCoordinator &batterySafety() { return *m_parts.batterySafety; }

private:
    void resolveStartupResidual();
    void scheduleTakeOver(std::chrono::milliseconds delay);
    void stateChanged();
    bool requiresRestoreBeforeRevoke() const;
    bool restorePowerPolicyForRevoke();
    // Restores a leftover override; clears or keeps the flag accordingly.
    bool restoreLeftover();
    bool sleepDisabledNow() const;
    std::optional<int> readSleepDisabled() const;
    // By the state alone: a switch of this run (or an earlier run's leftover) that was never
    // proven undone.
    bool mayStillBeDisabled() const;
    bool rulePresent() const;
    int present(const Alert &alert) const;
    void append(VemoEventKind kind);

    void checkOverride(GuardTrigger trigger);

    Parts m_parts;
    JobHandle m_takeOverJob;
    bool m_wasGranted = false;
    std::unique_ptr<GuardTriggers> m_guardTriggers;
    bool m_guarding = false;
    std::optional<GuardTrigger> m_guardAgain;
};

} // namespace quorvel
