// A day of use in under a minute: 24 hours of countdown in virtual time and 10,000 mode
// changes (timed on and off, more and less time, display on and off, indefinite) through the
// whole graph on the simulated platform, with a real stand-in caffeinate for every session the
// graph starts. What must not grow is memory and open descriptors: both are read from /proc
// after a warm-up and again at the end.
//
//   build/bench/bench_soak [changes]      (prints one "soak:" line; 10,000 changes by default)

#include "composition/SimApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
        .size();
}

struct Soak {
    test::SimApp sim;
    TimedSleepPreventer &timed = sim.app->timedController();
    int changes = 0;
    int unsettled = 0;
    qint64 lastChild = 0;
    int children = 0; // caffeinate processes the graph started and settled with

    // A change is done when the graph has nothing of it in flight: no relaunch pending and a
    // child exactly when a session runs. Real children end on their own time, so the event
    // loop runs meanwhile; the terminate grace goes through the virtual scheduler.
    void settle()
    {
        const QDeadlineTimer deadline(3000);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const TimedSessionState &session = sim.state().timedSession;
            const bool running = is<TimedSession::Running>(session) || is<TimedSession::RunningPermanent>(session);
            const bool moving = is<TimedSession::Starting>(session) || is<TimedSession::Stopping>(session);
            if (!moving && !timed.isRelaunching() && running == (timed.childPID() > 0))
                return;
            sim.scheduler->advance(10ms);
        }
        ++unsettled;
    }

    void change(const std::function<void()> &step)
    {
        step();
        ++changes;
        settle();
        if (const qint64 pid = timed.childPID(); pid > 0 && pid != lastChild) {
            lastChild = pid;
            ++children;
        }
    }

    // One round of the changes a person makes in a day, seven of them.
    void round()
    {
        change([&] { sim.app->startTimed(3600); });
        change([&] { timed.adjustRemaining(TimedSleepPreventer::adjustmentStep); });
        change([&] { timed.adjustRemaining(-TimedSleepPreventer::adjustmentStep); });
        change([&] { sim.app->setDisplayAwake(true); });
        change([&] { sim.app->setDisplayAwake(false); });
        change([&] { timed.switchToPermanent(); });
        change([&] { sim.app->stopTimed(); });
    }

    // Eight-hour sessions, the longest there is, counted down second by second.
    void countDown(std::chrono::hours total)
    {
        for (auto done = 0h; done < total; done += 8h) {
            change([&] { sim.app->startTimed(TimedSleepPreventer::longestAdjusted); });
            for (qint64 s = 0; s < TimedSleepPreventer::longestAdjusted; ++s)
                sim.scheduler->advance(1s);
            change([&] { sim.app->stopTimed(); });
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home; // never the user's folders, not even for the log's default place
    for (const char *var : {"HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(var, home.path().toUtf8());
    qputenv("QUORVEL_PLATFORM", "sim");
    QCoreApplication app(argc, argv);
    const int target = argc > 1 ? std::max(7, std::atoi(argv[1])) : 10000;

    Soak soak;
    soak.sim.app->start();
    soak.round(); // the first round allocates what every later one reuses
    soak.countDown(8h);
    const qint64 rssBefore = residentKiB();
    const qint64 fdsBefore = openDescriptors();

    QElapsedTimer clock;
    clock.start();
    const int warmUp = soak.changes;
    const int childrenBefore = soak.children;
    soak.countDown(24h);
    while (soak.changes - warmUp < target)
        soak.round();
    const qint64 rssAfter = residentKiB();
    const qint64 fdsAfter = openDescriptors();
    soak.sim.app->cleanupAll();
    const int children = soak.children - childrenBefore;

    std::printf("soak: %d changes, 24 h of countdown, %lld ms; RSS %lld -> %lld KiB (%+lld KiB); "
                "descriptors %lld -> %lld (%+lld); %lld caffeinate children; unsettled %d\n",
                soak.changes - warmUp, static_cast<long long>(clock.elapsed()), static_cast<long long>(rssBefore),
                static_cast<long long>(rssAfter), static_cast<long long>(rssAfter - rssBefore),
                static_cast<long long>(fdsBefore), static_cast<long long>(fdsAfter),
                static_cast<long long>(fdsAfter - fdsBefore), static_cast<long long>(children), soak.unsettled);
    return soak.unsettled == 0 ? 0 : 1;
}
