#include "ScriptedPmset.h"
#include "closedlid/ClosedLidModule.h"

#include "idle/TimedSleepPreventer.h"
#include "power/BatterySafetyCoordinator.h"
#include "support/FakeChildProcess.h"
#include "support/FakeClock.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/UserDefaults.h"

#include <QCoreApplication>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;
using namespace std::chrono_literals;

namespace {

using Kinds = QStringList;

struct CountingUpdateJobs final : PendingUpdateJobs {
    int cancels = 0;
    void cancelPendingJobs() override { ++cancels; }
};

// Everything the module is built from, with the system seams scripted.
struct Rig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::unique_ptr<AppStateStore> store;
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(200);
    std::shared_ptr<FakeScheduler> scheduler = std::make_shared<FakeScheduler>();
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    ScriptedPmset pmset;
    bool ruleInstalled = false;
    Result<> grantOutcome; // how the administrator dialog of an install ends
    int grants = 0;
    QList<Alert> alerts;
    QList<int> answers; // one per alert; when none is left the answer is "cancel"
    CountingUpdateJobs updateJobs;
    QPointer<TimedSleepPreventer> timed;
    std::unique_ptr<LiveClosedLidModule> module;

    explicit Rig(const PowerContext &power = adapterPower(80))
    {
        store = std::make_unique<AppStateStore>(power, clock);
        build();
    }

    void build()
    {
        module.reset();
        auto controller = std::make_shared<ClamshellKeepRunningController>(store.get(), pmset.runner(), journal);
        auto checker = [this]() -> Result<bool> { return ruleInstalled; };
        auto grantor = [this]() -> Result<> {
            ++grants;
            if (grantOutcome)
                ruleInstalled = true;
            return grantOutcome;
        };
        LiveClosedLidModule::Parts parts;
        parts.store = store.get();
        parts.eventJournal = journal;
        parts.clamshellController = controller;
        parts.authorizationManager = std::make_unique<AuthorizationManager>(store.get(), checker, grantor, journal);
        parts.batterySafety = std::make_unique<BatterySafetyCoordinator>(store.get(), controller, journal, defaults);
        parts.batterySafety->installAsThresholdReader();
        parts.timedController = timed;
        parts.pmsetReader = pmset.reader();
        parts.revokeRevoker = [this]() -> RevokeOutcome {
            ruleInstalled = false;
            return Revoke::Completed{};
        };
        parts.revokeReadback = checker;
        parts.alertPresenter = [this](const Alert &alert) {
            alerts << alert;
            return answers.isEmpty() ? alertSecondButton : answers.takeFirst();
        };
        parts.updateChecker = &updateJobs;
        parts.scheduler = scheduler;
        module = std::make_unique<LiveClosedLidModule>(std::move(parts));
    }

    // The rule as the start-up verify finds it.
    void authorize(bool installed)
    {
        ruleInstalled = installed;
        QVERIFY(module->authorizationManager().verify().ok());
    }
    void setClamshell(const ClamshellState &clamshell)
    {
        VemoState state = store->state();
        state.clamshell = clamshell;
        store->setState(state);
    }
    // Closed-lid mode really running: the override in force and the state to match.
    void startRunning()
    {
        authorize(true);
        module->setClamshell(true);
        QVERIFY(isClamshellRunning(store->state().clamshell));
        pmset.calls.clear();
    }
    Kinds kinds(qsizetype since = 0) const { return kindsOf(*journal).mid(since); }
};

} // namespace

class ModuleTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        isolateUserFolders(home);
    }

    void setClamshell_data()
    {
        QTest::addColumn<ClamshellState>("initial");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<ClamshellState>("expected");
        QTest::addColumn<QStringList>("trace");
        QTest::addColumn<Kinds>("events");

        const ClamshellState off = Clamshell::Off{};
        const ClamshellState onAdapter = Clamshell::RunningOnPowerAdapter{};
        const QStringList start{"apply", "read"};
        const QStringList stop{"restore", "read"};

        QTest::newRow("enable from off") << off << true << true << onAdapter << start << Kinds{"clamshellStarted"};
        QTest::newRow("enable without the rule")
            << off << false << true << ClamshellState(Clamshell::AuthorizationRequired{}) << QStringList{} << Kinds{};
        QTest::newRow("enable after a safety stop on the adapter")
            << ClamshellState(Clamshell::SafetyStopped{20}) << true << true << onAdapter << start
            << Kinds{"clamshellStarted"};
        QTest::newRow("enable after a failure") << ClamshellState(Clamshell::Failed{VemoError::readbackMismatch})
                                                << true << true << onAdapter << start << Kinds{"clamshellStarted"};
        for (const auto &[name, state] : {std::pair{"enable while running", onAdapter},
                                          std::pair{"enable while stopping", ClamshellState(Clamshell::Stopping{})},
                                          std::pair{"enable while starting", ClamshellState(Clamshell::Starting{})}}) {
            QTest::newRow(name) << state << true << true << state << QStringList{} << Kinds{};
        }
        QTest::newRow("disable while off") << off << true << false << off << QStringList{} << Kinds{};
        QTest::newRow("disable while running")
            << onAdapter << true << false << off << stop << Kinds{"clamshellStopped"};
        QTest::newRow("disable while on battery in the warning band")
            << ClamshellState(Clamshell::LowBatteryWarning{23}) << true << false << off << stop
            << Kinds{"clamshellStopped"};
    }
    void setClamshell()
    {
        QFETCH(ClamshellState, initial);
        QFETCH(bool, granted);
        QFETCH(bool, enabled);
        QFETCH(ClamshellState, expected);
        QFETCH(QStringList, trace);
        QFETCH(Kinds, events);

        Rig rig;
        rig.authorize(granted);
        rig.setClamshell(initial);
        rig.pmset.sleepDisabled = isClamshellRunning(initial) ? 1 : 0;
        rig.module->setClamshell(enabled);

        QCOMPARE(rig.store->state().clamshell, expected);
        QCOMPARE(rig.pmset.trace(), trace);
        QCOMPARE(rig.kinds(), events);
    }

    // Closed-lid mode keeps the machine awake by itself; a timed session may not run beside
    // it, so a successful start ends it, and a failed start leaves it alone.
    void startEndsARunningTimedSession_data()
    {
        QTest::addColumn<bool>("sudoRefuses");
        QTest::addColumn<bool>("timedStopped");
        QTest::newRow("start succeeds") << false << true;
        QTest::newRow("start fails") << true << false;
    }
    void startEndsARunningTimedSession()
    {
        QFETCH(bool, sudoRefuses);
        QFETCH(bool, timedStopped);

        Rig rig;
        FakeChildProcessFactory children;
        TimedSleepPreventer preventer(rig.store.get(), QCoreApplication::applicationFilePath(), 4242, rig.defaults,
                                      rig.journal, rig.scheduler, children.factory());
        rig.timed = &preventer;
        rig.build();
        rig.authorize(true);

        preventer.startTimed(7200);
        QCOMPARE(rig.store->state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        if (sudoRefuses)
            rig.pmset.refuseSudo();
        rig.module->setClamshell(true);
        FakeChildProcessFactory::settle();

        QCOMPARE(isClamshellRunning(rig.store->state().clamshell), !sudoRefuses);
        QCOMPARE(children.last()->terminateRequests, timedStopped ? 1 : 0);
        QCOMPARE(is<TimedSession::Off>(rig.store->state().timedSession), timedStopped);
    }

    void requestAuthorizationAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("grants");
        QTest::addColumn<ClamshellState>("expected");
        QTest::newRow("authorize now") << alertFirstButton << 1 << ClamshellState(Clamshell::RunningOnPowerAdapter{});
        QTest::newRow("cancel") << alertSecondButton << 0 << ClamshellState(Clamshell::Off{});
    }
    void requestAuthorizationAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(int, grants);
        QFETCH(ClamshellState, expected);

        Rig rig;
        rig.authorize(false);
        rig.module->setClamshell(true);
        rig.answers = {answer};
        rig.module->requestAuthorization();

        QCOMPARE(rig.alerts, QList<Alert>{Alerts::authorizationRequest()});
        QCOMPARE(rig.grants, grants);
        QCOMPARE(rig.store->state().clamshell, expected);
    }

    // A sleep-disabled setting left by an earlier run: flagged at once, taken over one
    // second later when the rule is in place, otherwise left for the user.
    void startupResidual_data()
    {
        QTest::addColumn<std::optional<int>>("sleepDisabled");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<PowerContext>("power");
        QTest::addColumn<bool>("flagged");
        QTest::addColumn<ClamshellState>("afterOneSecond");
        QTest::addColumn<bool>("flaggedAfter");
        QTest::addColumn<Kinds>("events");
        QTest::addColumn<QStringList>("log");

        const QString detected = "[ERROR] [startup] startup residual detected, sleepDisabled=1";
        const QString takingOver =
            "[INFO] [startup] taking over residual via clamshell enable (preserves lid-open capability)";
        const QString applied = "[INFO] [clamshell] clamshell override applied, sleepDisabled=1, onAdapter=false, "
                                "battery=64";
        const ClamshellState off = Clamshell::Off{};

        QTest::newRow("authorized: taken over on battery")
            << std::optional<int>(1) << true << batteryPower(64) << true
            << ClamshellState(Clamshell::RunningOnBattery{64}) << false
            << Kinds{"startupResidualDetected", "clamshellStarted", "startupResidualRestoredByUser"}
            << QStringList{detected, takingOver, applied};
        QTest::newRow("no rule: stays flagged, nothing runs")
            << std::optional<int>(1) << false << batteryPower(64) << true << off << true
            << Kinds{"startupResidualDetected"} << QStringList{detected};
        QTest::newRow("take-over fails: stays flagged")
            << std::optional<int>(1) << true << batteryPower(std::nullopt) << true
            << ClamshellState(Clamshell::Failed{VemoError::clamshellPowerUnsuitable}) << true
            << Kinds{"startupResidualDetected"} << QStringList{detected, takingOver};
        QTest::newRow("setting at 0") << std::optional<int>(0) << true << adapterPower() << false << off << false
                                      << Kinds{} << QStringList{};
        QTest::newRow("no such line") << std::optional<int>() << true << adapterPower() << false << off << false
                                      << Kinds{} << QStringList{};
    }
    void startupResidual()
    {
        QFETCH(std::optional<int>, sleepDisabled);
        QFETCH(bool, granted);
        QFETCH(PowerContext, power);
        QFETCH(bool, flagged);
        QFETCH(ClamshellState, afterOneSecond);
        QFETCH(bool, flaggedAfter);
        QFETCH(Kinds, events);
        QFETCH(QStringList, log);

        Rig rig(power);
        rig.authorize(granted);
        rig.pmset.sleepDisabled = sleepDisabled;
        LogCapture capture;
        rig.module->detectStartupResidual();
        QCOMPARE(rig.store->state().startupResidual, flagged);
        QCOMPARE(rig.store->state().lastError, std::optional<VemoError>());

        rig.scheduler->advance(999ms);
        QCOMPARE(rig.store->state().clamshell, ClamshellState(Clamshell::Off{}));
        QCOMPARE(rig.pmset.trace(), QStringList{"read"});
        rig.scheduler->advance(1ms);

        QCOMPARE(rig.store->state().clamshell, afterOneSecond);
        QCOMPARE(rig.store->state().startupResidual, flaggedAfter);
        QCOMPARE(rig.kinds(), events);
        QCOMPARE(capture.lines(), log);
        if (flagged) {
            const VemoEvent first = rig.journal->events().first();
            QVERIFY(first.evidence == (SystemEvidence{1, std::nullopt, std::nullopt}));
        }
    }

    void residualIsLeftAloneWhileClosedLidIsNotOff()
    {
        Rig rig;
        rig.startRunning();
        rig.module->detectStartupResidual();
        QVERIFY(!rig.store->state().startupResidual);
        QCOMPARE(rig.scheduler->pendingCount(), 0);
    }

    // The take-over job holds the module weakly.
    void takeOverAfterTheModuleIsGoneDoesNothing()
    {
        Rig rig;
        rig.authorize(true);
        rig.pmset.sleepDisabled = 1;
        rig.module->detectStartupResidual();
        rig.module.reset();
        rig.scheduler->advance(1s);
        QCOMPARE(rig.pmset.trace(), QStringList{"read"});
        QCOMPARE(rig.store->state().clamshell, ClamshellState(Clamshell::Off{}));
    }

    // Revoking never leaves an override in force that nobody could switch off any more.
    void revoke_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<int>("restoreFailures"); // restores that fail before one works
        QTest::addColumn<QStringList>("alerts");
        QTest::addColumn<AuthorizationState>("authorization");
        QTest::addColumn<Kinds>("events");

        const AuthorizationState revoked = Authorization::Revoked{};
        const AuthorizationState granted = Authorization::Granted{};
        const QString active = "revokeWhileClamshellRunningTitle";
        const QString failed = "revokeRestoreFailedTitle";
        const int yes = alertFirstButton;
        const int no = alertSecondButton;

        QTest::newRow("nothing active: at once")
            << "idle" << QList<int>{} << 0 << QStringList{} << revoked << Kinds{"authorizationRevoked"};
        QTest::newRow("running: close and revoke") << "running" << QList<int>{yes} << 0 << QStringList{active}
                                                   << revoked << Kinds{"clamshellStopped", "authorizationRevoked"};
        QTest::newRow("running: cancelled")
            << "running" << QList<int>{no} << 0 << QStringList{active} << granted << Kinds{};
        QTest::newRow("running: restore fails, user gives up")
            << "running" << QList<int>{yes, no} << 99 << QStringList{active, failed} << granted
            << Kinds{"clamshellStopped"};
        QTest::newRow("running: restore fails once, retry works")
            << "running" << QList<int>{yes, yes} << 1 << QStringList{active, failed} << revoked
            << Kinds{"clamshellStopped", "clamshellStopped", "authorizationRevoked"};
        // A stop whose restore fails while the source is unknown stays stopping: not running,
        // but the override is still in force, so the rule must stay.
        QTest::newRow("running, source unknown: restore fails, cancelled")
            << "runningUnknownPower" << QList<int>{yes, no} << 99 << QStringList{active, failed} << granted
            << Kinds{"clamshellStopped"};
        QTest::newRow("flagged leftover") << "residual" << QList<int>{yes} << 0 << QStringList{active} << revoked
                                          << Kinds{"startupResidualRestoredByUser", "authorizationRevoked"};
        QTest::newRow("override in force, not flagged")
            << "untracked" << QList<int>{yes} << 0 << QStringList{active} << revoked
            << Kinds{"startupResidualRestoredByUser", "authorizationRevoked"};
        QTest::newRow("leftover: restore fails, cancelled")
            << "residual" << QList<int>{yes, no} << 99 << QStringList{active, failed} << granted << Kinds{};
    }
    void revoke()
    {
        QFETCH(QString, situation);
        QFETCH(QList<int>, answers);
        QFETCH(int, restoreFailures);
        QFETCH(QStringList, alerts);
        QFETCH(AuthorizationState, authorization);
        QFETCH(Kinds, events);

        Rig rig;
        if (situation.startsWith("running")) {
            rig.startRunning();
            if (situation == "runningUnknownPower")
                rig.store->setPower(unknownPower());
        } else {
            rig.authorize(true);
            if (situation != "idle")
                rig.pmset.sleepDisabled = 1;
            if (situation == "residual")
                rig.store->setStartupResidual(true, std::nullopt);
        }
        const qsizetype before = rig.journal->events().size();
        rig.answers = answers;
        rig.pmset.restoreFailures = restoreFailures;

        rig.module->revokeAuthorization();

        QStringList shown;
        for (const Alert &alert : rig.alerts)
            shown << alert.titleKey;
        QCOMPARE(shown, alerts);
        QCOMPARE(rig.store->state().authorization, authorization);
        QCOMPARE(rig.kinds(before), events);
        // Whatever the outcome, the override is off exactly when the rule was removed.
        QCOMPARE(rig.pmset.sleepDisabled == 1, is<Authorization::Granted>(authorization) && situation != "idle");
    }

    // Quit cancels the update jobs and a take-over still pending, which would otherwise
    // switch the override on again on the way out, and reports an unproven restore.
    void prepareForQuit()
    {
        Rig rig;
        rig.startRunning();
        rig.pmset.restoreTakesEffect = false;
        QVERIFY(!rig.module->prepareForQuit());
        QCOMPARE(rig.updateJobs.cancels, 1);
        QCOMPARE(rig.kinds().last(), QStringLiteral("clamshellStopped"));

        Rig leftover;
        leftover.authorize(true);
        leftover.pmset.sleepDisabled = 1;
        leftover.module->detectStartupResidual();
        QVERIFY(leftover.module->prepareForQuit());
        leftover.scheduler->advance(1s);
        QCOMPARE(leftover.pmset.trace(), QStringList{"read"});
    }

    // The power monitor's listener reaches the battery safety coordinator through the
    // module, and only while the module exists.
    void powerChangesReachTheSafetyCoordinator()
    {
        Rig rig(batteryPower(64));
        rig.startRunning();
        const auto forward = LiveClosedLidModule::powerChangeForwarder(rig.module.get());
        forward(batteryPower(25));
        QCOMPARE(rig.store->state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{25}));
        forward(batteryPower(20));
        QCOMPARE(rig.store->state().clamshell, ClamshellState(Clamshell::SafetyStopped{20}));
        QCOMPARE(rig.pmset.sleepDisabled, std::optional<int>(0));

        rig.module->setClamshell(true);
        QCOMPARE(rig.store->state().clamshell, ClamshellState(Clamshell::RunningOnBattery{64}));
        rig.module.reset();
        const qsizetype calls = rig.pmset.calls.size();
        forward(batteryPower(5));
        QCOMPARE(rig.pmset.calls.size(), calls);
        QCOMPARE(rig.store->state().clamshell, ClamshellState(Clamshell::RunningOnBattery{64}));
    }
};

QTEST_GUILESS_MAIN(ModuleTest)
#include "tst_module.moc"
