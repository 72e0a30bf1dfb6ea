// What the app leaves behind, however it ends and whatever the disk does. Killed outright
// (SIGKILL: no clean-up runs), a caffeinate child must not outlive it, and a sleep setting it
// left disabled is found by the next launch and taken over when the rule allows. Every
// termination signal, the end of its input and the quit command run the same orderly quit, so
// nothing it changed outlives it; a leftover it cannot switch back is never reported as
// restored. The history and the log survive a line cut off by a crash, corrupt or huge
// content, folders that are not there to write and a full disk: start-up always works, the
// newest events always survive, and nothing half-written is left behind.

#include "Reliability.h"

#include <QElapsedTimer>

#include <csignal>
#include <unistd.h>

using namespace quorvel;
using namespace quorvel::test;

using History = std::tuple<int, QByteArray, QByteArray, bool>;
Q_DECLARE_METATYPE(History)

namespace {

// Launches, runs a short session, quits (at once: with nothing running, nobody is asked); true
// when all of that worked.
bool launchRunAndQuit(RealApp &app)
{
    app.start();
    if (!app.waitForState("idle: ") || !startSession(app, "start 60", false) || !app.waitForState("0:01:00"))
        return false;
    app.send("stop");
    if (!app.waitForState("idle: Not active"))
        return false;
    app.send("quit");
    return app.waitForExit() && app.process().exitCode() == 0 && !app.launchOutput().contains("alert: ");
}

// The events a launch leaves, in order, whatever it found.
const QStringList aRun{"appLaunched", "timedStarted", "timedStoppedManually", "cleanupCompleted", "appQuit"};

} // namespace

class CrashTest : public QObject {
    Q_OBJECT

    // Killed outright; the history says what happened up to the kill, with no half-written line.
    static void kill(RealApp &app)
    {
        ::kill(pid_t(app.pid()), SIGKILL);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.process().exitStatus(), QProcess::CrashExit);
        QCOMPARE(historyLineCount(app), app.historyKinds().size());
    }

private slots:
    void killedDuringASessionLeavesNoChild_data()
    {
        QTest::addColumn<QString>("session");
        for (const char *session : {"timed", "timed with display", "indefinite with display"})
            QTest::newRow(session) << QString(session);
    }
    void killedDuringASessionLeavesNoChild()
    {
        QFETCH(QString, session);
        const QString command = session.startsWith("timed") ? "start 600" : "indefinite";
        RealApp app;
        app.start();
        RVERIFY(app, startSession(app, command, session.contains("display")));
        RVERIFY(app, app.waitFor([&] { return app.historyKinds().contains("timedStarted"); }));
        kill(app);
        QElapsedTimer gone;
        gone.start();
        RVERIFY(app, app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }, 2000));
        QVERIFY(gone.elapsed() < 2000);

        // The next launch starts clean: nothing flagged, a new session starts.
        app.start();
        RVERIFY(app, startSession(app, command, false));
        app.closeInput();
        RVERIFY(app, app.waitForExit());
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }

    // Each way out meets each mode at least once: closed-lid mode (the one that outlives a
    // careless quit) with every one. A leftover of an earlier run (killed in closed-lid mode, or
    // found with no rule until the user authorizes) is flagged, then taken over without a gap
    // and restored like the mode; without the rule that could switch it back, it is never
    // reported as restored.
    void everyWayOut_data()
    {
        QTest::addColumn<int>("signal"); // 0: end of input, -1: the quit command
        QTest::addColumn<QString>("mode");
        QTest::newRow("SIGTERM, nothing") << int(SIGTERM) << "nothing";
        QTest::newRow("SIGTERM, timed+display") << int(SIGTERM) << "timed+display";
        QTest::newRow("SIGTERM, closedLid") << int(SIGTERM) << "closedLid";
        QTest::newRow("SIGTERM, leftover") << int(SIGTERM) << "leftover";
        QTest::newRow("SIGINT, indefinite+display") << int(SIGINT) << "indefinite+display";
        QTest::newRow("SIGINT, closedLid") << int(SIGINT) << "closedLid";
        QTest::newRow("SIGHUP, timed") << int(SIGHUP) << "timed";
        QTest::newRow("SIGHUP, timed+display, then closedLid") << int(SIGHUP) << "timed+display, then closedLid";
        QTest::newRow("end of input, timed+display, then closedLid") << 0 << "timed+display, then closedLid";
        QTest::newRow("end of input, leftover") << 0 << "leftover";
        QTest::newRow("end of input, killed in closedLid") << 0 << "killed in closedLid";
        QTest::newRow("quit, leftover") << -1 << "leftover";
        QTest::newRow("quit, leftover, then authorize") << -1 << "leftover, then authorize";
    }
    void everyWayOut()
    {
        QFETCH(int, signal);
        QFETCH(QString, mode);
        RealApp app;
        if (mode.startsWith("killed")) {
            app.start();
            RVERIFY(app, startClosedLid(app));
            kill(app);
        } else if (mode.startsWith("leftover")) {
            app.writeSandbox("sim/disablesleep", "1\n");
        }
        const bool leftover = mode == "leftover", takenOver = mode.contains("killed") || mode.contains("authorize");
        app.start();
        RVERIFY(app,
                app.waitForState(mode.startsWith("leftover") ? "Sleep disabled · authorization needed" : "idle: "));
        if (mode.startsWith("timed") || mode.startsWith("indefinite"))
            RVERIFY(app,
                    startSession(app, mode.startsWith("timed") ? "start 600" : "indefinite", mode.contains("display")));
        if (mode.contains("closedLid") && !takenOver) {
            RVERIFY(app, startClosedLid(app));
            // Closed-lid mode keeps the machine awake by itself: the session gives way.
            RVERIFY(app, app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }));
        }
        if (takenOver) {
            // Authorized once the start-up take-over, a second after launch, has found no rule.
            if (mode.contains("authorize")) {
                QTest::qWait(1200);
                app.send("authorize");
            }
            RVERIFY(app, app.waitForState("closed lid: On"));
            QCOMPARE(app.sleepSetting(), "1");
            RVERIFY(app, app.log().contains("[ERROR] [startup] startup residual detected, sleepDisabled=1"));
            RVERIFY(app, app.log().contains("[INFO] [startup] taking over residual via clamshell enable"));
            const QStringList kinds = kindsOfLastLaunch(app);
            const qsizetype detected = kinds.indexOf("startupResidualDetected");
            const qsizetype restored = kinds.indexOf("startupResidualRestoredByUser");
            QVERIFY2(detected > 0 && kinds.indexOf("clamshellStarted", detected) > detected && restored > detected
                         && kinds.indexOf("authorizationGranted") < restored,
                     qPrintable(kinds.join(' ')));
        }
        const qsizetype children = app.caffeinatePids().size();

        QElapsedTimer quitting;
        quitting.start();
        if (signal > 0)
            ::kill(pid_t(app.pid()), signal);
        else
            signal == 0 ? app.closeInput() : app.send("quit");
        RVERIFY(app, app.waitForExit(5000));
        QVERIFY2(quitting.elapsed() < 2000, qPrintable(QString::number(quitting.elapsed())));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        const QString sleep = leftover ? "1" : mode.contains("closedLid") || takenOver ? "0" : "";
        QCOMPARE(app.sleepSetting(), sleep);
        // Once, and never complete while sleep stays disabled.
        const QString log = app.log();
        QCOMPARE(log.count(leftover ? "[ERROR] [app] cleanup partial, failedModules=clamshell"
                                    : "[INFO] [app] cleanup completed, failedModules=none"),
                 1);
        QVERIFY2(!leftover || !log.contains("cleanup completed"), qPrintable(log));
        const QStringList kinds = kindsOfLastLaunch(app);
        QCOMPARE(kinds.value(kinds.size() - 1), "appQuit");
        QCOMPARE(kinds.count("appQuit"), 1);
        QCOMPARE(kinds.count(leftover ? "cleanupPartial" : "cleanupCompleted"), 1);
        // With a leftover the user is asked before the quit goes ahead, where anyone can be
        // (the terminal answers for them).
        if (leftover && signal <= 0) {
            RVERIFY(app,
                    app.output().contains("alert: Quit Quorvel? | Sleep is still disabled by an earlier session, and "
                                          "Quorvel can’t turn it back on without authorization. Authorize Quorvel"));
            QVERIFY(kinds.contains("quitRequested"));
        }

        // Nothing comes back once the app is gone: no late relaunch, no late take-over.
        QTest::qWait(100);
        QCOMPARE(app.sleepSetting(), sleep);
        QCOMPARE(app.caffeinatePids().size(), children);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }

    // What the history holds before the launch: `events` whole events with an `odd` line mixed
    // in (after every tenth event, or once in the middle when it is huge), then `end` without a
    // line feed; whether the start-up compacts it.
    void historyAsFound_data()
    {
        QTest::addColumn<History>("history");
        QTest::newRow("last line cut off by a crash") << History{20, {}, "{\"id\":\"8E6", false};
        QTest::newRow("corrupt lines") << History{200, "{\"kind\":{\"nope\":{}}}", "}{", false};
        QTest::newRow("invalid UTF-8") << History{200, "\xff\xfe\xc0\x80", {}, false};
        QTest::newRow("5,000 lines") << History{5000, {}, {}, true};
        QTest::newRow("20 MB file") << History{130000, {}, {}, true};
        QTest::newRow("20 MB single line") << History{300, QByteArray(20000000, '['), {}, true};
    }
    void historyAsFound()
    {
        QFETCH(History, history);
        const auto &[events, odd, end, compacted] = history;
        RealApp app;
        QByteArray before, newest;
        for (int n = 1; n <= events; ++n) {
            newest = encodeEvent(VemoEvent::make(EventKind::TimedStarted{n}));
            before += newest + '\n';
            // A huge line goes in once, in the middle; small ones every ten events.
            if (!odd.isEmpty() && (odd.size() < 1000 ? n % 10 == 0 : n == events / 2))
                before += odd + '\n';
        }
        before += end;
        QVERIFY(writeFile(app.historyPath(), before));

        QElapsedTimer startup;
        startup.start();
        RVERIFY(app, launchRunAndQuit(app));
        QVERIFY2(startup.elapsed() < 5000, qPrintable(QString::number(startup.elapsed())));
        const QByteArray after = readFile(app.historyPath());
        // The newest event found survives, and this run's events follow it, each whole.
        QVERIFY(after.contains(newest + '\n'));
        QCOMPARE(kindsOfLastLaunch(app), aRun);
        if (compacted) {
            QVERIFY(historyLineCount(app) <= 1000 + aRun.size());
            QCOMPARE(historyLineCount(app), app.historyKinds().size());
            QVERIFY(!after.contains(odd.left(1000)) || odd.isEmpty());
        } else {
            // Nothing that was there is touched; a cut-off line keeps its place on a line of
            // its own.
            QVERIFY(after.startsWith(before));
            QCOMPARE(after.mid(before.size(), end.isEmpty() ? 0 : 1), end.isEmpty() ? "" : "\n");
        }
        // The next launch finds everything in order again.
        RVERIFY(app, launchRunAndQuit(app));
        QCOMPARE(kindsOfLastLaunch(app), aRun);
    }

    // The folders of the history and the log are not there to write: the app runs as ever and
    // says so once, on standard error, in the log's own form.
    void recordsOff_data()
    {
        QTest::addColumn<QString>("blocked"); // the history's, the log's, or both, replaced by a file or unwritable
        for (const char *blocked : {"history folder is a file", "log folder is a file", "both folders are files",
                                    "history folder unwritable", "log folder unwritable"})
            QTest::newRow(blocked) << QString(blocked);
    }
    void recordsOff()
    {
        QFETCH(QString, blocked);
        const bool history = !blocked.startsWith("log"), log = !blocked.startsWith("history");
        const bool unwritable = blocked.contains("unwritable");
        if (unwritable && ::geteuid() == 0)
            QSKIP("root writes into any folder");
        RealApp app;
        QStringList folders;
        if (history)
            folders << QFileInfo(app.historyPath()).path();
        if (log)
            folders << QFileInfo(app.logPath()).path();
        for (const QString &folder : folders)
            QVERIFY(unwritable
                        ? QDir().mkpath(folder) && QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner)
                        : writeFile(folder, "not a folder\n"));
        RVERIFY(app, launchRunAndQuit(app));
        RVERIFY(app, launchRunAndQuit(app)); // once per launch, and every launch works
        const QString errors = app.errors();
        QCOMPARE(errors.count("records off, file=EventHistory.jsonl"), history ? 2 : 0);
        QCOMPARE(errors.count("records off, file=diagnostic.log"), log ? 2 : 0);
        QVERIFY(errors.contains(" [WARNING] [app] records off, file="));
        if (!history)
            QCOMPARE(app.historyKinds(), aRun + aRun);
        if (!log)
            QVERIFY(app.log().contains("[WARNING] [app] records off, file=EventHistory.jsonl"));
        for (const QString &folder : folders) {
            QVERIFY(unwritable || readFile(folder) == "not a folder\n");
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

    // The disk fills up while the app writes: nothing that was there is lost, no half line is
    // left, and writing resumes when there is room again.
    void fullDisk()
    {
        RealApp app;
        QByteArray history;
        for (int n = 1; n <= 30; ++n)
            history += encodeEvent(VemoEvent::make(EventKind::TimedStarted{n})) + '\n';
        // The log as long as the history, so one limit leaves each room for part of a line.
        const QByteArray stamp = "2026-12-04 15:26:46.123 [INFO] [app] ";
        const QByteArray log = stamp + QByteArray(history.size() - stamp.size() - 1, 'x') + '\n';
        QVERIFY(writeFile(app.historyPath(), history));
        QVERIFY(writeFile(app.logPath(), log));

        app.setFileSizeLimit(history.size() + 40);
        app.start();
        RVERIFY(app, startSession(app, "start 60", false));
        RVERIFY(app, app.waitForState("0:01:00"));
        QCOMPARE(readFile(app.historyPath()), history);
        QCOMPARE(readFile(app.logPath()), log);
        RVERIFY(app, app.errors().contains("records off, file=EventHistory.jsonl"));
        RVERIFY(app, app.errors().contains("records off, file=diagnostic.log"));

        if (!app.liftFileSizeLimit())
            QSKIP("this platform cannot give a running process its room back");
        app.send("stop");
        RVERIFY(app, app.waitForState("idle: Not active"));
        app.send("quit");
        RVERIFY(app, app.waitForExit());
        const QByteArray historyAfter = readFile(app.historyPath()), logAfter = readFile(app.logPath());
        QVERIFY(historyAfter.startsWith(history));
        QCOMPARE(historyLineCount(app), app.historyKinds().size());
        QCOMPARE(app.historyKinds().mid(30), (QStringList{"timedStoppedManually", "cleanupCompleted", "appQuit"}));
        QVERIFY(logAfter.startsWith(log));
        const QList<QByteArray> logLines = logAfter.mid(log.size()).split('\n');
        QVERIFY(logLines.value(0).endsWith("[INFO] [timed] timed session stopped by user"));
        for (const QByteArray &line : logLines.mid(0, logLines.size() - 1))
            QVERIFY2(line.contains("] ["), line.constData());
    }
};

QTEST_GUILESS_MAIN(CrashTest)
#include "tst_crash.moc"
