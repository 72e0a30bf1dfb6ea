#pragma once

// Shared fixtures of the closed-lid tests: an in-process sudo + pmset, and the module wired as
// the composition root wires it.

#include "closedlid/ClosedLidModule.h"
#include "closedlid/SudoersAuthorization.h"
#include "idle/TimedSleepPreventer.h"
#include "power/BatterySafetyCoordinator.h"
#include "power/PowerMonitor.h"
#include "support/FakeChildProcess.h"
#include "support/FakeScheduler.h"
#include "support/Printers.h"

namespace quorvel::test {

// One sleep-disabled value behind the three command lines, with the faults the real tools show.
struct ScriptedPmset {
    int sleepDisabled = 0, runs = 0;
    // "applyExits1" (and switches), "applyNoEffect" and "restoreNoEffect" (exit 0), "sudoRefused"
    // (exit 1, nothing), "unreadable" (a report without the setting)
    QString faults;
    // Called inside every command, as a notice arriving while it blocks would be.
    std::function<void(const ClamshellCapabilityProbe::Command &)> whileRunning;

    CommandRunner runner()
    {
        return [this](const ClamshellCapabilityProbe::Command &command) -> CommandResult {
            const bool apply = command == ClamshellCapabilityProbe::applyOverrideCommand(),
                       refused = faults.contains("sudoRefused");
            if (whileRunning)
                whileRunning(command);
            if (++runs, command == ClamshellCapabilityProbe::readSettingsCommand())
                return {faults.contains("unreadable") ? "pmset: garbage\n"
                                                      : QString(" SleepDisabled\t%1\n").arg(sleepDisabled),
                        0};
            if (!refused && !faults.contains(apply ? "applyNoEffect" : "restoreNoEffect"))
                sleepDisabled = apply;
            return {QString(), refused || (apply && faults.contains("applyExits1"))};
        };
    }
};

// Case names in order; a stop adds its reason and a revoke its success: "clamshellStopped(quit)".
inline QString kindsOf(const InMemoryEventJournal &journal)
{
    QStringList kinds;
    for (const VemoEvent &event : journal.events()) {
        kinds << caseName(event.kind);
        if (const auto *stopped = std::get_if<EventKind::ClamshellStopped>(&event.kind))
            kinds.last() += QStringList{"(manual)", "(safety)", "(quit)", "(failed)"}.at(int(stopped->reason));
        if (const auto *revoked = std::get_if<EventKind::AuthorizationRevoked>(&event.kind))
            kinds.last() += revoked->success ? "(true)" : "(false)";
    }
    return kinds.join(' ');
}

// The module with scripted alerts and virtual time, after its start-up verify. Without `live` the
// tools are `pmset` and the rule is `rule`; with it, the real sudoers functions and `runner`.
struct Rig {
    AppStateStore store;
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(50);
    std::shared_ptr<FakeScheduler> scheduler = std::make_shared<FakeScheduler>();
    ScriptedPmset pmset;
    FakeChildProcessFactory children;
    TimedSleepPreventer timed{&store, "/bin/sh", 0, {}, {}, scheduler, children.factory()}; // any program will do
    bool rule;
    QList<int> answers{alertFirstButton, alertSecondButton}; // to the alerts, in order; then "cancel"
    QStringList alerts;                                      // title keys
    AuthorizationManager::Checker checker = [this] { return Result<bool>(rule); };
    AuthorizationManager::Revoker revoker = [this] { return rule = false, RevokeOutcome(Revoke::Completed{}); };
    // The guard's display and wake notices, as the platform would call them (any thread).
    std::function<void()> displayChanged, woke;
    std::unique_ptr<LiveClosedLidModule> module;

    PowerChangeSource notices(std::function<void()> &slot)
    {
        return [&slot](std::function<void()> notify) {
            slot = std::move(notify);
            return std::make_unique<PowerChangeSubscription>();
        };
    }

    explicit Rig(const PowerContext &power, bool ruleInstalled = true,
                 const SudoersAuthorization::Setup *live = nullptr, CommandRunner runner = {})
        : store(power)
        , rule(ruleInstalled)
    {
        runner = live ? runner : pmset.runner();
        if (live)
            checker = makeChecker(*live), revoker = makeRevoker(*live);
        auto controller = std::make_shared<ClamshellKeepRunningController>(&store, runner, journal);
        auto manager = std::make_unique<AuthorizationManager>(
            &store, checker, live ? makeGrantor(*live) : AuthorizationManager::Grantor(), journal);
        module = std::make_unique<LiveClosedLidModule>(LiveClosedLidModule::Parts{
            &store, journal, controller, std::move(manager),
            std::make_unique<BatterySafetyCoordinator>(&store, controller, journal, nullptr), nullptr, &timed,
            makePmsetReader(runner), revoker, checker,
            [this](const Alert &alert) {
                return alerts << alert.titleKey, answers.isEmpty() ? alertSecondButton : answers.takeFirst();
            },
            nullptr, scheduler, notices(displayChanged), notices(woke)});
        module->authorizationManager().verify();
    }
};

} // namespace quorvel::test
