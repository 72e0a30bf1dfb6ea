#include "power/BatterySafetyCoordinator.h"
#include "records/EventJournal.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

Q_DECLARE_METATYPE(ClamshellState)
Q_DECLARE_METATYPE(PowerContext)

namespace {

// Behaves as the closed-lid controller does at this seam: follows the power source while
// running, and on a safety stop either proves the restore (safetyStopped + reason safety) or
// keeps the mode running (reason failed).
class FakeClamshell final : public ClamshellPowerControl {
public:
    FakeClamshell(AppStateStore *store, std::shared_ptr<EventJournal> journal)
        : store(store)
        , journal(journal)
    {
    }

    void updatePowerSource(const PowerContext &power) override
    {
        calls << QStringLiteral("update");
        if (!isClamshellRunning(store->state().clamshell) || power.powerSource == PowerSource::unknown
            || (power.powerSource == PowerSource::battery && !power.batteryLevel))
            return;
        store->setClamshellRunning(power);
    }

    void safetyStop(qint64 level) override
    {
        calls << QStringLiteral("safetyStop(%1)").arg(level);
        if (!isClamshellRunning(store->state().clamshell))
            return;
        if (restoreSucceeds) {
            store->setSafetyStopped(level);
            journal->append(VemoEvent::make(EventKind::ClamshellStopped{ClamshellStopReason::safety}));
        } else {
            store->keepClamshellRunning(VemoError::clamshellRestoreFailed, store->state().power);
            journal->append(VemoEvent::make(EventKind::ClamshellStopped{ClamshellStopReason::failed}));
        }
    }

    AppStateStore *store;
    std::shared_ptr<EventJournal> journal;
    bool restoreSucceeds = true;
    QStringList calls;
};

PowerContext onBattery(std::optional<qint64> level)
{
    return PowerContext{PowerSource::battery, level, false, std::nullopt, QDateTime::currentDateTimeUtc()};
}
PowerContext onAdapter()
{
    return PowerContext{PowerSource::powerAdapter, 80, false, std::nullopt, QDateTime::currentDateTimeUtc()};
}
PowerContext unknownSource()
{
    return PowerContext{PowerSource::unknown, std::nullopt, false, std::nullopt, QDateTime::currentDateTimeUtc()};
}

// "kind" or "kind(payload)", plus the evidence when there is one.
QString describe(const VemoEvent &event)
{
    QString text = caseName(event.kind);
    if (const auto *e = std::get_if<EventKind::LowBatteryWarningEntered>(&event.kind))
        text += QStringLiteral("(%1)").arg(e->level);
    if (const auto *e = std::get_if<EventKind::SafetyStopTriggered>(&event.kind))
        text += QStringLiteral("(%1)").arg(e->level);
    if (const auto *e = std::get_if<EventKind::ClamshellStopped>(&event.kind))
        text += e->reason == ClamshellStopReason::safety ? QStringLiteral("(safety)") : QStringLiteral("(failed)");
    if (event.evidence) {
        const SystemEvidence &ev = *event.evidence;
        text += QStringLiteral(" evidence sleepDisabled=%1 source=%2 level=%3")
                    .arg(ev.sleepDisabled ? QString::number(*ev.sleepDisabled) : QStringLiteral("none"),
                         ev.powerSource == PowerSource::battery ? QStringLiteral("battery") : QStringLiteral("other"),
                         ev.batteryLevel ? QString::number(*ev.batteryLevel) : QStringLiteral("none"));
    }
    return text;
}

struct Rig {
    explicit Rig(ClamshellState initial, QVariant threshold = {})
    {
        if (threshold.isValid())
            defaults->setValue(QString::fromLatin1(BatterySafetyCoordinator::thresholdKey), threshold);
        VemoState s = store.state();
        s.clamshell = initial;
        store.setState(s);
        coordinator.installAsThresholdReader();
    }
    QStringList events() const
    {
        QStringList out;
        for (const VemoEvent &e : journal->events())
            out << describe(e);
        return out;
    }

    test::LogCapture log;
    AppStateStore store{onBattery(50)};
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(50);
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    std::shared_ptr<FakeClamshell> clamshell = std::make_shared<FakeClamshell>(&store, journal);
    BatterySafetyCoordinator coordinator{&store, clamshell, journal, defaults};
};

const QString warn25 = QStringLiteral("[WARNING] [battery] low battery warning entered, level=25");
const QString cleared = QStringLiteral("[INFO] [battery] low battery warning cleared");

} // namespace

class BatterySafetyTest : public QObject {
    Q_OBJECT

private slots:
    void walksTheBandsDownToTheStop()
    {
        Rig rig(Clamshell::RunningOnBattery{40});
        const QList<qint64> levels{26, 25, 24, 21, 20};
        const QList<ClamshellState> states{Clamshell::RunningOnBattery{26}, Clamshell::LowBatteryWarning{25},
                                           Clamshell::LowBatteryWarning{24}, Clamshell::LowBatteryWarning{21},
                                           Clamshell::SafetyStopped{20}};
        for (int i = 0; i < levels.size(); ++i) {
            rig.coordinator.evaluate(onBattery(levels[i]));
            QCOMPARE(rig.store.state().clamshell, states[i]);
        }
        QCOMPARE(rig.log.lines(), (QStringList{warn25, "[WARNING] [battery] low battery warning entered, level=24",
                                               "[WARNING] [battery] low battery warning entered, level=21",
                                               "[ERROR] [battery] safety stop triggered, battery=20"}));
        QCOMPARE(rig.events(),
                 (QStringList{"lowBatteryWarningEntered(25)", "lowBatteryWarningEntered(24)",
                              "lowBatteryWarningEntered(21)", "clamshellStopped(safety)",
                              "safetyStopTriggered(20) evidence sleepDisabled=none source=battery level=20"}));
        QCOMPARE(rig.store.state().lastSafetyEvent, std::optional<SafetyEvent>(Safety::SafetyStop{20}));
        QVERIFY(rig.store.state().lastSafetyStopAt);

        // Stopped counts as not running: later snapshots are ignored.
        rig.clamshell->calls.clear();
        rig.coordinator.evaluate(onBattery(10));
        QVERIFY(rig.clamshell->calls.isEmpty());
    }

    void evaluatesOneSnapshot_data()
    {
        QTest::addColumn<ClamshellState>("initial");
        QTest::addColumn<QVariant>("threshold");
        QTest::addColumn<PowerContext>("power");
        QTest::addColumn<bool>("restoreSucceeds");
        QTest::addColumn<ClamshellState>("expected");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("events");

        const QVariant none;
        QTest::newRow("failed restore adds nothing")
            << ClamshellState(Clamshell::LowBatteryWarning{21}) << none << onBattery(20) << false
            << ClamshellState(Clamshell::LowBatteryWarning{21}) << QStringList{}
            << QStringList{"clamshellStopped(failed)"};
        QTest::newRow("charger blip clears the warning")
            << ClamshellState(Clamshell::LowBatteryWarning{22}) << none << onBattery(30) << true
            << ClamshellState(Clamshell::RunningOnBattery{30}) << QStringList{cleared}
            << QStringList{"lowBatteryWarningCleared"};
        QTest::newRow("adapter during a warning")
            << ClamshellState(Clamshell::LowBatteryWarning{22}) << none << onAdapter() << true
            << ClamshellState(Clamshell::RunningOnPowerAdapter{}) << QStringList{}
            << QStringList{"lowBatteryWarningCleared"};
        QTest::newRow("adapter while on battery")
            << ClamshellState(Clamshell::RunningOnBattery{50}) << none << onAdapter() << true
            << ClamshellState(Clamshell::RunningOnPowerAdapter{}) << QStringList{} << QStringList{};
        QTest::newRow("unknown source") << ClamshellState(Clamshell::LowBatteryWarning{22}) << none << unknownSource()
                                        << true << ClamshellState(Clamshell::LowBatteryWarning{22}) << QStringList{}
                                        << QStringList{};
        QTest::newRow("battery without a level")
            << ClamshellState(Clamshell::RunningOnBattery{22}) << none << onBattery(std::nullopt) << true
            << ClamshellState(Clamshell::RunningOnBattery{22}) << QStringList{} << QStringList{};
        for (const auto &[name, state] : std::initializer_list<std::pair<const char *, ClamshellState>>{
                 {"off ignores 10%", Clamshell::Off{}},
                 {"stopping ignores 10%", Clamshell::Stopping{}},
                 {"starting ignores 10%", Clamshell::Starting{}},
                 {"stopped ignores 10%", Clamshell::SafetyStopped{20}}})
            QTest::newRow(name) << state << none << onBattery(10) << true << state << QStringList{} << QStringList{};
        QTest::newRow("threshold 75 acts as 60")
            << ClamshellState(Clamshell::RunningOnBattery{80}) << QVariant(75) << onBattery(65) << true
            << ClamshellState(Clamshell::LowBatteryWarning{65})
            << QStringList{"[WARNING] [battery] low battery warning entered, level=65"}
            << QStringList{"lowBatteryWarningEntered(65)"};
        QTest::newRow("text threshold acts as 20")
            << ClamshellState(Clamshell::RunningOnBattery{80}) << QVariant(QStringLiteral("abc")) << onBattery(25)
            << true << ClamshellState(Clamshell::LowBatteryWarning{25}) << QStringList{warn25}
            << QStringList{"lowBatteryWarningEntered(25)"};
    }

    void evaluatesOneSnapshot()
    {
        QFETCH(ClamshellState, initial);
        QFETCH(QVariant, threshold);
        QFETCH(PowerContext, power);
        QFETCH(bool, restoreSucceeds);
        QFETCH(ClamshellState, expected);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, events);

        Rig rig(initial, threshold);
        rig.clamshell->restoreSucceeds = restoreSucceeds;
        rig.coordinator.evaluate(power);
        QCOMPARE(rig.store.state().clamshell, expected);
        QCOMPARE(rig.log.lines(), lines);
        QCOMPARE(rig.events(), events);
    }

    void doesNothingWithoutItsPartners()
    {
        Rig rig(Clamshell::RunningOnBattery{30});
        BatterySafetyCoordinator orphan(&rig.store, std::weak_ptr<ClamshellPowerControl>(), rig.journal, rig.defaults);
        orphan.evaluate(onBattery(10));
        QCOMPARE(rig.store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{30}));

        auto *store = new AppStateStore(onBattery(50));
        BatterySafetyCoordinator storeless(store, rig.clamshell, rig.journal, rig.defaults);
        delete store;
        storeless.evaluate(onBattery(10));
        QVERIFY(rig.clamshell->calls.isEmpty());
        QVERIFY(rig.journal->events().isEmpty());
    }

    void thresholdReadsAndClamps_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("missing") << QVariant() << qint64(20);
        QTest::newRow("in range") << QVariant(35) << qint64(35);
        QTest::newRow("below") << QVariant(3) << qint64(5);
        QTest::newRow("above") << QVariant(75) << qint64(60);
        QTest::newRow("whole-number text") << QVariant(QStringLiteral("35")) << qint64(35);
        QTest::newRow("whole-number text above") << QVariant(QStringLiteral("99999999999999999999")) << qint64(60);
        QTest::newRow("word") << QVariant(QStringLiteral("abc")) << qint64(20);
        QTest::newRow("decimal text") << QVariant(QStringLiteral("3.5")) << qint64(20);
        QTest::newRow("padded text") << QVariant(QStringLiteral(" 35")) << qint64(20);
        QTest::newRow("fractional number") << QVariant(3.5) << qint64(20);
        QTest::newRow("whole real number") << QVariant(35.0) << qint64(35);
        QTest::newRow("boolean") << QVariant(true) << qint64(20);
    }

    void thresholdReadsAndClamps()
    {
        QFETCH(QVariant, stored);
        QFETCH(qint64, expected);
        MemoryUserDefaults defaults;
        if (stored.isValid())
            defaults.setValue(QString::fromLatin1(BatterySafetyCoordinator::thresholdKey), stored);
        QCOMPARE(BatterySafetyCoordinator::autoExitThreshold(defaults), expected);
    }

    void thresholdSurvivesTheSettingsFile()
    {
        // On Linux QSettings keeps an INI file and hands every value back as text.
        QTemporaryDir dir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QDir().mkpath(dir.filePath(QStringLiteral("quorvel.app")));
        QFile ini(dir.filePath(QStringLiteral("quorvel.app/Quorvel.conf")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\nQuorvelClamshellAutoExitThreshold=45\n");
        ini.close();
        const SettingsUserDefaults defaults;
        QCOMPARE(defaults.value(QString::fromLatin1(BatterySafetyCoordinator::thresholdKey)).metaType().id(),
                 int(QMetaType::QString));
        QCOMPARE(BatterySafetyCoordinator::autoExitThreshold(defaults), qint64(45));
    }

    void storeReadsTheStoredThresholdOnEveryUse()
    {
        Rig rig(Clamshell::RunningOnBattery{50});
        QCOMPARE(rig.store.threshold(), qint64(20));
        rig.defaults->setValue(QString::fromLatin1(BatterySafetyCoordinator::thresholdKey), 40);
        QCOMPARE(rig.store.threshold(), qint64(40));
        QCOMPARE(rig.coordinator.autoExitThreshold(), qint64(40));
        rig.store.applyBatteryLevel(44);
        QCOMPARE(rig.store.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{44}));
    }
};

QTEST_GUILESS_MAIN(BatterySafetyTest)
#include "tst_batterysafety.moc"
