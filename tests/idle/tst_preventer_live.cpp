// The preventer against real children of the stand-in caffeinate: real signals, real
// exit statuses, real descriptors. Waiting is kept to a few seconds in all.

#include "SessionText.h"
#include "idle/TimedSleepPreventer.h"
#include "platform/sim/SimLayout.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace quorvel;
using namespace std::chrono_literals;
using test::describe;

namespace {

QString toolsDir()
{
    const QString fromEnv = qEnvironmentVariable(simlayout::kToolsVariable);
    return fromEnv.isEmpty() ? QStringLiteral(QUORVEL_TOOLS_DIR) : fromEnv;
}

int openDescriptors()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

// Children of this process still in the process table, zombies included.
QList<qint64> ownChildren()
{
    QList<qint64> found;
    const QString me = QString::number(::getpid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...; comm may hold blanks, so split after its ')'.
        const QString text = QString::fromLatin1(stat.readAll());
        const QStringList rest = text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        if (rest.value(1) == me)
            found << entry.toLongLong();
    }
    return found;
}

bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

class PreventerLiveTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_tool;
    std::unique_ptr<test::LogCapture> m_log;
    std::unique_ptr<AppStateStore> m_store;
    std::shared_ptr<InMemoryEventJournal> m_journal;
    std::unique_ptr<TimedSleepPreventer> m_preventer;

    QString session() const { return describe(m_store->state().timedSession); }
    QStringList eventKinds() const
    {
        QStringList out;
        for (const VemoEvent &e : m_journal->events())
            out << caseName(e.kind);
        return out;
    }
    void makePreventer(qint32 parentPID = 0)
    {
        m_preventer = std::make_unique<TimedSleepPreventer>(m_store.get(), m_tool, parentPID,
                                                            std::make_shared<MemoryUserDefaults>(), m_journal,
                                                            std::make_shared<QtScheduler>());
    }
    // Waits on the store's own signal rather than polling, so a hundred cycles stay quick.
    bool waitForSession(const QString &wanted, int timeoutMs = 5000)
    {
        if (session() == wanted)
            return true;
        QEventLoop loop;
        QObject::connect(m_store.get(), &AppStateStore::changed, &loop, [&] {
            if (session() == wanted)
                loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return session() == wanted;
    }
    // The stand-in writes its line once its signal handling is in place.
    bool childReady(qint64 pid) const
    {
        QFile log(m_home.filePath(QStringLiteral("sim/caffeinate.log")));
        return log.open(QIODevice::ReadOnly) && log.readAll().contains("\n" + QByteArray::number(pid) + " ");
    }
    void setIgnoresTerm(bool on)
    {
        const QString flag = m_home.filePath(QStringLiteral("sim/caffeinate-ignores-term"));
        QDir().mkpath(m_home.filePath(QStringLiteral("sim")));
        if (on)
            QFile(flag).open(QIODevice::WriteOnly);
        else
            QFile::remove(flag);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        for (const char *var : {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", simlayout::kRootVariable})
            qputenv(var, m_home.path().toUtf8());
        qunsetenv(simlayout::kCaffeinateIgnoresTermVariable);
        m_tool = toolsDir() + QStringLiteral("/caffeinate");
        QVERIFY2(QFileInfo(m_tool).isExecutable(), qPrintable("stand-in missing: " + m_tool));
        // The log line's "\n<pid> " match needs a line before the first one.
        QDir().mkpath(m_home.filePath(QStringLiteral("sim")));
        QFile log(m_home.filePath(QStringLiteral("sim/caffeinate.log")));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("\n");
    }

    void init()
    {
        setIgnoresTerm(false);
        m_log = std::make_unique<test::LogCapture>();
        m_store = std::make_unique<AppStateStore>(PowerContext{});
        m_journal = std::make_shared<InMemoryEventJournal>(1000);
        makePreventer();
    }

    void cleanup()
    {
        m_preventer.reset();
        m_store.reset();
        m_log.reset();
        QVERIFY(ownChildren().isEmpty());
    }

    // Qt reports a signalled child as a crash; the seam must hand on the signal number.
    void childStatus_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        const QString tool = toolsDir() + QStringLiteral("/caffeinate");
        QTest::newRow("exit code") << "/bin/sh" << QStringList{"-c", "exit 3"} << 0 << 3;
        QTest::newRow("-t expiry") << tool << QStringList{"-t", "1"} << 0 << 0;
        QTest::newRow("SIGTERM") << tool << QStringList{"-i"} << int(SIGTERM) << 15;
        QTest::newRow("SIGKILL") << tool << QStringList{"-i"} << int(SIGKILL) << 9;
    }

    void childStatus()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        auto child = liveChildProcessFactory()(program, arguments);
        std::optional<int> reported;
        QThread *reportedOn = nullptr;
        child->setFinishedHandler([&](int status) {
            reported = status;
            reportedOn = QThread::currentThread();
        });
        QVERIFY(child->start());
        QVERIFY(child->pid() > 0);
        if (signal == SIGTERM)
            child->terminate();
        else if (signal == SIGKILL)
            child->kill();
        QTRY_VERIFY_WITH_TIMEOUT(reported.has_value(), 5000);
        QTEST(*reported, "status");
        QCOMPARE(reportedOn, thread());
        QVERIFY(!child->isRunning());
    }

    void refusedStartReportsNothing()
    {
        auto child = liveChildProcessFactory()(m_home.filePath(QStringLiteral("no-such-tool")), {});
        bool reported = false;
        child->setFinishedHandler([&](int) { reported = true; });
        QVERIFY(!child->start());
        QTest::qWait(50);
        QVERIFY(!reported);
    }

    void twoSecondSessionEndsNaturally()
    {
        m_preventer->startTimed(2);
        QCOMPARE(session(), QString("running(2)"));
        QTRY_COMPARE_WITH_TIMEOUT(session(), QString("ended"), 5000);
        QCOMPARE(eventKinds(), (QStringList{"timedStarted", "timedEndedNaturally"}));
        QCOMPARE(std::get<EventKind::TimedEndedNaturally>(m_journal->events().last().kind).remainingSeconds,
                 std::nullopt);
        QCOMPARE(m_log->lines(), (QStringList{"[INFO] [timed] timed session started, seconds=2",
                                              "[INFO] [timed] timed session ended naturally"}));
        QCOMPARE(m_preventer->childPID(), 0);
    }

    void childIgnoringSigtermIsKilledAfterTheGrace()
    {
        setIgnoresTerm(true);
        m_preventer->startPermanent();
        const qint64 pid = m_preventer->childPID();
        QTRY_VERIFY(childReady(pid));
        QElapsedTimer clock;
        clock.start();
        m_preventer->stop();
        QCOMPARE(session(), QString("stopping"));
        QTRY_COMPARE_WITH_TIMEOUT(session(), QString("off"), 5000);
        QVERIFY(clock.elapsed() >= 450); // SIGTERM alone did not end it
        QVERIFY(processGone(pid));
        QCOMPARE(m_log->lines(), (QStringList{"[INFO] [timed] timed permanent session started",
                                              "[ERROR] [timed] caffeinate did not exit on SIGTERM, sending SIGKILL",
                                              "[INFO] [timed] timed session stopped by user"}));
        QCOMPARE(eventKinds(), (QStringList{"timedStarted", "timedStoppedManually"}));
    }

    void cleanupAtQuitLeavesNoCaffeinate_data()
    {
        QTest::addColumn<bool>("ignoresTerm");
        QTest::newRow("ends on SIGTERM") << false;
        QTest::newRow("ignores SIGTERM") << true;
    }

    void cleanupAtQuitLeavesNoCaffeinate()
    {
        QFETCH(bool, ignoresTerm);
        setIgnoresTerm(ignoresTerm);
        m_preventer->startTimed(600);
        const qint64 pid = m_preventer->childPID();
        QTRY_VERIFY(childReady(pid));
        const VemoState before = m_store->state();
        QVERIFY(m_preventer->cleanup());
        QVERIFY(processGone(pid));
        QVERIFY(ownChildren().isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(m_store->state(), before);
        QCOMPARE(m_log->lines().contains("[ERROR] [timed] caffeinate did not exit on SIGTERM, sending SIGKILL"),
                 ignoresTerm);
    }

    void caffeinateExitsWhenTheWatchedProcessIsGone()
    {
        QProcess owner; // stands in for the application that caffeinate watches
        owner.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
        QVERIFY(owner.waitForStarted());
        makePreventer(qint32(owner.processId()));
        m_preventer->startPermanent();
        QTRY_VERIFY(childReady(m_preventer->childPID()));
        owner.kill();
        QVERIFY(owner.waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(session(), QString("ended"), 5000);
        QCOMPARE(eventKinds(), (QStringList{"timedStarted", "timedEndedNaturally"}));
    }

    void externalSigtermFailsTheSession()
    {
        m_preventer->startPermanent();
        const qint64 pid = m_preventer->childPID();
        QTRY_VERIFY(childReady(pid));
        ::kill(pid_t(pid), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(session(), QString("failed(processExitedUnexpectedly)"), 5000);
        QCOMPARE(m_log->lines().last(), QString("[ERROR] [timed] timed session failed unexpectedly, status=15"));
    }

    // Start, relaunch and stop a hundred times: every child is reaped and every
    // descriptor that a child needed is closed again.
    void hundredCyclesLeakNothing()
    {
        // One cycle first, so that lazily made descriptors (log, notifiers) are counted in.
        m_preventer->startTimed(600);
        m_preventer->stop();
        QTRY_COMPARE(session(), QString("off"));
        const int descriptors = openDescriptors();
        for (int i = 0; i < 100; ++i) {
            m_preventer->startTimed(600);
            m_preventer->adjustRemaining(1800);
            QVERIFY(waitForSession(QStringLiteral("running(2400)")));
            m_preventer->stop();
            QVERIFY(waitForSession(QStringLiteral("off")));
        }
        QCOMPARE(openDescriptors(), descriptors);
        QCOMPARE(ownChildren(), QList<qint64>());
        QCOMPARE(m_journal->events().size(), 2 + 2 * 100);
    }
};

QTEST_GUILESS_MAIN(PreventerLiveTest)
#include "tst_preventer_live.moc"
