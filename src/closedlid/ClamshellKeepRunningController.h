#pragma once

#include "closedlid/SystemCommands.h"
#include "power/ClamshellPowerControl.h"
#include "records/EventJournal.h"
#include "state/AppStateStore.h"
#include "state/VemoState.h"

#include <QPointer>
#include <memory>

namespace quorvel {

// Switches the system's sleep-disabled override on and off and believes a switch only when
// `pmset -g` reads back the expected value. It never decides on its own when closed-lid
// mode runs: the module moves the state to starting/stopping and then calls in, and the
// battery safety coordinator calls in to follow the power source and to stop for safety.
// Main thread only; each call blocks for at most two short child processes. The battery
// safety coordinator holds it weakly, so its owner keeps it in a std::shared_ptr.
class ClamshellKeepRunningController final : public ClamshellPowerControl {
public:
    using Command = ClamshellCapabilityProbe::Command;
    using CommandResult = quorvel::CommandResult;
    using Runner = CommandRunner;

    ClamshellKeepRunningController(QPointer<AppStateStore> store, Runner runner,
                                   std::shared_ptr<EventJournal> eventJournal);

    ClamshellKeepRunningController(const ClamshellKeepRunningController &) = delete;
    ClamshellKeepRunningController &operator=(const ClamshellKeepRunningController &) = delete;

    // Start: acts only while the state is starting and authorization is granted.
    void applyOverride();
    // Switches the override off and reads it back. Changes no state; true when the default
    // is proven back.
    bool restoreOverride();
    // The user's stop: acts only while the state is stopping.
    void stop();
    // The stop at quit: true when nothing was running or the restore was proven.
    bool stopForQuit();
    // The battery safety stop at `level` percent; acts only while running.
    void safetyStop(qint64 level) override;
    // Follows a new power snapshot while running (adapter <-> battery, warning -> battery).
    void updatePowerSource(const PowerContext &power) override;
    // The closed-lid guard's repair after the system switched the override off by itself
    // (`trigger` names what came before, for the log). Acts only while running, with the
    // start's apply and read-back. Proven: nothing changes, the mode never stopped. Not
    // proven: the mode fails as a failed start does, and its session ends as failed.
    void reapplyOverride(const QString &trigger);

    // Suitable for a start: a known source, and on battery a known level.
    static bool isPowerSuitable(const PowerContext &power);

private:
    struct Unproven {
        QString verdict; // "setFailed" or "readbackMismatch"
        VemoError error;
    };

    std::optional<int> readBack() const;
    // The apply command and the read-back; nothing when the read-back proves the switch.
    std::optional<Unproven> applyAndProve();
    // After a restore that could not be proven: the override is still in force, so the
    // state must say so and the stop is recorded as failed.
    void recordRestoreFailure();
    void append(VemoEventKind kind, std::optional<SystemEvidence> evidence = std::nullopt);

    QPointer<AppStateStore> m_store;
    Runner m_runner;
    std::shared_ptr<EventJournal> m_eventJournal;
};

} // namespace quorvel
