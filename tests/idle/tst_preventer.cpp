#include "SessionText.h"
#include "idle/TimedSleepPreventer.h"
#include "support/FakeChildProcess.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace std::chrono_literals;
using test::FakeChildProcessFactory;

namespace {

using test::describe;

constexpr qint32 ownerPid = 4242;
const QString prefKey = QString::fromLatin1(TimedSleepPreventer::displayAwakePreferenceKey);

QString describe(const VemoEvent &e)
{
    QString text = caseName(e.kind);
    if (const auto *started = std::get_if<EventKind::TimedStarted>(&e.kind))
        text += QStringLiteral("(%1)").arg(started->durationSeconds);
    if (const auto *ended = std::get_if<EventKind::TimedEndedNaturally>(&e.kind))
        text += ended->remainingSeconds ? QStringLiteral("(%1)").arg(*ended->remainingSeconds) : QStringLiteral("()");
    return text;
}

// One preventer over fakes: fake children, virtual time, an in-memory journal and
// preferences, a real store and a real log file in a temporary folder.
struct Rig {
    QTemporaryDir dir;
    QString tool = dir.filePath(QStringLiteral("caffeinate"));
    std::unique_ptr<AppStateStore> store = std::make_unique<AppStateStore>(PowerContext{});
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(100);
    std::shared_ptr<test::FakeScheduler> scheduler = std::make_shared<test::FakeScheduler>();
    FakeChildProcessFactory children;
    test::LogCapture log;
    TimedSleepPreventer preventer{store.get(), tool, ownerPid, defaults, journal, scheduler, children.factory()};

    Rig() { installTool(); }
    void installTool()
    {
        QFile file(tool);
        file.open(QIODevice::WriteOnly);
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString session() const { return describe(store->state().timedSession); }
    QString display() const { return describe(store->state().displayAwake); }
    QStringList events() const
    {
        QStringList out;
        for (const VemoEvent &e : journal->events())
            out << describe(e);
        return out;
    }
    QStringList lastArguments() const { return children.last() ? children.last()->arguments : QStringList(); }

    // As the coordinator does it: announce the toggle in the store, then ask.
    void toggleDisplay(bool on)
    {
        store->setDisplayAwake(on ? DisplayAwakeState(DisplayAwake::Starting{})
                                  : DisplayAwakeState(DisplayAwake::Stopping{}));
        preventer.setDisplayAwake(on);
    }

    // A tiny script, so that each table row reads as the user's steps.
    void run(const QString &script)
    {
        for (const QString &step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList w = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QString op = w.value(0);
            const qint64 n = w.value(1).toLongLong();
            if (op == "timed")
                preventer.startTimed(n);
            else if (op == "perm")
                preventer.startPermanent();
            else if (op == "stop")
                preventer.stop();
            else if (op == "adjust")
                preventer.adjustRemaining(n);
            else if (op == "toPerm")
                preventer.switchToPermanent();
            else if (op == "toTimed")
                preventer.switchToTimed(w.size() > 1 ? std::optional<qint64>(n) : std::nullopt);
            else if (op == "display")
                toggleDisplay(w.value(1) == "on");
            else if (op == "pref")
                defaults->setValue(prefKey, w[1] == "on");
            else if (op == "tick")
                scheduler->advance(std::chrono::seconds(n));
            else if (op == "ms")
                scheduler->advance(std::chrono::milliseconds(n));
            else if (op == "settle")
                FakeChildProcessFactory::settle();
            else if (op == "exit")
                children.last()->exit(int(n));
            else if (op == "failStart")
                children.failStarts = 1;
            else if (op == "ignoreTerm")
                children.ignoreTerminate = true;
            else if (op == "noTool")
                QFile::remove(tool);
            else if (op == "tool")
                installTool();
            else
                QFAIL(qPrintable(QStringLiteral("unknown step ") + op));
        }
    }
};

} // namespace

class PreventerTest : public QObject {
    Q_OBJECT

private slots:
    // Each row: the user's steps, then the published session and display-awake, the
    // events recorded and the log lines written.
    void transitions_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("session");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("lines");

        const QString started = "[INFO] [timed] timed session started, seconds=7200";
        const QString stopped = "[INFO] [timed] timed session stopped by user";
        QTest::newRow("timed start") << "timed 7200"
                                     << "running(7200)"
                                     << "off" << QStringList{"timedStarted(7200)"} << QStringList{started};
        QTest::newRow("indefinite start")
            << "perm"
            << "runningPermanent"
            << "off" << QStringList{"timedStarted(0)"} << QStringList{"[INFO] [timed] timed permanent session started"};
        QTest::newRow("display preference on: no display event at a fresh start")
            << "pref on; timed 7200"
            << "running(7200)"
            << "on" << QStringList{"timedStarted(7200)"} << QStringList{started};
        QTest::newRow("countdown ticks") << "timed 7200; tick 3"
                                         << "running(7197)"
                                         << "off" << QStringList{"timedStarted(7200)"} << QStringList{started};
        QTest::newRow("countdown stops at zero and never ends the session")
            << "timed 2; tick 10"
            << "running(0)"
            << "off" << QStringList{"timedStarted(2)"}
            << QStringList{"[INFO] [timed] timed session started, seconds=2"};
        QTest::newRow("stop: stopping until the child has gone")
            << "timed 7200; stop"
            << "stopping"
            << "off" << QStringList{"timedStarted(7200)"} << QStringList{started};
        QTest::newRow("stop, child gone")
            << "pref on; timed 7200; stop; settle"
            << "off"
            << "off" << QStringList{"timedStarted(7200)", "displayAwakeOff", "timedStoppedManually"}
            << QStringList{started, stopped};
        QTest::newRow("natural end") << "timed 7200; exit 0"
                                     << "ended"
                                     << "off" << QStringList{"timedStarted(7200)", "timedEndedNaturally()"}
                                     << QStringList{started, "[INFO] [timed] timed session ended naturally"};
        QTest::newRow("external SIGTERM on an indefinite session")
            << "perm; exit 15"
            << "failed(processExitedUnexpectedly)"
            << "off" << QStringList{"timedStarted(0)", "timedFailed"}
            << QStringList{"[INFO] [timed] timed permanent session started",
                           "[ERROR] [timed] timed session failed unexpectedly, status=15"};
        QTest::newRow("unexpected exit with display on")
            << "pref on; timed 60; exit 1"
            << "failed(processExitedUnexpectedly)"
            << "failed(processExitedUnexpectedly)"
            << QStringList{"timedStarted(60)", "displayAwakeFailed", "timedFailed"}
            << QStringList{"[INFO] [timed] timed session started, seconds=60",
                           "[ERROR] [timed] timed session failed unexpectedly, status=1"};
        QTest::newRow("tool missing") << "noTool; timed 7200"
                                      << "failed(caffeinateUnavailable)"
                                      << "off" << QStringList{"timedFailed"}
                                      << QStringList{
                                             "[ERROR] [timed] timed launch failed, reason=caffeinateUnavailable"};
        QTest::newRow("tool missing, then present again")
            << "noTool; timed 7200; tool; timed 7200"
            << "running(7200)"
            << "off" << QStringList{"timedFailed", "timedStarted(7200)"}
            << QStringList{"[ERROR] [timed] timed launch failed, reason=caffeinateUnavailable", started};
        QTest::newRow("launch refused") << "failStart; pref on; perm"
                                        << "failed(processLaunchFailed)"
                                        << "failed(processLaunchFailed)"
                                        << QStringList{"displayAwakeFailed", "timedFailed"}
                                        << QStringList{"[ERROR] [timed] timed permanent launch failed, "
                                                       "reason=processLaunchFailed"};
        QTest::newRow("adjust: relaunch keeps the shown time until the new child runs")
            << "timed 7200; tick 200; adjust 1800; tick 5"
            << "running(7000)"
            << "off" << QStringList{"timedStarted(7200)"} << QStringList{started};
        QTest::newRow("adjust: relaunched") << "timed 7200; tick 200; adjust 1800; settle; tick 1"
                                            << "running(8799)"
                                            << "off" << QStringList{"timedStarted(7200)"}
                                            << QStringList{started, "[INFO] [timed] timed session adjusted (relaunch), "
                                                                    "seconds=8800"};
        QTest::newRow("launch failure during a relaunch")
            << "timed 7200; adjust -1800; failStart; settle"
            << "failed(processLaunchFailed)"
            << "off" << QStringList{"timedStarted(7200)", "timedFailed"}
            << QStringList{started, "[ERROR] [timed] timed launch failed, reason=processLaunchFailed"};
        QTest::newRow("stop during a relaunch is a user stop")
            << "timed 7200; adjust 1800; stop; settle"
            << "off"
            << "off" << QStringList{"timedStarted(7200)", "timedStoppedManually"} << QStringList{started, stopped};
        QTest::newRow("display on during a timed session")
            << "timed 7200; tick 100; display on; settle"
            << "running(7100)"
            << "on" << QStringList{"timedStarted(7200)", "displayAwakeOn"}
            << QStringList{started, "[INFO] [display] display awake joined current session",
                           "[INFO] [timed] timed session adjusted (relaunch), seconds=7100"};
        QTest::newRow("display off during an indefinite session")
            << "pref on; perm; display off; settle"
            << "runningPermanent"
            << "off" << QStringList{"timedStarted(0)", "displayAwakeOff"}
            << QStringList{"[INFO] [timed] timed permanent session started",
                           "[INFO] [display] display awake left current session",
                           "[INFO] [timed] timed session switched to permanent"};
        QTest::newRow("display relaunch failing")
            << "timed 7200; display on; failStart; settle"
            << "failed(processLaunchFailed)"
            << "failed(processLaunchFailed)" << QStringList{"timedStarted(7200)", "displayAwakeFailed", "timedFailed"}
            << QStringList{started, "[ERROR] [timed] timed launch failed, "
                                    "reason=processLaunchFailed"};
        QTest::newRow("SIGKILL after the grace")
            << "ignoreTerm; timed 7200; stop; ms 499; ms 1; settle"
            << "off"
            << "off" << QStringList{"timedStarted(7200)", "timedStoppedManually"}
            << QStringList{started, "[ERROR] [timed] caffeinate did not exit on SIGTERM, sending SIGKILL", stopped};
    }

    void transitions()
    {
        QFETCH(QString, script);
        Rig rig;
        rig.run(script);
        QTEST(rig.session(), "session");
        QTEST(rig.display(), "display");
        QTEST(rig.events(), "events");
        QTEST(rig.log.lines(), "lines");
        // Whatever happened, at most one child is alive, and only while a session shows.
        QVERIFY(rig.children.liveCount() <= 1);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("launches");

        QTest::newRow("timed") << "timed 600" << QStringList{"-w", "4242", "-i", "-t", "600"} << 1;
        QTest::newRow("timed, display") << "pref on; timed 600" << QStringList{"-w", "4242", "-i", "-d", "-t", "600"}
                                        << 1;
        QTest::newRow("indefinite") << "perm" << QStringList{"-w", "4242", "-i"} << 1;
        QTest::newRow("indefinite, display") << "pref on; perm" << QStringList{"-w", "4242", "-i", "-d"} << 1;
        QTest::newRow("no seconds") << "timed 0" << QStringList{} << 0;
        QTest::newRow("second start while a child exists")
            << "timed 60; perm; timed 90" << QStringList{"-w", "4242", "-i", "-t", "60"} << 1;
        QTest::newRow("adjust -1800 at 2000")
            << "timed 2000; adjust -1800; settle" << QStringList{"-w", "4242", "-i", "-t", "1800"} << 2;
        QTest::newRow("adjust -1800 at 1800 stops")
            << "timed 1800; adjust -1800; settle" << QStringList{"-w", "4242", "-i", "-t", "1800"} << 1;
        QTest::newRow("adjust +1800 at 28000")
            << "timed 28000; adjust 1800; settle" << QStringList{"-w", "4242", "-i", "-t", "28800"} << 2;
        QTest::newRow("adjust +1800 at 28800")
            << "timed 28800; adjust 1800; settle" << QStringList{"-w", "4242", "-i", "-t", "28800"} << 1;
        QTest::newRow("adjust +1800 at 30000 clamps down")
            << "timed 30000; adjust 1800; settle" << QStringList{"-w", "4242", "-i", "-t", "28800"} << 2;
        QTest::newRow("adjust by an absurd amount")
            << "timed 7200; adjust 9223372036854775807; settle" << QStringList{"-w", "4242", "-i", "-t", "28800"} << 2;
        QTest::newRow("adjust an indefinite session")
            << "perm; adjust 1800; settle" << QStringList{"-w", "4242", "-i"} << 1;
        QTest::newRow("to indefinite and back keeps the time of the first switch")
            << "timed 5200; tick 200; toPerm; settle; tick 60; toTimed; settle"
            << QStringList{"-w", "4242", "-i", "-t", "5000"} << 3;
        QTest::newRow("back to timed while the switch is still relaunching")
            << "timed 5200; tick 200; toPerm; toTimed; settle" << QStringList{"-w", "4242", "-i", "-t", "5000"} << 2;
        QTest::newRow("to indefinite while an adjustment is relaunching")
            << "timed 5200; adjust 1800; toPerm; settle" << QStringList{"-w", "4242", "-i"} << 2;
        QTest::newRow("to timed from timed does nothing")
            << "timed 600; toTimed 900; settle" << QStringList{"-w", "4242", "-i", "-t", "600"} << 1;
        QTest::newRow("display toggled during a relaunch joins it")
            << "timed 5000; adjust 1800; display on; settle" << QStringList{"-w", "4242", "-i", "-d", "-t", "6800"}
            << 2;
        QTest::newRow("display on, indefinite")
            << "perm; display on; settle" << QStringList{"-w", "4242", "-i", "-d"} << 2;
        QTest::newRow("display toggled with no session") << "display on" << QStringList{} << 0;
    }

    void commandLine()
    {
        QFETCH(QString, script);
        Rig rig;
        rig.run(script);
        QTEST(rig.lastArguments(), "arguments");
        QTEST(int(rig.children.children.size()), "launches");
        if (!rig.children.children.isEmpty())
            QCOMPARE(rig.children.last()->program, rig.tool);
    }

    void displayPreferenceIsWrittenOnlyWithASession()
    {
        Rig rig;
        rig.preventer.setDisplayAwake(true);
        QVERIFY(!rig.defaults->contains(prefKey));
        rig.run("timed 600; display on; settle; stop; settle; timed 300");
        QCOMPARE(rig.defaults->value(prefKey).toBool(), true);
        QCOMPARE(rig.lastArguments(), (QStringList{"-w", "4242", "-i", "-d", "-t", "300"}));
        QCOMPARE(rig.display(), QString("on"));
    }

    void admissionRules_data()
    {
        QTest::addColumn<bool>("clamshellRunning");
        QTest::addColumn<bool>("residual");
        QTest::newRow("closed-lid running") << true << false;
        QTest::newRow("unresolved leftover") << false << true;
    }

    void admissionRules()
    {
        QFETCH(bool, clamshellRunning);
        QFETCH(bool, residual);
        Rig rig;
        VemoState blocked = rig.store->state();
        if (clamshellRunning)
            blocked.clamshell = Clamshell::RunningOnPowerAdapter{};
        blocked.startupResidual = residual;
        rig.store->setState(blocked);
        rig.run("timed 7200; perm");
        QCOMPARE(rig.store->state(), blocked);
        QVERIFY(rig.children.children.isEmpty());
        QVERIFY(rig.events().isEmpty());
    }

    void processIsHandledWhenTheStoreIsGone()
    {
        Rig rig;
        rig.run("timed 7200; tick 1");
        rig.store.reset();
        rig.run("tick 1; exit 0");
        QCOMPARE(rig.events(), (QStringList{"timedStarted(7200)", "timedEndedNaturally()"}));
        QCOMPARE(rig.preventer.childPID(), 0);
        rig.run("timed 7200"); // nothing to admit against
        QCOMPARE(rig.children.children.size(), 1);
    }

    void cleanupEndsTheChildAndLeavesTheStore()
    {
        Rig rig;
        rig.run("pref on; timed 7200; tick 10; adjust 1800");
        const VemoState before = rig.store->state();
        QVERIFY(rig.preventer.cleanup());
        rig.run("settle; tick 5");
        QCOMPARE(rig.store->state(), before);
        QCOMPARE(rig.children.liveCount(), 0);
        QCOMPARE(rig.children.children.size(), 1); // the pending relaunch was dropped
        QCOMPARE(rig.events(), QStringList{"timedStarted(7200)"});
        QVERIFY(rig.preventer.cleanup()); // the second call at will-terminate is harmless
    }
};

QTEST_GUILESS_MAIN(PreventerTest)
#include "tst_preventer.moc"
