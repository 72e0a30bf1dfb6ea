#include "state/AppStateStore.h"
#include "support/FakeClock.h"
#include "support/Printers.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorvel;

class StoreTest : public QObject {
    Q_OBJECT

    static PowerContext battery(std::optional<qint64> level)
    {
        return PowerContext{PowerSource::battery, level, false, std::nullopt, QDateTime()};
    }

private slots:
    void freshStoreStartsIdle()
    {
        PowerContext power = battery(80);
        AppStateStore store(power);
        const VemoState &s = store.state();
        QVERIFY(is<TimedSession::Off>(s.timedSession));
        QVERIFY(is<DisplayAwake::Off>(s.displayAwake));
        QVERIFY(is<Clamshell::Off>(s.clamshell));
        QVERIFY(is<Authorization::Unknown>(s.authorization));
        QCOMPARE(s.power, power);
        QVERIFY(!s.lastSafetyEvent && !s.lastSafetyStopAt && !s.lastError);
        QVERIFY(!s.startupResidual);
    }

    void wholeStateAssignmentNotifiesOnlyOnChange()
    {
        AppStateStore store(battery(50));
        QSignalSpy spy(&store, &AppStateStore::changed);
        store.setState(store.state());
        QCOMPARE(spy.count(), 0);
        VemoState copy = store.state();
        copy.startupResidual = true;
        store.setState(copy);
        QCOMPARE(spy.count(), 1);
        store.setState(copy);
        QCOMPARE(spy.count(), 1);
    }

    void fieldOperationsNotifyOncePerFieldWritten()
    {
        AppStateStore store(battery(50));
        QSignalSpy spy(&store, &AppStateStore::changed);
        store.setPower(battery(50));
        QCOMPARE(spy.count(), 1);
        store.setTimedRunning(-3);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(store.state().timedSession, TimedSessionState(TimedSession::Running{0}));
        store.setSafetyStopped(9);
        QCOMPARE(spy.count(), 7);
    }

    void lastErrorRules()
    {
        AppStateStore store(battery(50));
        auto err = [&] { return store.state().lastError; };

        store.setTimedFailed(VemoError::processLaunchFailed);
        QCOMPARE(err(), std::optional<VemoError>(VemoError::processLaunchFailed));
        store.setPower(battery(40)); // power leaves the error alone
        QCOMPARE(err(), std::optional<VemoError>(VemoError::processLaunchFailed));
        store.setTimedRunning(10);
        QCOMPARE(err(), std::optional<VemoError>());

        store.setDisplayAwakeFailed(VemoError::processExitedUnexpectedly);
        QCOMPARE(err(), std::optional<VemoError>(VemoError::processExitedUnexpectedly));
        store.setDisplayAwake(DisplayAwake::On{});
        QCOMPARE(err(), std::optional<VemoError>());

        store.setAuthorization(Authorization::Failed{VemoError::authorizationInstallFailed});
        QCOMPARE(err(), std::optional<VemoError>(VemoError::authorizationInstallFailed));
        store.setAuthorization(Authorization::Granted{});
        QCOMPARE(err(), std::optional<VemoError>());
        store.setAuthorizationGranted(VemoError::clamshellRestoreFailed);
        QVERIFY(is<Authorization::Granted>(store.state().authorization));
        QCOMPARE(err(), std::optional<VemoError>(VemoError::clamshellRestoreFailed));

        store.setClamshellFailed(VemoError::readbackMismatch);
        QCOMPARE(err(), std::optional<VemoError>(VemoError::readbackMismatch));
        store.setClamshellOff();
        QCOMPARE(err(), std::optional<VemoError>());

        store.setStartupResidual(true, VemoError::clamshellRestoreFailed);
        QVERIFY(store.state().startupResidual);
        QCOMPARE(err(), std::optional<VemoError>(VemoError::clamshellRestoreFailed));
        store.setStartupResidual(false, std::nullopt);
        QCOMPARE(err(), std::optional<VemoError>());
    }

    void clamshellRunningFollowsPowerSource()
    {
        AppStateStore store(battery(50));
        store.setClamshellRunning(battery(std::nullopt));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{100}));
        store.setClamshellRunning(PowerContext{PowerSource::powerAdapter, std::nullopt, {}, {}, {}});
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));

        store.setTimedFailed(VemoError::processLaunchFailed);
        store.setClamshellRunning(PowerContext{});
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(store.state().lastError, std::optional<VemoError>());

        // A failed restore keeps a running mode as it is, and takes the snapshot otherwise.
        store.keepClamshellRunning(VemoError::clamshellRestoreFailed, battery(30));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(store.state().lastError, std::optional<VemoError>(VemoError::clamshellRestoreFailed));
        store.setClamshellOff();
        store.keepClamshellRunning(VemoError::clamshellRestoreFailed, battery(30));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{30}));
    }

    void batteryBands_data()
    {
        QTest::addColumn<qint64>("threshold");
        QTest::addColumn<qint64>("level");
        QTest::addColumn<ClamshellState>("expected");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("at threshold") << qint64(20) << qint64(20) << ClamshellState(Clamshell::SafetyStopped{20})
                                      << true;
        QTest::newRow("below threshold") << qint64(20) << qint64(3) << ClamshellState(Clamshell::SafetyStopped{3})
                                         << true;
        QTest::newRow("top of band") << qint64(20) << qint64(25) << ClamshellState(Clamshell::LowBatteryWarning{25})
                                     << false;
        QTest::newRow("just above band") << qint64(20) << qint64(26) << ClamshellState(Clamshell::RunningOnBattery{26})
                                         << false;
        QTest::newRow("other threshold") << qint64(40) << qint64(45) << ClamshellState(Clamshell::LowBatteryWarning{45})
                                         << false;
    }

    void batteryBands()
    {
        QFETCH(qint64, threshold);
        QFETCH(qint64, level);
        QFETCH(ClamshellState, expected);
        QFETCH(bool, stopped);
        auto clock = std::make_shared<test::FakeClock>();
        AppStateStore store(battery(80), clock);
        store.setThresholdReader([threshold] { return threshold; });
        store.setClamshellRunning(battery(80));
        store.applyBatteryLevel(level);
        QCOMPARE(store.state().clamshell, expected);
        QCOMPARE(store.state().lastSafetyStopAt.has_value(), stopped);
        if (stopped) {
            QCOMPARE(*store.state().lastSafetyStopAt, clock->now());
            QCOMPARE(store.state().lastSafetyEvent, std::optional<SafetyEvent>(Safety::SafetyStop{level}));
        }
    }

    void bandEdgesKeepHistoryAndStopOnce()
    {
        auto clock = std::make_shared<test::FakeClock>();
        AppStateStore store(battery(80), clock);
        store.setClamshellRunning(battery(80));
        store.applyBatteryLevel(25);
        store.applyBatteryLevel(26); // leaving the band keeps the last safety event
        QCOMPARE(store.state().lastSafetyEvent, std::optional<SafetyEvent>(Safety::LowBatteryWarning{25}));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{26}));

        store.applyBatteryLevel(20);
        const QDateTime firstStop = clock->now();
        clock->advance(60'000);
        QSignalSpy spy(&store, &AppStateStore::changed);
        store.applyBatteryLevel(10);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(*store.state().lastSafetyStopAt, firstStop);
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::SafetyStopped{20}));
    }

    void batteryLevelIgnoredUnlessOnBattery()
    {
        AppStateStore store(battery(80));
        QSignalSpy spy(&store, &AppStateStore::changed);
        store.applyBatteryLevel(5); // off
        store.setClamshellRunning(PowerContext{PowerSource::powerAdapter, {}, {}, {}, {}});
        spy.clear();
        store.applyBatteryLevel(5);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QVERIFY(!store.state().lastSafetyStopAt);
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"
