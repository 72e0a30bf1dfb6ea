// The preventer over fake children and virtual time, and against real children of the
// stand-in caffeinate (rows starting with "live": real signals, a few seconds in all).

#include "idle/TimedSleepPreventer.h"
#include "platform/sim/SimLayout.h"
#include "support/FakeChildProcess.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace quorvel;

namespace {

// A preventer with a real store, journal and log file, driven by the user's steps.
struct Rig {
    std::unique_ptr<AppStateStore> store = std::make_unique<AppStateStore>(PowerContext{});
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(1000);
    test::LogCapture log;
    std::unique_ptr<TimedSleepPreventer> preventer;
    qint64 pid = 0; // of a live child
    QElapsedTimer sinceReady;
    QHash<QString, std::function<void(qint64)>> steps{
        {"timed", [this](qint64 n) { preventer->startTimed(n); }},
        {"perm", [this](qint64) { preventer->startPermanent(); }},
        {"stop", [this](qint64) { preventer->stop(); }},
        {"cleanup", [this](qint64) { QVERIFY(preventer->cleanup()); }},
        {"adjust", [this](qint64 n) { preventer->adjustRemaining(n); }},
        {"toPerm", [this](qint64) { preventer->switchToPermanent(); }},
        {"toTimed", [this](qint64 n) { preventer->switchToTimed(n ? std::optional(n) : std::nullopt); }},
        {"pref", [this](qint64) { defaults->setValue("QuorvelDisplayAwakeLastEnabled", true); }},
        // A display toggle is announced in the store first, as the coordinator does.
        {"displayOn",
         [this](qint64) { store->setDisplayAwake(DisplayAwake::Starting{}), preventer->setDisplayAwake(1); }},
        {"displayOff",
         [this](qint64) { store->setDisplayAwake(DisplayAwake::Stopping{}), preventer->setDisplayAwake(0); }},
    };

    virtual ~Rig() = default;
    // Steps separated by ';', each a name and at most one number.
    void run(const QString &script)
    {
        for (const QString &step : script.split(';')) {
            const QStringList w = step.split(' ', Qt::SkipEmptyParts);
            QVERIFY2(steps.contains(w.value(0)), qPrintable(step));
            steps[w[0]](w.value(1).toLongLong());
        }
    }
    // Session and display-awake as "running(7200) off", so rows and failures read like the menu.
    QString state() const
    {
        const VemoState s = store ? store->state() : VemoState{};
        const auto &[t, d] = std::tie(s.timedSession, s.displayAwake);
        const auto *running = std::get_if<TimedSession::Running>(&t);
        const auto error = [](const auto *failed) { return failed ? "(" + toString(failed->error) + ")" : QString(); };
        return QString("off starting running runningPermanent stopping ended failed").split(' ')[t.index()]
               + (running ? QString("(%1)").arg(running->remainingSeconds) : "")
               + error(std::get_if<TimedSession::Failed>(&t)) + ' '
               + QString("off starting on stopping failed").split(' ')[d.index()]
               + error(std::get_if<DisplayAwake::Failed>(&d));
    }
    // Events by name; a start shows its seconds, a natural end any remaining time it wrongly carries.
    QString events() const
    {
        QStringList out;
        for (const VemoEvent &e : journal->events()) {
            const auto *started = std::get_if<EventKind::TimedStarted>(&e.kind);
            const auto *ended = std::get_if<EventKind::TimedEndedNaturally>(&e.kind);
            out << caseName(e.kind) + (started ? QString("(%1)").arg(started->durationSeconds) : "")
                       + (ended && ended->remainingSeconds ? "(remaining)" : "");
        }
        return out.join(' ');
    }
    // Info lines of the timed category lose their common prefix; every other line stays whole.
    QStringList lines() const { return log.lines().replaceInStrings("[INFO] [timed] ", ""); }
};

struct FakeRig : Rig {
    QString tool = qEnvironmentVariable(simlayout::kRootVariable) + "/caffeinate";
    std::shared_ptr<test::FakeScheduler> scheduler = std::make_shared<test::FakeScheduler>();
    test::FakeChildProcessFactory children;

    FakeRig()
    {
        preventer = std::make_unique<TimedSleepPreventer>(store.get(), tool, 4242, defaults, journal, scheduler,
                                                          children.factory());
        steps["tool"] = [this](qint64 n) { n ? QFile::link("/bin/true", tool) : QFile::remove(tool); };
        steps["tick"] = [this](qint64 n) { scheduler->advance(std::chrono::seconds(n)); };
        steps["settle"] = [](qint64) { test::FakeChildProcessFactory::settle(); };
        steps["exit"] = [this](qint64 n) { children.last()->exit(int(n)); };
        steps["failStart"] = [this](qint64) { children.failStarts = 1; };
        steps["lid"] = [this](qint64) { store->setClamshellRunning({PowerSource::powerAdapter, {}, {}, {}, {}}); };
        steps["residual"] = [this](qint64) { store->setStartupResidual(true, std::nullopt); };
        steps["noStore"] = [this](qint64) { store.reset(); };
        run("tool 1");
    }
};

struct LiveRig : Rig {
    QProcess owner; // stands in for the application that caffeinate watches

    LiveRig()
    {
        owner.start("/bin/sleep", {"30"});
        owner.waitForStarted();
        preventer = std::make_unique<TimedSleepPreventer>(
            store.get(), qEnvironmentVariable(simlayout::kToolsVariable, QUORVEL_TOOLS_DIR) + "/caffeinate",
            qint32(owner.processId()), defaults, journal, std::make_shared<QtScheduler>());
        steps["ignoreTerm"] = [](qint64) { qputenv(simlayout::kCaffeinateIgnoresTermVariable, "1"); };
        steps["ready"] = [this](qint64) { QTRY_VERIFY(ready()); };
        steps["sigterm"] = [this](qint64) { ::kill(pid_t(pid), SIGTERM); };
        steps["ownerGone"] = [this](qint64) { owner.kill(); };
        steps["wait"] = [this](qint64) { // until a relaunch or a stop is through
            QVERIFY(QTest::qWaitFor([this] { return !preventer->isRelaunching() && !state().startsWith("stopping"); }));
        };
    }
    ~LiveRig() override { owner.kill(), owner.waitForFinished(), qunsetenv(simlayout::kCaffeinateIgnoresTermVariable); }
    // The stand-in records its pid once its signal handling is in place.
    bool ready()
    {
        QFile file(qEnvironmentVariable(simlayout::kRootVariable) + simlayout::kCaffeinateLog);
        pid = preventer->childPID(), sinceReady.start();
        return file.open(QIODevice::ReadOnly) && ("\n" + file.readAll()).contains("\n" + QByteArray::number(pid) + " ");
    }
};

} // namespace

class PreventerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_sim;

private slots:
    void initTestCase() { qputenv(simlayout::kRootVariable, m_sim.path().toUtf8()); }

    // Each row: the user's steps, then session and display-awake, the events and the log.
    void sessions_data()
    {
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char *script, const QString &state, const char *events, QStringList lines) {
            QTest::newRow(script) << state + " / " + events << lines;
        };
        const QString started = "timed session started, seconds=7200", stopped = "timed session stopped by user";
        const QString perm = "timed permanent session started", ended = "timed session ended naturally";
        const QString noTool = "[ERROR] [timed] timed launch failed, reason=caffeinateUnavailable";
        const QString killed = "[ERROR] [timed] caffeinate did not exit on SIGTERM, sending SIGKILL";
        const QString failed = "failed(processExitedUnexpectedly)", noLaunch = "failed(processLaunchFailed)";
        const QString sigterm = "[ERROR] [timed] timed session failed unexpectedly, status=15";
        row("timed 7200", "running(7200) off", "timedStarted(7200)", {started});
        row("perm", "runningPermanent off", "timedStarted(0)", {perm});
        row("timed 7200; tick 9000", "running(0) off", "timedStarted(7200)", {started});
        row("timed 7200; stop", "stopping off", "timedStarted(7200)", {started});
        row("pref; timed 7200; stop; settle", "off off", "timedStarted(7200) displayAwakeOff timedStoppedManually",
            {started, stopped});
        row("timed 1800; adjust -1800; settle", "off off", "timedStarted(1800) timedStoppedManually",
            {"timed session started, seconds=1800", stopped});
        row("perm; exit 15", failed + " off", "timedStarted(0) timedFailed", {perm, sigterm});
        row("pref; timed 7200; exit 1", failed + ' ' + failed, "timedStarted(7200) displayAwakeFailed timedFailed",
            {started, "[ERROR] [timed] timed session failed unexpectedly, status=1"});
        row("tool 0; timed 7200", "failed(caffeinateUnavailable) off", "timedFailed", {noTool});
        row("tool 0; timed 7200; tool 1; timed 7200", "running(7200) off", "timedFailed timedStarted(7200)",
            {noTool, started});
        row("failStart; pref; perm", noLaunch + ' ' + noLaunch, "displayAwakeFailed timedFailed",
            {"[ERROR] [timed] timed permanent launch failed, reason=processLaunchFailed"});
        row("lid; timed 7200", "off off", "", {});
        row("residual; perm", "off off", "", {});
        // A relaunch keeps showing the old time until the new child runs.
        row("timed 7200; tick 200; adjust 1800; tick 5", "running(7000) off", "timedStarted(7200)", {started});
        row("timed 7200; tick 200; adjust 1800; settle; tick 1", "running(8799) off", "timedStarted(7200)",
            {started, "timed session adjusted (relaunch), seconds=8800"});
        row("timed 7200; adjust -1800; failStart; settle", noLaunch + " off", "timedStarted(7200) timedFailed",
            {started, "[ERROR] [timed] timed launch failed, reason=processLaunchFailed"});
        row("timed 7200; adjust 1800; stop; settle", "off off", "timedStarted(7200) timedStoppedManually",
            {started, stopped});
        row("timed 7200; tick 100; displayOn; settle", "running(7100) on", "timedStarted(7200) displayAwakeOn",
            {started, "[INFO] [display] display awake joined current session",
             "timed session adjusted (relaunch), seconds=7100"});
        row("pref; perm; displayOff; settle", "runningPermanent off", "timedStarted(0) displayAwakeOff",
            {perm, "[INFO] [display] display awake left current session", "timed session switched to permanent"});
        // Without a store the child is still handled, and nothing new is admitted.
        row("timed 7200; noStore; exit 0; timed 7200", "off off", "timedStarted(7200) timedEndedNaturally",
            {started, ended});
        // Quit during a relaunch: the child ends, nothing relaunches and the store is left alone.
        row("pref; timed 7200; tick 10; adjust 1800; cleanup; settle; tick 5", "running(7190) on", "timedStarted(7200)",
            {started});
        row("live; timed 2; ready", "ended off", "timedStarted(2) timedEndedNaturally",
            {"timed session started, seconds=2", ended});
        row("live; ignoreTerm; perm; ready; stop", "off off", "timedStarted(0) timedStoppedManually",
            {perm, killed, stopped});
        row("live; perm; ready; sigterm", failed + " off", "timedStarted(0) timedFailed", {perm, sigterm});
        row("live; perm; ready; ownerGone", "ended off", "timedStarted(0) timedEndedNaturally", {perm, ended});
        // At quit the child goes at once and the store keeps what it showed.
        row("live; timed 7200; ready; cleanup", "running(7200) off", "timedStarted(7200)", {started});
        row("live; ignoreTerm; timed 7200; ready; cleanup", "running(7200) off", "timedStarted(7200)",
            {started, killed});
    }

    void sessions()
    {
        const QString script = QTest::currentDataTag();
        const std::unique_ptr<Rig> rig(script.startsWith("live") ? (Rig *)new LiveRig : new FakeRig);
        rig->run(QString(script).remove("live;"));
        QFETCH(QString, outcome);
        QTRY_COMPARE_WITH_TIMEOUT(rig->state() + " / " + rig->events(), outcome, 5000); // live children take time
        QTEST(rig->lines(), "lines");
        QVERIFY(rig->pid == 0 || ::kill(pid_t(rig->pid), 0) != 0);                   // the child has gone
        QVERIFY(!script.contains("ignoreTerm") || rig->sinceReady.elapsed() >= 450); // not on SIGTERM alone
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("launches");
        const auto row = [](const char *script, const char *launches) { QTest::newRow(script) << QString(launches); };
        row("pref; timed 600", "-i -d -t 600");
        row("timed 0", "");
        row("timed 60; perm; timed 90", "-i -t 60");
        row("timed 2000; adjust -1800; settle", "-i -t 2000 / -i -t 1800");
        row("timed 28800; adjust 1800; settle", "-i -t 28800");
        row("timed 7200; adjust 9223372036854775807; settle", "-i -t 7200 / -i -t 28800");
        row("perm; adjust 1800; settle", "-i");
        row("timed 5200; tick 200; toPerm; settle; tick 60; toTimed; settle", "-i -t 5200 / -i / -i -t 5000");
        row("timed 5200; tick 200; toPerm; toTimed; settle", "-i -t 5200 / -i -t 5000");
        row("timed 5200; adjust 1800; toPerm; settle", "-i -t 5200 / -i");
        // A countdown that has run out is no reason to refuse the way back.
        row("timed 60; tick 60; toPerm; settle; toTimed; settle", "-i -t 60 / -i / -i -t 0");
        row("timed 600; toTimed 900; settle", "-i -t 600");
        row("perm; displayOn; settle", "-i / -i -d");
        row("pref; timed 600; tick 100; displayOff; settle", "-i -d -t 600 / -i -t 500");
        row("timed 5000; adjust 1800; displayOn; settle", "-i -t 5000 / -i -d -t 6800");
        // Display-awake is remembered only when chosen during a session.
        row("displayOn; timed 600", "-i -t 600");
        row("timed 600; displayOn; settle; stop; settle; timed 300", "-i -t 600 / -i -d -t 600 / -i -d -t 300");
    }

    void commandLine()
    {
        FakeRig rig;
        rig.run(QTest::currentDataTag());
        QStringList launches; // "-w 4242 -i" shortened to "-i"
        for (const auto &child : rig.children.children)
            launches << child->arguments.join(' ').replace("-w 4242 -i", "-i");
        QTEST(launches.join(" / "), "launches");
    }

    // A hundred live starts, relaunches and stops leave no descriptor open.
    void hundredCyclesLeakNothing()
    {
        LiveRig rig;
        const auto descriptors = [] { return QDir("/proc/self/fd", {}, {}, QDir::AllEntries | QDir::System).count(); };
        rig.run("timed 600; stop; wait"); // once first, so that lazily opened descriptors count
        const auto before = descriptors();
        for (int i = 0; i < 100; ++i)
            rig.run("timed 600; adjust 1800; wait; stop; wait");
        QCOMPARE(descriptors(), before);
        QCOMPARE(rig.journal->events().size(), 202);
    }
};

QTEST_GUILESS_MAIN(PreventerTest)
#include "tst_preventer.moc"
