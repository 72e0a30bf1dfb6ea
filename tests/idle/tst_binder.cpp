// Sessions kept for a job: a process binding ends its session as a natural end, through the
// preventer's own stop; a change by hand drops the binding and the watch with it. Fake
// children and a fake watcher.

#include "idle/SessionBinder.h"
#include "platform/sim/SimLayout.h"
#include "support/FakeChildProcess.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

namespace {

// The watcher seam: the test says when the process ends and sees whether the watch is held.
struct FakeWatching {
    bool running = true;
    std::function<void()> onExit;
    QPointer<QObject> watch;

    ProcessWatching seam()
    {
        return {[this](qint64, std::function<void()> exited) -> std::unique_ptr<QObject> {
                    if (!running)
                        return nullptr;
                    onExit = std::move(exited);
                    auto object = std::make_unique<QObject>();
                    watch = object.get();
                    return object;
                },
                [](qint64 pid) { return pid == 77 ? QStringLiteral("make") : QString(); }};
    }
    void exit()
    {
        if (onExit)
            onExit();
    }
};

struct Rig {
    QTemporaryDir sim;
    AppStateStore store{PowerContext{}};
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(100);
    std::shared_ptr<test::FakeScheduler> scheduler = std::make_shared<test::FakeScheduler>();
    test::FakeChildProcessFactory children;
    test::LogCapture log;
    FakeWatching watching;
    std::unique_ptr<TimedSleepPreventer> timed;
    std::unique_ptr<SessionBinder> binder;

    Rig()
    {
        QFile::link("/bin/true", sim.filePath("caffeinate"));
        timed = std::make_unique<TimedSleepPreventer>(&store, sim.filePath("caffeinate"), 4242,
                                                      std::make_shared<MemoryUserDefaults>(), journal, scheduler,
                                                      children.factory());
        binder = std::make_unique<SessionBinder>(QPointer<AppStateStore>(&store), *timed, watching.seam());
    }
    bool bindProcess(qint64 pid)
    {
        SessionBinding binding{SessionBinding::Kind::process, binder->processName(pid), pid, {}};
        return binder->bindToProcess(pid, binding);
    }
    QString events() const
    {
        QStringList out;
        for (const VemoEvent &e : journal->events()) {
            const auto *started = std::get_if<EventKind::TimedStarted>(&e.kind);
            out << caseName(e.kind)
                       + (started && started->binding
                              ? QString("(%1 %2)").arg(started->binding->name).arg(started->binding->pid.value_or(0))
                              : QString());
        }
        return out.join(' ');
    }
};

} // namespace

class BinderTest : public QObject {
    Q_OBJECT

private slots:
    // A session kept while process 77 ("make") runs, then a change, then the process ends.
    void processBinding_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("session"); // after the process ended
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("stillBound"); // before the process ended
        const QString start = "timedStarted(make 77)";
        QTest::newRow("none") << ""
                              << "ended" << start + " timedEndedNaturally" << true;
        QTest::newRow("timed from the menu") << "toTimed"
                                             << "running" << start << false;
        QTest::newRow("stopped from the menu") << "stop"
                                               << "off" << start + " timedStoppedManually" << false;
        QTest::newRow("display toggle keeps it")
            << "display"
            << "ended" << start + " displayAwakeOn displayAwakeOff timedEndedNaturally" << true;
    }
    void processBinding()
    {
        QFETCH(QString, change);
        Rig rig;
        QVERIFY(rig.bindProcess(77));
        rig.timed->startPermanent();
        QVERIFY(rig.store.state().sessionBinding);
        if (change == "toTimed")
            rig.timed->switchToTimed(600);
        else if (change == "stop")
            rig.timed->stop();
        else if (change == "display")
            rig.store.setDisplayAwake(DisplayAwake::Starting{}), rig.timed->setDisplayAwake(true);
        test::FakeChildProcessFactory::settle();
        QFETCH(bool, stillBound);
        QCOMPARE(rig.binder->isBound(), stillBound);
        QCOMPARE(bool(rig.watching.watch), stillBound); // an unbound session holds no watch
        QCOMPARE(bool(rig.store.state().sessionBinding), stillBound);

        rig.watching.exit();
        test::FakeChildProcessFactory::settle();
        const QString session = QString("off starting running runningPermanent stopping ended failed")
                                    .split(' ')[rig.store.state().timedSession.index()];
        QTEST(session, "session");
        QTEST(rig.events(), "events");
        QCOMPARE(rig.log.lines().contains("[INFO] [timed] bound session ending, process exited, pid=77, name=make"),
                 stillBound);
        QVERIFY(!rig.store.state().sessionBinding);
    }

    // A process that has gone binds nothing; a refused start leaves no binding behind.
    void refusals()
    {
        Rig rig;
        rig.watching.running = false;
        QVERIFY(!rig.bindProcess(77));
        QVERIFY(!rig.store.state().sessionBinding && !rig.binder->isBound());

        rig.watching.running = true;
        rig.store.setClamshellRunning({PowerSource::powerAdapter, {}, {}, {}, {}});
        QVERIFY(rig.bindProcess(77));
        rig.timed->startPermanent(); // closed-lid mode refuses it
        rig.binder->release();
        QVERIFY(!rig.store.state().sessionBinding && !rig.watching.watch);
        QCOMPARE(rig.events(), "");
    }

    // A clock-time binding is dropped by "more", and ends as the countdown ends.
    void untilBinding()
    {
        Rig rig;
        const QDateTime at = QDateTime::fromString("2026-12-07T18:30:00Z", Qt::ISODate);
        rig.binder->bindUntil(at);
        rig.timed->startTimed(600);
        QCOMPARE(rig.store.state().sessionBinding->until, at);
        rig.scheduler->advance(std::chrono::seconds(601));
        test::FakeChildProcessFactory::settle();
        rig.children.last()->exit(0); // the stand-in ends at the end of -t
        QVERIFY(!rig.store.state().sessionBinding);

        rig.binder->bindUntil(at);
        rig.timed->startTimed(600);
        rig.timed->adjustRemaining(TimedSleepPreventer::adjustmentStep);
        QVERIFY(!rig.store.state().sessionBinding && !rig.binder->isBound());
    }
};

QTEST_GUILESS_MAIN(BinderTest)
#include "tst_binder.moc"
