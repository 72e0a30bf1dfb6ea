#include "state/AppStateStore.h"
#include "support/FakeClock.h"
#include "support/Printers.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorvel;

namespace {

PowerContext battery(std::optional<qint64> level)
{
    return PowerContext{PowerSource::battery, level, false, std::nullopt, QDateTime()};
}
const PowerContext adapter{PowerSource::powerAdapter, {}, {}, {}, {}};
// The last safety event as a table column (an optional of a variant has no usable ordering).
struct Told {
    std::optional<SafetyEvent> event;
};

} // namespace

class StoreTest : public QObject {
    Q_OBJECT

private slots:
    // A fresh store is idle; one change signal per field written, none for an equal whole state.
    void notifications()
    {
        AppStateStore store(battery(50));
        VemoState fresh;
        fresh.power = battery(50);
        QVERIFY(store.state() == fresh);
        QSignalSpy spy(&store, &AppStateStore::changed);
        store.setState(store.state());
        QCOMPARE(spy.count(), 0);
        fresh.startupResidual = true;
        store.setState(fresh);
        store.setState(fresh);
        QCOMPARE(spy.count(), 1);
        store.setPower(battery(50));
        QCOMPARE(spy.count(), 2);
        store.setTimedRunning(-3);
        QCOMPARE(spy.count(), 4);
        QCOMPARE(store.state().timedSession, TimedSessionState(TimedSession::Running{0}));
        store.setSafetyStopped(9);
        QCOMPARE(spy.count(), 8);
    }

    // Each step and the last error it leaves.
    void lastErrorRules()
    {
        AppStateStore store(battery(50));
        const std::optional<VemoError> none;
        using E = VemoError;
        const QList<std::pair<std::function<void()>, std::optional<VemoError>>> walk = {
            {[&] { store.setTimedFailed(E::processLaunchFailed); }, E::processLaunchFailed},
            {[&] { store.setPower(battery(40)); }, E::processLaunchFailed}, // power leaves it alone
            {[&] { store.setTimedRunning(10); }, none},
            {[&] { store.setDisplayAwakeFailed(E::processExitedUnexpectedly); }, E::processExitedUnexpectedly},
            {[&] { store.setDisplayAwake(DisplayAwake::On{}); }, none},
            {[&] { store.setAuthorization(Authorization::Failed{E::authorizationInstallFailed}); },
             E::authorizationInstallFailed},
            {[&] { store.setAuthorization(Authorization::Granted{}); }, none},
            {[&] { store.setAuthorizationGranted(E::clamshellRestoreFailed); }, E::clamshellRestoreFailed},
            {[&] { store.setClamshellFailed(E::readbackMismatch); }, E::readbackMismatch},
            {[&] { store.setClamshellOff(); }, none},
            {[&] { store.setStartupResidual(true, E::clamshellRestoreFailed); }, E::clamshellRestoreFailed},
            {[&] { store.setStartupResidual(false, std::nullopt); }, none},
            {[&] { store.setTimedFailed(E::processLaunchFailed), store.setClamshellRunning(PowerContext{}); }, none},
        };
        for (qsizetype i = 0; i < walk.size(); ++i) {
            walk[i].first();
            QVERIFY2(store.state().lastError == walk[i].second, qPrintable(QString("step %1").arg(i)));
        }
        QVERIFY(is<Authorization::Granted>(store.state().authorization));
    }

    void clamshellRunningFollowsPowerSource()
    {
        AppStateStore store(battery(50));
        store.setClamshellRunning(battery(std::nullopt));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{100}));
        store.setClamshellRunning(adapter);
        store.setClamshellRunning(PowerContext{}); // an unknown source leaves it as it is
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        // A failed restore keeps a running mode as it is, and takes the snapshot otherwise.
        store.keepClamshellRunning(VemoError::clamshellRestoreFailed, battery(30));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(store.state().lastError, std::optional<VemoError>(VemoError::clamshellRestoreFailed));
        store.setClamshellOff();
        store.keepClamshellRunning(VemoError::clamshellRestoreFailed, battery(30));
        QCOMPARE(store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{30}));
    }

    // Levels applied a minute apart to a mode running on `lid`; a safety stop happens once.
    void batteryBands_data()
    {
        QTest::addColumn<qint64>("threshold");
        QTest::addColumn<QString>("lid");
        QTest::addColumn<QList<qint64>>("levels");
        QTest::addColumn<ClamshellState>("expected");
        QTest::addColumn<Told>("told");
        QTest::addColumn<int>("stoppedAt");    // which level stopped it; -1: none
        QTest::addColumn<bool>("lastIgnored"); // the last level changed nothing
        using namespace Clamshell;
        using Safety::LowBatteryWarning, Safety::SafetyStop;
        const auto row = [](const char *name, qint64 threshold, const char *lid, QList<qint64> levels,
                            ClamshellState expected, std::optional<SafetyEvent> event, int stoppedAt = -1,
                            bool lastIgnored = false) {
            QTest::newRow(name) << threshold << QString(lid) << levels << expected << Told{event} << stoppedAt
                                << lastIgnored;
        };
        row("at threshold", 20, "battery", {20}, SafetyStopped{20}, SafetyStop{20}, 0);
        row("below threshold", 20, "battery", {3}, SafetyStopped{3}, SafetyStop{3}, 0);
        row("top of band", 20, "battery", {25}, Clamshell::LowBatteryWarning{25}, LowBatteryWarning{25});
        row("just above band", 20, "battery", {26}, RunningOnBattery{26}, std::nullopt);
        row("other threshold", 40, "battery", {45}, Clamshell::LowBatteryWarning{45}, LowBatteryWarning{45});
        row("leaving the band keeps the event", 20, "battery", {25, 26}, RunningOnBattery{26}, LowBatteryWarning{25});
        row("stops once", 20, "battery", {25, 26, 20, 10}, SafetyStopped{20}, SafetyStop{20}, 2, true);
        row("on the adapter", 20, "adapter", {5}, RunningOnPowerAdapter{}, std::nullopt, -1, true);
        row("off", 20, "off", {5}, Off{}, std::nullopt, -1, true);
    }
    void batteryBands()
    {
        QFETCH(qint64, threshold);
        QFETCH(QString, lid);
        QFETCH(QList<qint64>, levels);
        QFETCH(int, stoppedAt);
        auto clock = std::make_shared<test::FakeClock>();
        const QDateTime start = clock->now();
        AppStateStore store(battery(80), clock);
        store.setThresholdReader([threshold] { return threshold; });
        if (lid != "off")
            store.setClamshellRunning(lid == "battery" ? battery(80) : adapter);
        QSignalSpy spy(&store, &AppStateStore::changed);
        for (qint64 level : levels) {
            spy.clear();
            store.applyBatteryLevel(level);
            clock->advance(60'000);
        }
        QTEST(store.state().clamshell, "expected");
        QFETCH(Told, told);
        QCOMPARE(store.state().lastSafetyEvent, told.event);
        QCOMPARE(store.state().lastSafetyStopAt,
                 stoppedAt < 0 ? std::optional<QDateTime>() : std::optional(start.addMSecs(stoppedAt * 60'000)));
        QTEST(spy.isEmpty(), "lastIgnored");
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"
