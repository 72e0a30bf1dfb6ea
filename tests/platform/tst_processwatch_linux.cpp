// The pidfd watcher against real children: told once when one ends, never for one gone.

#include "idle/ProcessWatching.h"

#include <QProcess>
#include <QTest>

using namespace quorvel;

class ProcessWatchTest : public QObject {
    Q_OBJECT

private slots:
    void toldOnceWhenTheChildEnds()
    {
        QProcess child;
        child.start("/bin/sleep", {"30"});
        QVERIFY(child.waitForStarted());
        const ProcessWatching live = liveProcessWatching();
        QCOMPARE(live.name(child.processId()), "sleep");
        int told = 0;
        auto watch = live.watch(child.processId(), [&] { ++told; });
        QVERIFY(watch);
        QTest::qWait(50);
        QCOMPARE(told, 0);
        child.kill();
        child.waitForFinished();
        QTRY_COMPARE(told, 1);
        QTest::qWait(50);
        QCOMPARE(told, 1);
        // Reaped: the pid names nothing any more.
        QVERIFY(!live.watch(child.processId(), [] {}));
        QVERIFY(live.name(child.processId()).isEmpty());
    }

    void nonsensePidsAreRefused()
    {
        const ProcessWatching live = liveProcessWatching();
        for (qint64 pid : {0LL, -1LL, 1LL << 40})
            QVERIFY2(!live.watch(pid, [] {}), qPrintable(QString::number(pid)));
        QVERIFY(live.name(0).isEmpty() && live.name(-5).isEmpty());
    }

    // Dropping the watch before the end means no call afterwards.
    void droppedWatchStaysQuiet()
    {
        QProcess child;
        child.start("/bin/sleep", {"30"});
        QVERIFY(child.waitForStarted());
        int told = 0;
        auto watch = liveProcessWatching().watch(child.processId(), [&] { ++told; });
        watch.reset();
        child.kill();
        child.waitForFinished();
        QTest::qWait(50);
        QCOMPARE(told, 0);
    }
};

QTEST_GUILESS_MAIN(ProcessWatchTest)
#include "tst_processwatch_linux.moc"
