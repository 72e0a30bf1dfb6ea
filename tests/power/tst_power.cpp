#include "power/BatterySafetyCoordinator.h"
#include "power/PowerContextReader.h"
#include "power/PowerMonitor.h"
#include "support/LogCapture.h"

#include <QTest>

using namespace quorvel;

Q_DECLARE_METATYPE(PowerContext)

namespace {

QVariantMap source(QVariant state, QVariant current = {}, QVariant max = {})
{
    QVariantMap m{
        {PowerSourceKey::state, state}, {PowerSourceKey::currentCapacity, current}, {PowerSourceKey::maxCapacity, max}};
    m.removeIf([](auto entry) { return !entry.value().isValid(); });
    return m;
}

PowerContext power(PowerSource source, std::optional<qint64> level = std::nullopt)
{
    return PowerContext{source, level, false, std::nullopt, QDateTime::currentDateTimeUtc()};
}

// Counts installations and keeps the last notify function, so a test can fire it late.
struct FakeSource {
    int installs = 0;
    bool fail = false;
    std::function<void()> notify;
    PowerChangeSource seam()
    {
        return [this](std::function<void()> n) -> std::unique_ptr<PowerChangeSubscription> {
            ++installs;
            notify = std::move(n);
            return fail ? nullptr : std::make_unique<PowerChangeSubscription>();
        };
    }
};

// The controller at this seam: follows the power source; its restore always fails.
struct FailingClamshell final : ClamshellPowerControl {
    AppStateStore store{PowerContext{}};
    void updatePowerSource(const PowerContext &p) override { store.setClamshellRunning(p); }
    void safetyStop(qint64) override {}
};

} // namespace

class PowerTest : public QObject {
    Q_OBJECT

private slots:
    void readsSources_data()
    {
        QTest::addColumn<QVariantList>("sources");
        QTest::addColumn<PowerContext>("expected");
        const QString ac = "AC Power", bat = "Battery Power";
        const std::optional<qint64> none;
        auto row = [](const char *name, QVariantList s, PowerSource p, std::optional<qint64> level) {
            QTest::newRow(name) << s << PowerContext{p, level, true, {}, {}};
        };
        row("undescribed sources skipped", {QVariant(), "text", source(bat, 45, 100)}, PowerSource::battery, 45);
        row("state alone ends the search", {source(ac), source(bat, 45, 100)}, PowerSource::powerAdapter, none);
        row("capacities without state", {source({}, 45, 100)}, PowerSource::unknown, 45);
        row("plugged-in battery", {source(ac, 8000, 10000)}, PowerSource::powerAdapter, 80);
        row("1 of 3", {source(bat, 1, 3)}, PowerSource::battery, 33);
        row("2 of 3", {source(bat, 2, 3)}, PowerSource::battery, 67);
        row("half away from zero", {source(bat, 1, 8)}, PowerSource::battery, 13);
        row("above max", {source(bat, 150, 100)}, PowerSource::battery, 100);
        row("negative current", {source(bat, -5, 100)}, PowerSource::battery, 0);
        row("max 0 with state", {source(bat, 5, 0), source(ac, 1, 2)}, PowerSource::battery, none);
        row("max 0 without state", {source({}, 5, 0), source(ac, 1, 2)}, PowerSource::powerAdapter, 50);
        row("number objects", {source(bat, 45.9, 100.0)}, PowerSource::battery, 45);
        row("text capacities", {source(bat, "45", 100)}, PowerSource::battery, none);
        row("exact state text", {source("ac power"), source({}, 5), source(bat)}, PowerSource::battery, none);
    }
    void readsSources()
    {
        QFETCH(QVariantList, sources);
        QFETCH(PowerContext, expected);
        expected.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(readPowerContext(sources, true, expected.updatedAt) == expected);
    }

    // A level outside 0...100 reads as unknown, in the store and to the listener.
    void levelOutsideAPercentIsUnknown()
    {
        for (const auto &[level, kept] : std::initializer_list<std::pair<qint64, bool>>{
                 {-1, false}, {0, true}, {100, true}, {101, false}, {150, false}}) {
            AppStateStore store(PowerContext{});
            PowerMonitor monitor(&store, [level] { return power(PowerSource::battery, level); }, {}, {});
            std::optional<qint64> heard = -5;
            monitor.setOnChange([&](const PowerContext &p) { heard = p.batteryLevel; });
            monitor.refresh();
            const auto expected = kept ? std::optional(level) : std::nullopt;
            QVERIFY2(store.state().power.batteryLevel == expected && heard == expected,
                     qPrintable(QString::number(level)));
        }
    }

    void monitorStartsOnceAndStopsDead()
    {
        int reads = 0;
        FakeSource sources, lowPower;
        AppStateStore store(PowerContext{});
        auto monitor = std::make_unique<PowerMonitor>(
            &store, [&] { return power(PowerSource::battery, 40 + ++reads); }, sources.seam(), lowPower.seam());
        int heard = 0;
        monitor->setOnChange([&](const PowerContext &) { ++heard; });
        monitor->start();
        monitor->start();
        QCOMPARE(sources.installs + lowPower.installs, 2);
        sources.notify();
        lowPower.notify();
        sources.notify();
        QCOMPARE(reads, 0); // never read inside the platform's callback
        QCoreApplication::sendPostedEvents();
        QCOMPARE(reads + heard, 6); // one refresh per notification, none coalesced
        QCOMPARE(store.state().power.batteryLevel, std::optional<qint64>(43));

        sources.notify(); // queued before stop, delivered after it
        QVERIFY(monitor->stop());
        const auto stale = lowPower.notify;
        stale();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(reads + heard, 6);

        // A restart installs anew (so stop dropped both); without a platform source the
        // low-power half still works.
        sources.fail = true;
        monitor->start();
        QCOMPARE(sources.installs + lowPower.installs, 4);
        stale();
        lowPower.notify();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(reads, 4);
        const auto orphaned = lowPower.notify;
        monitor.reset();
        orphaned();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(reads, 4);
    }

    void threshold_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<qint64>("expected");
        const std::initializer_list<std::tuple<const char *, QVariant, qint64>> rows = {
            {"missing", {}, 20}, {"3", 3, 5},           {"75", 75, 60},       {"INI text 35", "35", 35},
            {"word", "abc", 20}, {"fraction", 3.5, 20}, {"boolean", true, 20}};
        for (const auto &[name, stored, expected] : rows)
            QTest::newRow(name) << stored << expected;
    }
    void threshold()
    {
        QFETCH(QVariant, stored);
        auto defaults = std::make_shared<MemoryUserDefaults>();
        AppStateStore store(PowerContext{});
        BatterySafetyCoordinator coordinator(&store, {}, nullptr, defaults);
        coordinator.installAsThresholdReader();
        if (stored.isValid()) // after installing: the store must not cache it
            defaults->setValue(BatterySafetyCoordinator::thresholdKey, stored);
        QTEST(store.threshold(), "expected");
        QTEST(coordinator.autoExitThreshold(), "expected");
    }

    // Default threshold 20. Missing data and a failed restore tell nothing; leaving the warning
    // band is told with a log line on battery and without one on the adapter.
    void safetyTellsOnlyWhatHappened()
    {
        test::LogCapture log;
        auto clamshell = std::make_shared<FailingClamshell>();
        auto journal = std::make_shared<InMemoryEventJournal>(10);
        clamshell->store.setClamshellRunning(power(PowerSource::battery, 40));
        BatterySafetyCoordinator coordinator(&clamshell->store, clamshell, journal,
                                             std::make_shared<MemoryUserDefaults>());
        coordinator.installAsThresholdReader();
        const PowerSource bat = PowerSource::battery;
        for (const PowerContext &p : {power(bat, 22), power(PowerSource::unknown), power(bat), power(bat, 20),
                                      power(bat, 30), power(bat, 23), power(PowerSource::powerAdapter, 80)})
            coordinator.evaluate(p);
        QCOMPARE(log.messages(), (QStringList{"low battery warning entered, level=22", "low battery warning cleared",
                                              "low battery warning entered, level=23"}));
        using namespace EventKind;
        const QList<VemoEventKind> told{LowBatteryWarningEntered{22}, LowBatteryWarningCleared{},
                                        LowBatteryWarningEntered{23}, LowBatteryWarningCleared{}};
        QCOMPARE(journal->events().size(), told.size());
        for (qsizetype i = 0; i < told.size(); ++i)
            QVERIFY(journal->events()[i].kind == told[i]);
        QVERIFY(is<Clamshell::RunningOnPowerAdapter>(clamshell->store.state().clamshell));
    }
};

QTEST_GUILESS_MAIN(PowerTest)
#include "tst_power.moc"
