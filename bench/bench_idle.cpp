// Cost of one countdown tick of a timed session: the scheduled job publishes the new
// remaining time into the store and an observer that does no presentation work reads it.
// Virtual time drives the ticks, so only the tick's own work is measured.
//
//   build/bench/bench_idle            (prints the median per tick of 10,000 ticks)

#include "idle/TimedSleepPreventer.h"
#include "support/FakeChildProcess.h"
#include "support/FakeScheduler.h"
#include "support/LogCapture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <vector>

using namespace quorvel;
using namespace std::chrono_literals;

class IdleBench : public QObject {
    Q_OBJECT

    static constexpr int ticks = 10000;
    QTemporaryDir m_home; // never the user's folders, even for the log's default place

    struct Rig {
        QTemporaryDir dir;
        QString tool = dir.filePath(QStringLiteral("caffeinate"));
        test::LogCapture log;
        AppStateStore store{PowerContext{}};
        std::shared_ptr<test::FakeScheduler> scheduler = std::make_shared<test::FakeScheduler>();
        test::FakeChildProcessFactory children;
        TimedSleepPreventer preventer{&store,
                                      tool,
                                      4242,
                                      std::make_shared<MemoryUserDefaults>(),
                                      std::make_shared<InMemoryEventJournal>(16),
                                      scheduler,
                                      children.factory()};
        qint64 seen = 0;
        int notifications = 0;

        Rig()
        {
            QFile file(tool);
            file.open(QIODevice::WriteOnly);
            file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
            QObject::connect(&store, &AppStateStore::changed, [this] {
                ++notifications;
                if (const auto *r = std::get_if<TimedSession::Running>(&store.state().timedSession))
                    seen = r->remainingSeconds;
            });
            preventer.startTimed(ticks + 1);
            notifications = 0;
        }
    };

private slots:
    void initTestCase()
    {
        for (const char *var : {"HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            qputenv(var, m_home.path().toUtf8());
    }

    void medianPerTick()
    {
        Rig rig;
        std::vector<qint64> samples;
        samples.reserve(ticks);
        QElapsedTimer clock;
        for (int i = 0; i < ticks; ++i) {
            clock.start();
            rig.scheduler->advance(1s);
            samples.push_back(clock.nsecsElapsed());
        }
        QCOMPARE(rig.seen, qint64(1));
        // setTimedRunning writes two fields, so each tick notifies twice; nothing else fires.
        QCOMPARE(rig.notifications, 2 * ticks);
        std::sort(samples.begin(), samples.end());
        qInfo("%d ticks: median %lld ns, p90 %lld ns, max %lld ns per tick", ticks, samples[ticks / 2],
              samples[ticks * 9 / 10], samples.back());
    }

    void tenThousandTicks()
    {
        Rig rig;
        QBENCHMARK_ONCE
        {
            for (int i = 0; i < ticks; ++i)
                rig.scheduler->advance(1s);
        }
        QCOMPARE(rig.seen, qint64(1));
    }
};

QTEST_GUILESS_MAIN(IdleBench)
#include "bench_idle.moc"
