// Which endings tell the person: the preventer, the binder and the store are real, the
// children, the process watch and the scheduler fake, and the notifier records what it is given.

#include "app/composition/SessionEndNotices.h"
#include "idle/SessionBinder.h"
#include "prefs/Localization.h"
#include "prefs/PreferenceKeys.h"
#include "support/FakeChildProcess.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

namespace {

struct FakeWatching {
    std::function<void()> onExit;
    ProcessWatching seam()
    {
        return {[this](qint64, std::function<void()> exited) -> std::unique_ptr<QObject> {
                    onExit = std::move(exited);
                    return std::make_unique<QObject>();
                },
                [](qint64 pid) { return pid == 77 ? QStringLiteral("make") : QString(); }};
    }
};

struct Rig {
    QTemporaryDir sim;
    AppStateStore store{PowerContext{}};
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    std::shared_ptr<test::FakeScheduler> scheduler = std::make_shared<test::FakeScheduler>();
    test::FakeChildProcessFactory children;
    test::LogCapture log;
    FakeWatching watching;
    QList<DesktopNotice> notices;
    std::unique_ptr<TimedSleepPreventer> timed;
    std::unique_ptr<SessionBinder> binder;
    std::unique_ptr<SessionEndNotices> endNotices;

    Rig()
    {
        QFile::link("/bin/true", sim.filePath("caffeinate"));
        timed = std::make_unique<TimedSleepPreventer>(&store, sim.filePath("caffeinate"), 4242, defaults,
                                                      std::make_shared<InMemoryEventJournal>(100), scheduler,
                                                      children.factory());
        binder = std::make_unique<SessionBinder>(QPointer<AppStateStore>(&store), *timed, watching.seam());
        endNotices = std::make_unique<SessionEndNotices>(&store, defaults,
                                                         [this](const DesktopNotice &n) { notices.append(n); });
    }
    void bind(SessionBinding::Kind kind, qint64 pid)
    {
        binder->bindToProcess(pid, {kind, binder->processName(pid), pid, {}});
    }
    void childExits(int status)
    {
        test::FakeChildProcessFactory::settle();
        children.last()->exit(status);
        test::FakeChildProcessFactory::settle();
    }
    void processEnds()
    {
        watching.onExit();
        test::FakeChildProcessFactory::settle();
    }
    void onBattery(qint64 level)
    {
        store.setPower({PowerSource::battery, level, {}, {}, {}});
        store.setClamshellRunning(store.state().power);
    }
};

const QDateTime evening = QDateTime::fromString("2026-12-07T18:30:00Z", Qt::ISODate);

} // namespace

class NoticesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Localization::installCatalogue(Localization::Catalogue::english); }

    void endings_data()
    {
        QTest::addColumn<QString>("story");
        QTest::addColumn<QString>("body"); // empty: no notice
        const QString until = "It is " + evening.toLocalTime().toString("HH:mm");
        const std::pair<const char *, std::pair<const char *, QString>> rows[] = {
            {"time up", {"timed exit0", "Time is up"}},
            {"stopped by hand", {"timed stop", ""}},
            {"less ends a short one", {"short less", ""}},
            {"more relaunches", {"timed more", ""}},
            {"display toggle relaunches", {"timed display", ""}},
            {"caffeinate failed", {"timed exit1", ""}},
            {"quit", {"timed quit", ""}},
            {"command finished", {"command", "make finished"}},
            {"process exited", {"process77 gone", "make has exited"}},
            {"process without a name", {"process99 gone", "99 has exited"}},
            {"bound, stopped by hand", {"process77 stop", ""}},
            {"until reached", {"until exit0", until}},
            // "more" unbinds it: what ends later is a plain timed session.
            {"until, changed by hand", {"until more exit0", "Time is up"}},
            {"setting off", {"off timed exit0", ""}},
        };
        for (const auto &[name, row] : rows)
            QTest::newRow(name) << QString(
                row.first) << (row.second.isEmpty() ? row.second : row.second + "; your computer may sleep again.");
    }
    void endings()
    {
        QFETCH(QString, story);
        QFETCH(QString, body);
        Rig rig;
        for (const QString &step : story.split(' ')) {
            if (step == "off")
                rig.defaults->setValue(PreferenceKeys::notifyWhenSessionEnds, false);
            else if (step == "timed" || step == "short")
                rig.timed->startTimed(step == "timed" ? 3600 : TimedSleepPreventer::shortestAdjusted);
            else if (step == "command")
                rig.bind(SessionBinding::Kind::command, 77), rig.timed->startPermanent(), rig.processEnds();
            else if (step == "gone")
                rig.processEnds();
            else if (step.startsWith("process"))
                rig.bind(SessionBinding::Kind::process, step.mid(7).toLongLong()), rig.timed->startPermanent();
            else if (step == "until")
                rig.binder->bindUntil(evening), rig.timed->startTimed(3600);
            else if (step == "exit0" || step == "exit1")
                rig.childExits(step == "exit0" ? 0 : 1);
            else if (step == "stop")
                rig.timed->stop(), test::FakeChildProcessFactory::settle();
            else if (step == "less")
                rig.timed->adjustRemaining(-TimedSleepPreventer::adjustmentStep),
                    test::FakeChildProcessFactory::settle();
            else if (step == "more")
                rig.timed->adjustRemaining(TimedSleepPreventer::adjustmentStep),
                    test::FakeChildProcessFactory::settle();
            else if (step == "display")
                rig.timed->setDisplayAwake(true), test::FakeChildProcessFactory::settle();
            else if (step == "quit")
                rig.timed->cleanup();
        }

        if (body.isEmpty()) {
            QCOMPARE(rig.notices.size(), 0);
            QVERIFY(!rig.log.messages().join('\n').contains("session end notice"));
            return;
        }
        QCOMPARE(rig.notices.size(), 1);
        QCOMPARE(rig.notices.first().title, "Keep-awake session ended");
        QCOMPARE(rig.notices.first().body, body);
        QVERIFY2(rig.log.lines().filter("[INFO] [app] session end notice, reason=").size() == 1,
                 qPrintable(rig.log.lines().join('\n')));
    }

    // Closed-lid mode tells only of the stop for the battery, once, with the level it stopped at.
    void closedLid()
    {
        Rig rig;
        rig.onBattery(60);
        rig.store.applyBatteryLevel(24); // the warning band
        QCOMPARE(rig.notices.size(), 0);
        rig.store.applyBatteryLevel(20);
        rig.store.applyBatteryLevel(19); // still stopped: not a second stop
        QCOMPARE(rig.notices.size(), 1);
        QCOMPARE(rig.notices.first(),
                 (DesktopNotice{"Closed-lid mode turned off",
                                "Battery at 20%. Your computer sleeps again when its lid is closed."}));

        Rig manual;
        manual.onBattery(60);
        manual.store.setClamshellOff();
        manual.onBattery(60);
        manual.store.setClamshellFailed(VemoError::clamshellRestoreFailed);
        QCOMPARE(manual.notices.size(), 0);
    }
};

QTEST_GUILESS_MAIN(NoticesTest)
#include "tst_notices.moc"
