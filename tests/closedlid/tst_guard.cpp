#include "ScriptedPmset.h"
#include "support/LogCapture.h"

#include <QTest>
#include <QThread>

#include <thread>

using namespace quorvel;
using namespace quorvel::Clamshell;
using namespace quorvel::test;

namespace {
const PowerContext adapter{PowerSource::powerAdapter, {}, {}, {}, {}};
struct GuardRow {
    ClamshellState from;
    QString trigger; // "power", "display" or "wake"
    int reading;     // what `pmset -g` says when the notice comes
    QString faults;  // pmset's, for the repair
    ClamshellState to;
    std::optional<VemoError> error = {};
    QString events = {};
    QStringList log = {};
    int runs = 0; // commands run in all
};

void notify(Rig &rig, const QString &trigger)
{
    if (trigger == "power")
        rig.module->handlePowerChange(rig.store.state().power);
    else
        (trigger == "display" ? rig.displayChanged : rig.woke)();
    QCoreApplication::processEvents(); // the display and wake notices are queued
}
} // namespace
Q_DECLARE_METATYPE(GuardRow)

// The closed-lid guard over scripted tools: what each notice finds, and what it does about it.
class GuardTest : public QObject {
    Q_OBJECT

    LogCapture log;

private slots:
    void notices_data()
    {
        QTest::addColumn<GuardRow>("row");
        const ClamshellState onAdapter = RunningOnPowerAdapter{}, onBattery = RunningOnBattery{50};
        const QString reset = "[WARNING] [clamshell] clamshell override reset by the system, readback=0, trigger=",
                      reapplied = "[INFO] [clamshell] clamshell override re-applied, sleepDisabled=1, trigger=",
                      failed = "[ERROR] [clamshell] clamshell override re-apply failed, verdict=";
        QTest::newRow("still disabled") << GuardRow{onAdapter, "power", 1, "", onAdapter, {}, "", {}, 1};
        // Repaired: the mode carries on, its one session unbroken in the history.
        QTest::newRow("reset, power source change")
            << GuardRow{onAdapter, "power", 0,  "",
                        onAdapter, {},      "", {reset + "powerSourceChange", reapplied + "powerSourceChange"},
                        3};
        QTest::newRow("reset, display change") << GuardRow{
            onBattery, "display", 0, "", onBattery, {}, "", {reset + "displayChange", reapplied + "displayChange"}, 3};
        QTest::newRow("reset, wake, warning band") << GuardRow{LowBatteryWarning{15},
                                                               "wake",
                                                               0,
                                                               "",
                                                               LowBatteryWarning{15},
                                                               {},
                                                               "",
                                                               {reset + "wake", reapplied + "wake"},
                                                               3};
        // Not repaired: failed as a failed start is, and the session ends as failed.
        QTest::newRow("re-apply has no effect")
            << GuardRow{onAdapter,
                        "wake",
                        0,
                        "applyNoEffect",
                        Failed{VemoError::readbackMismatch},
                        VemoError::readbackMismatch,
                        "clamshellStopped(failed)",
                        {reset + "wake", failed + "readbackMismatch, trigger=wake",
                         "[INFO] [clamshell] clamshell override restored (disablesleep=0), readback=0"},
                        5};
        QTest::newRow("re-apply refused")
            << GuardRow{onBattery,
                        "power",
                        0,
                        "sudoRefused",
                        Failed{VemoError::clamshellRestoreFailed},
                        VemoError::clamshellRestoreFailed,
                        "clamshellStopped(failed)",
                        {reset + "powerSourceChange", failed + "setFailed, trigger=powerSourceChange",
                         "[ERROR] [clamshell] clamshell override restore failed, readback=0"},
                        5};
        // An unreadable report proves nothing: failing a mode that may still work would be worse.
        QTest::newRow("unreadable") << GuardRow{
            onAdapter, "display",
            0,         "unreadable",
            onAdapter, {},
            "",        {"[WARNING] [clamshell] clamshell override unverified, readback=nil, trigger=displayChange"},
            1};
        // Off, or on its way somewhere: nothing to guard, nothing runs.
        for (const ClamshellState &idle : QList<ClamshellState>{Off{}, Starting{}, Stopping{}, SafetyStopped{20},
                                                                Failed{VemoError::readbackMismatch}})
            for (const QString trigger : {"power", "wake"})
                QTest::addRow("not running %d, %s", int(idle.index()), qPrintable(trigger))
                    << GuardRow{idle, trigger, 0, "", idle};
    }
    void notices()
    {
        QFETCH(GuardRow, row);
        Rig rig(adapter);
        VemoState state = rig.store.state();
        state.clamshell = row.from;
        rig.store.setState(state);
        rig.pmset.sleepDisabled = row.reading;
        rig.pmset.faults = row.faults;
        log.clear();
        notify(rig, row.trigger);
        QCOMPARE(rig.store.state().clamshell, row.to);
        QCOMPARE(rig.store.state().lastError, row.error);
        QCOMPARE(kindsOf(*rig.journal), row.events);
        QCOMPARE(log.lines(), row.log);
        QCOMPARE(rig.pmset.runs, row.runs);
    }

    // A wake brings a power change and a display change with it. Notices that arrive while a
    // repair blocks never start a second one beside it, and are not lost: the setting is read
    // once more afterwards.
    void noticesDuringARepair()
    {
        Rig rig(adapter);
        rig.module->setClamshell(true);
        QVERIFY(isClamshellRunning(rig.store.state().clamshell));
        rig.pmset.sleepDisabled = 0;
        int applying = 0, most = 0, applies = 0;
        rig.pmset.whileRunning = [&](const ClamshellCapabilityProbe::Command &command) {
            if (command != ClamshellCapabilityProbe::applyOverrideCommand())
                return;
            most = std::max(most, ++applying);
            ++applies;
            rig.module->guardOverride(GuardTrigger::displayChange);
            rig.module->handlePowerChange(rig.store.state().power);
            --applying;
        };
        const int before = rig.pmset.runs;
        log.clear();
        rig.module->guardOverride(GuardTrigger::wake);
        QCOMPARE(most, 1);
        QCOMPARE(applies, 1);
        QCOMPARE(rig.pmset.runs - before, 4); // read, apply, read-back; then one more read
        QCOMPARE(log.messages().filter("re-applied").size(), 1);
        QCOMPARE(rig.pmset.sleepDisabled, 1);
    }

    // The platform may call from any thread: the repair still runs on the main thread. Once the
    // module is gone, a late notice reaches nothing.
    void noticeFromAnotherThread()
    {
        auto rig = std::make_unique<Rig>(adapter);
        rig->module->setClamshell(true);
        rig->pmset.sleepDisabled = 0;
        bool onMain = false;
        rig->pmset.whileRunning = [&](const ClamshellCapabilityProbe::Command &) {
            onMain = QThread::currentThread() == qApp->thread();
        };
        std::thread([&] { rig->woke(); }).join();
        QTRY_COMPARE(rig->pmset.sleepDisabled, 1);
        QVERIFY(onMain);

        const std::function<void()> late = rig->woke;
        rig->module.reset();
        rig->pmset.sleepDisabled = 0;
        const int runs = rig->pmset.runs;
        std::thread(late).join();
        late();
        QCoreApplication::processEvents();
        QCOMPARE(rig->pmset.runs, runs);
    }
};

QTEST_GUILESS_MAIN(GuardTest)
#include "tst_guard.moc"
