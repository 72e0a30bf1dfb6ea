#include "power/PowerMonitor.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <thread>

using namespace quorvel;

namespace {

// A change source that records each installation and keeps the notify function it was given,
// so a test can fire it (from any thread) after the monitor has dropped the subscription.
struct FakeChangeSource {
    struct Subscription final : PowerChangeSubscription {
        explicit Subscription(int *live)
            : live(live)
        {
            ++*live;
        }
        ~Subscription() override { --*live; }
        int *live;
    };
    int installs = 0;
    int live = 0;
    bool fail = false;
    std::function<void()> notify;

    PowerChangeSource seam()
    {
        return [this](std::function<void()> n) -> std::unique_ptr<PowerChangeSubscription> {
            ++installs;
            notify = std::move(n);
            if (fail)
                return nullptr;
            return std::make_unique<Subscription>(&live);
        };
    }
};

class Emitter : public QObject {
    Q_OBJECT
signals:
    void changed();
};

} // namespace

class PowerMonitorTest : public QObject {
    Q_OBJECT

    int reads = 0;
    QThread *readThread = nullptr;
    FakeChangeSource sources;
    FakeChangeSource lowPower;

    PowerMonitor::Provider provider()
    {
        return [this] {
            ++reads;
            readThread = QThread::currentThread();
            return PowerContext{PowerSource::battery, 40 + reads, false, std::nullopt, QDateTime()};
        };
    }

    static void deliver() { QCoreApplication::sendPostedEvents(); }

private slots:
    void init()
    {
        reads = 0;
        readThread = nullptr;
        sources = FakeChangeSource();
        lowPower = FakeChangeSource();
    }

    void refreshStoresAndNotifiesEveryTime()
    {
        AppStateStore store(PowerContext{});
        PowerMonitor monitor(&store, provider(), nullptr, nullptr);
        QList<PowerContext> heard;
        monitor.setOnChange([&](const PowerContext &ctx) { heard.append(ctx); });
        monitor.refresh();
        monitor.refresh();
        QCOMPARE(heard.size(), 2);
        QCOMPARE(store.state().power, heard.last());
        QCOMPARE(store.state().power.batteryLevel, std::optional<qint64>(42));
    }

    void startInstallsEachHalfOnce()
    {
        AppStateStore store(PowerContext{});
        PowerMonitor monitor(&store, provider(), sources.seam(), lowPower.seam());
        monitor.start();
        monitor.start();
        QCOMPARE(sources.installs, 1);
        QCOMPARE(lowPower.installs, 1);
        QCOMPARE(sources.live + lowPower.live, 2);

        monitor.setOnChange([](const PowerContext &) {});
        QVERIFY(monitor.stop());
        QCOMPARE(sources.live + lowPower.live, 0);
        QVERIFY(!monitor.hasOnChange());

        monitor.start();
        QCOMPARE(sources.installs, 2);
        QCOMPARE(lowPower.installs, 2);
        QCOMPARE(sources.live + lowPower.live, 2);
    }

    void missingPlatformSourceLeavesLowPowerHalf()
    {
        AppStateStore store(PowerContext{});
        sources.fail = true;
        PowerMonitor monitor(&store, provider(), sources.seam(), lowPower.seam());
        monitor.start();
        QVERIFY(!monitor.isObservingPowerSources());
        QVERIFY(monitor.isObservingLowPowerMode());
        lowPower.notify();
        deliver();
        QCOMPARE(reads, 1);
        // A later start tries the missing half again.
        sources.fail = false;
        monitor.start();
        QVERIFY(monitor.isObservingPowerSources());
        QCOMPARE(lowPower.installs, 1);
    }

    void notificationsHopToTheMainThread()
    {
        AppStateStore store(PowerContext{});
        PowerMonitor monitor(&store, provider(), sources.seam(), lowPower.seam());
        monitor.start();
        std::thread platform([&] {
            sources.notify();
            lowPower.notify();
            sources.notify();
        });
        platform.join();
        QCOMPARE(reads, 0); // nothing is read on the notifying thread
        deliver();
        QCOMPARE(reads, 3); // one refresh per notification, no coalescing
        QCOMPARE(readThread, QThread::currentThread());
        QCOMPARE(store.state().power.batteryLevel, std::optional<qint64>(43));
    }

    void nothingReachesTheStoreAfterStop()
    {
        AppStateStore store(PowerContext{});
        auto monitor = std::make_unique<PowerMonitor>(&store, provider(), sources.seam(), lowPower.seam());
        int heard = 0;
        monitor->setOnChange([&](const PowerContext &) { ++heard; });
        monitor->start();
        sources.notify(); // queued before stop, delivered after it
        monitor->stop();
        QSignalSpy spy(&store, &AppStateStore::changed);
        lowPower.notify(); // a platform callback that fires late
        deliver();
        QCOMPARE(reads, 0);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(heard, 0);

        // A stale callback from the first installation stays dead after a restart.
        const auto stale = sources.notify;
        monitor->start();
        stale();
        deliver();
        QCOMPARE(reads, 0);

        // Nor does one that fires after the monitor is gone.
        const auto orphaned = sources.notify;
        monitor.reset();
        orphaned();
        deliver();
        QCOMPARE(reads, 0);
    }

    void qobjectSignalAdaptsToTheSeam()
    {
        AppStateStore store(PowerContext{});
        Emitter watcher;
        PowerMonitor monitor(&store, provider(), changeSourceFromSignal(&watcher, &Emitter::changed), nullptr);
        monitor.start();
        emit watcher.changed();
        deliver();
        QCOMPARE(reads, 1);
        monitor.stop();
        emit watcher.changed();
        deliver();
        QCOMPARE(reads, 1);
    }
};

QTEST_GUILESS_MAIN(PowerMonitorTest)
#include "tst_powermonitor.moc"
