#include "ScriptedPmset.h"
#include "closedlid/ClamshellKeepRunningController.h"

#include "support/FakeClock.h"
#include "support/LogCapture.h"
#include "support/Printers.h"

#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

namespace {

using Kinds = QStringList;

// Faults of the scripted tools, by name, so the tables read as sentences.
void applyFault(ScriptedPmset &pmset, const QString &fault)
{
    if (fault == "applyExits1")
        pmset.applyExit = 1; // the write happened anyway
    else if (fault == "applyNoEffect")
        pmset.applyTakesEffect = false; // exit 0, nothing written
    else if (fault == "unreadable")
        pmset.report = QStringLiteral("pmset: cannot read settings\n");
    else if (fault == "sudoRefused")
        pmset.refuseSudo();
    else if (fault == "restoreNoEffect")
        pmset.restoreTakesEffect = false;
    else if (fault == "restoreExits1")
        pmset.restoreExit = 1;
    else
        QCOMPARE(fault, QStringLiteral("none"));
}

} // namespace

class ControllerTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();

    struct Rig {
        std::unique_ptr<AppStateStore> store;
        std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(100);
        ScriptedPmset pmset;
        std::unique_ptr<ClamshellKeepRunningController> controller;
    };

    std::unique_ptr<Rig> makeRig(const ClamshellState &clamshell, const AuthorizationState &authorization,
                                 const PowerContext &power)
    {
        auto rig = std::make_unique<Rig>();
        rig->store = std::make_unique<AppStateStore>(power, clock);
        VemoState state = rig->store->state();
        state.clamshell = clamshell;
        state.authorization = authorization;
        rig->store->setState(state);
        rig->controller =
            std::make_unique<ClamshellKeepRunningController>(rig->store.get(), rig->pmset.runner(), rig->journal);
        return rig;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        isolateUserFolders(home);
    }

    void applyOverride_data()
    {
        QTest::addColumn<ClamshellState>("initial");
        QTest::addColumn<AuthorizationState>("authorization");
        QTest::addColumn<PowerContext>("power");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<ClamshellState>("expected");
        QTest::addColumn<std::optional<VemoError>>("lastError");
        QTest::addColumn<QStringList>("trace");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<Kinds>("events");

        const ClamshellState starting = Clamshell::Starting{};
        const AuthorizationState granted = Authorization::Granted{};
        const std::optional<VemoError> none;
        const QStringList proven{"apply", "read"};
        const QStringList rolledBack{"apply", "read", "restore", "read"};
        const QString restored = "[INFO] [clamshell] clamshell override restored (disablesleep=0), readback=0";

        QTest::newRow("battery 64") << starting << granted << batteryPower(64) << "none"
                                    << ClamshellState(Clamshell::RunningOnBattery{64}) << none << proven
                                    << QStringList{"[INFO] [clamshell] clamshell override applied, sleepDisabled=1, "
                                                   "onAdapter=false, battery=64"}
                                    << Kinds{"clamshellStarted"};
        QTest::newRow("adapter, level unknown") << starting << granted << adapterPower() << "none"
                                                << ClamshellState(Clamshell::RunningOnPowerAdapter{}) << none << proven
                                                << QStringList{"[INFO] [clamshell] clamshell override applied, "
                                                               "sleepDisabled=1, onAdapter=true, battery=nil"}
                                                << Kinds{"clamshellStarted"};
        QTest::newRow("battery, level unknown: unsuitable, nothing runs")
            << starting << granted << batteryPower(std::nullopt) << "none"
            << ClamshellState(Clamshell::Failed{VemoError::clamshellPowerUnsuitable})
            << std::optional(VemoError::clamshellPowerUnsuitable) << QStringList{} << QStringList{} << Kinds{};
        QTest::newRow("unknown source: unsuitable")
            << starting << granted << unknownPower() << "none"
            << ClamshellState(Clamshell::Failed{VemoError::clamshellPowerUnsuitable})
            << std::optional(VemoError::clamshellPowerUnsuitable) << QStringList{} << QStringList{} << Kinds{};
        QTest::newRow("authorization still required: left starting")
            << starting << AuthorizationState(Authorization::Required{}) << adapterPower() << "none" << starting << none
            << QStringList{} << QStringList{} << Kinds{};
        QTest::newRow("not starting: no effect")
            << ClamshellState(Clamshell::Off{}) << granted << adapterPower() << "none"
            << ClamshellState(Clamshell::Off{}) << none << QStringList{} << QStringList{} << Kinds{};
        QTest::newRow("apply exits 1 though read-back shows 1")
            << starting << granted << adapterPower() << "applyExits1"
            << ClamshellState(Clamshell::Failed{VemoError::systemCommandFailed})
            << std::optional(VemoError::systemCommandFailed) << rolledBack
            << QStringList{"[ERROR] [clamshell] clamshell override apply failed, verdict=setFailed", restored}
            << Kinds{};
        QTest::newRow("apply exits 0 but nothing changed")
            << starting << granted << batteryPower(80) << "applyNoEffect"
            << ClamshellState(Clamshell::Failed{VemoError::readbackMismatch})
            << std::optional(VemoError::readbackMismatch) << rolledBack
            << QStringList{"[ERROR] [clamshell] clamshell override apply failed, verdict=readbackMismatch", restored}
            << Kinds{};
        QTest::newRow("unreadable report: mismatch, restore unproven")
            << starting << granted << adapterPower() << "unreadable"
            << ClamshellState(Clamshell::Failed{VemoError::clamshellRestoreFailed})
            << std::optional(VemoError::clamshellRestoreFailed) << rolledBack
            << QStringList{"[ERROR] [clamshell] clamshell override apply failed, verdict=readbackMismatch",
                           "[ERROR] [clamshell] clamshell override restore failed, readback=nil"}
            << Kinds{};
        // Without the rule sudo refuses both switches, so the roll-back is unproven too.
        QTest::newRow("sudo refuses")
            << starting << granted << adapterPower() << "sudoRefused"
            << ClamshellState(Clamshell::Failed{VemoError::clamshellRestoreFailed})
            << std::optional(VemoError::clamshellRestoreFailed) << rolledBack
            << QStringList{"[ERROR] [clamshell] clamshell override apply failed, verdict=setFailed",
                           "[ERROR] [clamshell] clamshell override restore failed, readback=0"}
            << Kinds{};
    }
    void applyOverride()
    {
        QFETCH(ClamshellState, initial);
        QFETCH(AuthorizationState, authorization);
        QFETCH(PowerContext, power);
        QFETCH(QString, fault);
        QFETCH(ClamshellState, expected);
        QFETCH(std::optional<VemoError>, lastError);
        QFETCH(QStringList, trace);
        QFETCH(QStringList, log);
        QFETCH(Kinds, events);

        LogCapture capture;
        auto rig = makeRig(initial, authorization, power);
        applyFault(rig->pmset, fault);
        rig->controller->applyOverride();

        QCOMPARE(rig->store->state().clamshell, expected);
        QCOMPARE(rig->store->state().lastError, lastError);
        QCOMPARE(rig->pmset.trace(), trace);
        QCOMPARE(capture.lines(), log);
        QCOMPARE(kindsOf(*rig->journal), events);
    }

    // Every way out: the user's stop, the quit stop and the safety stop, proven or not.
    void stops_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<ClamshellState>("initial");
        QTest::addColumn<PowerContext>("power");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<ClamshellState>("expected");
        QTest::addColumn<std::optional<VemoError>>("lastError");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("trace");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QVariantList>("reasons");

        const std::optional<VemoError> none;
        const auto restoreFailed = std::optional(VemoError::clamshellRestoreFailed);
        const QStringList both{"restore", "read"};
        const QString ok = "[INFO] [clamshell] clamshell override restored (disablesleep=0), readback=0";
        const QString stillOne = "[ERROR] [clamshell] clamshell override restore failed, readback=1";
        const ClamshellState stopping = Clamshell::Stopping{};
        const ClamshellState onBattery = Clamshell::RunningOnBattery{50};
        const auto reason = [](ClamshellStopReason r) { return QVariantList{int(r)}; };

        QTest::newRow("stop restored") << "stop" << stopping << adapterPower() << "none"
                                       << ClamshellState(Clamshell::Off{}) << none << true << both << ok
                                       << reason(ClamshellStopReason::manual);
        QTest::newRow("stop while running (not stopping): no effect")
            << "stop" << onBattery << batteryPower(50) << "none" << onBattery << none << true << QStringList{}
            << QString() << QVariantList{};
        QTest::newRow("stop unproven on battery: back to running")
            << "stop" << stopping << batteryPower(47) << "restoreNoEffect"
            << ClamshellState(Clamshell::RunningOnBattery{47}) << restoreFailed << true << both << stillOne
            << reason(ClamshellStopReason::failed);
        QTest::newRow("stop unproven, source unknown: stays stopping")
            << "stop" << stopping << unknownPower() << "restoreNoEffect" << stopping << restoreFailed << true << both
            << stillOne << reason(ClamshellStopReason::failed);
        QTest::newRow("stop: restore exit 1 though read-back 0")
            << "stop" << stopping << adapterPower() << "restoreExits1"
            << ClamshellState(Clamshell::RunningOnPowerAdapter{}) << restoreFailed << true << both
            << "[ERROR] [clamshell] clamshell override restore failed, readback=0"
            << reason(ClamshellStopReason::failed);

        QTest::newRow("quit, running on adapter")
            << "quit" << ClamshellState(Clamshell::RunningOnPowerAdapter{}) << adapterPower() << "none"
            << ClamshellState(Clamshell::Off{}) << none << true << both << ok << reason(ClamshellStopReason::quit);
        QTest::newRow("quit unproven") << "quit" << onBattery << batteryPower(50) << "restoreNoEffect" << onBattery
                                       << restoreFailed << false << both << stillOne
                                       << reason(ClamshellStopReason::failed);
        for (const auto &[name, state] :
             {std::pair{"quit while off", ClamshellState(Clamshell::Off{})},
              std::pair{"quit while failed", ClamshellState(Clamshell::Failed{VemoError::readbackMismatch})},
              std::pair{"quit while safety-stopped", ClamshellState(Clamshell::SafetyStopped{20})},
              std::pair{"quit while stopping", stopping}}) {
            QTest::newRow(name) << "quit" << state << adapterPower() << "none" << state << none << true << QStringList{}
                                << QString() << QVariantList{};
        }

        QTest::newRow("safety stop from the warning band")
            << "safety" << ClamshellState(Clamshell::LowBatteryWarning{22}) << batteryPower(20) << "none"
            << ClamshellState(Clamshell::SafetyStopped{20}) << none << true << both << ok
            << reason(ClamshellStopReason::safety);
        QTest::newRow("safety stop unproven: keeps running")
            << "safety" << ClamshellState(Clamshell::LowBatteryWarning{22}) << batteryPower(20) << "restoreNoEffect"
            << ClamshellState(Clamshell::LowBatteryWarning{22}) << restoreFailed << true << both << stillOne
            << reason(ClamshellStopReason::failed);
        QTest::newRow("safety stop while off")
            << "safety" << ClamshellState(Clamshell::Off{}) << batteryPower(10) << "none"
            << ClamshellState(Clamshell::Off{}) << none << true << QStringList{} << QString() << QVariantList{};
    }
    void stops()
    {
        QFETCH(QString, operation);
        QFETCH(ClamshellState, initial);
        QFETCH(PowerContext, power);
        QFETCH(QString, fault);
        QFETCH(ClamshellState, expected);
        QFETCH(std::optional<VemoError>, lastError);
        QFETCH(bool, result);
        QFETCH(QStringList, trace);
        QFETCH(QString, log);
        QFETCH(QVariantList, reasons);

        LogCapture capture;
        auto rig = makeRig(initial, Authorization::Granted{}, power);
        rig->pmset.sleepDisabled = 1;
        applyFault(rig->pmset, fault);
        bool returned = true;
        if (operation == "stop")
            rig->controller->stop();
        else if (operation == "quit")
            returned = rig->controller->stopForQuit();
        else
            rig->controller->safetyStop(20);

        const VemoState &state = rig->store->state();
        QCOMPARE(state.clamshell, expected);
        QCOMPARE(state.lastError, lastError);
        QCOMPARE(returned, result);
        QCOMPARE(rig->pmset.trace(), trace);
        QCOMPARE(capture.lines(), log.isEmpty() ? QStringList{} : QStringList{log});
        QVariantList recorded;
        for (const VemoEvent &event : rig->journal->events()) {
            const auto *stopped = std::get_if<EventKind::ClamshellStopped>(&event.kind);
            QVERIFY2(stopped, qPrintable(caseName(event.kind)));
            QVERIFY(!event.evidence);
            recorded << int(stopped->reason);
        }
        QCOMPARE(recorded, reasons);

        const bool safetyStopped = operation == "safety" && is<Clamshell::SafetyStopped>(state.clamshell);
        QCOMPARE(state.lastSafetyEvent.has_value(), safetyStopped);
        QCOMPARE(state.lastSafetyStopAt.has_value(), safetyStopped);
        if (safetyStopped) {
            QCOMPARE(state.lastSafetyEvent, std::optional<SafetyEvent>(Safety::SafetyStop{20}));
            QCOMPARE(*state.lastSafetyStopAt, clock->now());
        }
    }

    void restoreOverrideChangesNoState_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("restored");
        QTest::newRow("proven") << "none" << true;
        QTest::newRow("read-back still 1") << "restoreNoEffect" << false;
        QTest::newRow("report unreadable") << "unreadable" << false;
    }
    void restoreOverrideChangesNoState()
    {
        QFETCH(QString, fault);
        QFETCH(bool, restored);
        auto rig = makeRig(Clamshell::RunningOnPowerAdapter{}, Authorization::Granted{}, adapterPower());
        rig->pmset.sleepDisabled = 1;
        applyFault(rig->pmset, fault);
        const VemoState before = rig->store->state();
        QCOMPARE(rig->controller->restoreOverride(), restored);
        QCOMPARE(rig->store->state(), before);
        QCOMPARE(rig->journal->totalCount(), 0);
    }

    void updatePowerSource_data()
    {
        QTest::addColumn<ClamshellState>("initial");
        QTest::addColumn<PowerContext>("power");
        QTest::addColumn<ClamshellState>("expected");
        const ClamshellState onBattery = Clamshell::RunningOnBattery{50};
        const ClamshellState onAdapter = Clamshell::RunningOnPowerAdapter{};
        QTest::newRow("battery -> adapter") << onBattery << adapterPower(51) << onAdapter;
        QTest::newRow("adapter -> battery")
            << onAdapter << batteryPower(49) << ClamshellState(Clamshell::RunningOnBattery{49});
        QTest::newRow("warning -> battery") << ClamshellState(Clamshell::LowBatteryWarning{22}) << batteryPower(23)
                                            << ClamshellState(Clamshell::RunningOnBattery{23});
        QTest::newRow("battery without level ignored") << onAdapter << batteryPower(std::nullopt) << onAdapter;
        QTest::newRow("unknown source ignored") << onBattery << unknownPower() << onBattery;
        QTest::newRow("not running: ignored")
            << ClamshellState(Clamshell::Stopping{}) << batteryPower(40) << ClamshellState(Clamshell::Stopping{});
    }
    void updatePowerSource()
    {
        QFETCH(ClamshellState, initial);
        QFETCH(PowerContext, power);
        QFETCH(ClamshellState, expected);
        LogCapture capture;
        auto rig = makeRig(initial, Authorization::Granted{}, adapterPower());
        rig->controller->updatePowerSource(power);
        QCOMPARE(rig->store->state().clamshell, expected);
        QVERIFY(rig->pmset.calls.isEmpty());
        QCOMPARE(capture.lines(), QStringList{});
        QCOMPARE(rig->journal->totalCount(), 0);
    }

    // The controller holds the store weakly: once it is gone every call is harmless and
    // runs nothing.
    void storeGoneRunsNothing()
    {
        auto rig = makeRig(Clamshell::RunningOnBattery{50}, Authorization::Granted{}, batteryPower(50));
        rig->store.reset();
        rig->controller->applyOverride();
        rig->controller->stop();
        rig->controller->safetyStop(10);
        rig->controller->updatePowerSource(adapterPower());
        QVERIFY(rig->controller->stopForQuit());
        QVERIFY(rig->pmset.calls.isEmpty());
        QCOMPARE(rig->journal->totalCount(), 0);
    }
};

QTEST_GUILESS_MAIN(ControllerTest)
#include "tst_controller.moc"
