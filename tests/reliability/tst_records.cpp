// The history and the log under everything a disk can do to them: a line cut off by a crash,
// corrupt or huge content, folders that are not there to write, a full disk. Start-up always
// works, the newest events always survive, and nothing half-written is left behind.

#include "Reliability.h"

#include <QElapsedTimer>

#include <unistd.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Launches, runs a short session, quits; true when all of that worked.
bool launchRunAndQuit(RealApp &app)
{
    app.start();
    if (!app.waitForState("idle: ") || !startSession(app, "start 60", false) || !app.waitForState("0:01:00"))
        return false;
    app.send("stop");
    if (!app.waitForState("idle: Not active"))
        return false;
    app.send("quit");
    return app.waitForExit() && app.process().exitCode() == 0;
}

// The events a launch leaves, in order, whatever it found.
const QStringList aRun{"appLaunched", "timedStarted", "timedStoppedManually", "cleanupCompleted", "appQuit"};

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private slots:
    // What the history holds before the launch: `prefix` lines, then (when present) a `middle`
    // and more events, then `tail`.
    void historyAsFound_data()
    {
        QTest::addColumn<int>("events");     // whole events written before the launch
        QTest::addColumn<QByteArray>("odd"); // mixed in after every tenth event
        QTest::addColumn<QByteArray>("end"); // after the last event, without a line feed
        QTest::addColumn<bool>("compacted");
        QTest::addColumn<bool>("kept"); // the file is read at all (it is UTF-8 text)
        QTest::newRow("last line cut off by a crash")
            << 20 << QByteArray() << QByteArray("{\"id\":\"8E6") << false << true;
        QTest::newRow("corrupt lines") << 200 << QByteArray("{\"kind\":{\"nope\":{}}}") << QByteArray("}{") << false
                                       << true;
        QTest::newRow("invalid UTF-8") << 200 << QByteArray("\xff\xfe\xc0\x80") << QByteArray() << false << false;
        QTest::newRow("5,000 lines") << 5000 << QByteArray() << QByteArray() << true << true;
        QTest::newRow("20 MB file") << 130000 << QByteArray() << QByteArray() << true << true;
        QTest::newRow("20 MB single line") << 300 << QByteArray(20000000, '[') << QByteArray() << true << true;
    }
    void historyAsFound()
    {
        QFETCH(int, events);
        QFETCH(QByteArray, odd);
        QFETCH(QByteArray, end);
        QFETCH(bool, compacted);
        QFETCH(bool, kept);
        RealApp app;
        QByteArray before;
        QByteArray newest;
        for (int n = 1; n <= events; ++n) {
            newest = eventLine(n);
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
        const HistoryLines lines = historyLines(app.historyPath());
        if (compacted) {
            QVERIFY(lines.lines.size() <= 1000 + aRun.size());
            QCOMPARE(lines.decodable, lines.lines.size());
            QVERIFY(!after.contains(odd.left(1000)) || odd.isEmpty());
        } else {
            // Nothing that was there is touched; a cut-off line keeps its place on a line of
            // its own.
            QVERIFY(after.startsWith(before));
            QCOMPARE(after.mid(before.size(), end.isEmpty() ? 0 : 1), end.isEmpty() ? "" : "\n");
        }
        Q_UNUSED(kept);
        // The next launch finds everything in order again.
        RVERIFY(app, launchRunAndQuit(app));
        QCOMPARE(kindsOfLastLaunch(app), aRun);
    }

    // The folders of the history and the log are not there to write: the app runs as ever and
    // says so once, on standard error, in the log's own form.
    void recordsOff_data()
    {
        QTest::addColumn<QString>("blocked"); // "history", "log" or both
        QTest::addColumn<bool>("unwritable"); // rather than replaced by a file
        QTest::newRow("history folder is a file") << "history" << false;
        QTest::newRow("log folder is a file") << "log" << false;
        QTest::newRow("both folders are files") << "history log" << false;
        QTest::newRow("history folder unwritable") << "history" << true;
        QTest::newRow("log folder unwritable") << "log" << true;
    }
    void recordsOff()
    {
        QFETCH(QString, blocked);
        QFETCH(bool, unwritable);
        if (unwritable && ::geteuid() == 0)
            QSKIP("root writes into any folder");
        RealApp app;
        QStringList folders;
        if (blocked.contains("history"))
            folders << QFileInfo(app.historyPath()).path();
        if (blocked.contains("log"))
            folders << QFileInfo(app.logPath()).path();
        for (const QString &folder : folders) {
            if (unwritable) {
                QVERIFY(QDir().mkpath(folder));
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            } else {
                QVERIFY(writeFile(folder, "not a folder\n"));
            }
        }
        RVERIFY(app, launchRunAndQuit(app));
        RVERIFY(app, launchRunAndQuit(app)); // once per launch, and every launch works
        const QString errors = app.errors();
        QCOMPARE(errors.count("records off, file=EventHistory.jsonl"), blocked.contains("history") ? 2 : 0);
        QCOMPARE(errors.count("records off, file=diagnostic.log"), blocked.contains("log") ? 2 : 0);
        QVERIFY(errors.contains(" [WARNING] [app] records off, file="));
        if (!blocked.contains("history"))
            QCOMPARE(app.historyKinds(), aRun + aRun);
        if (!blocked.contains("log"))
            QVERIFY(app.log().contains("[WARNING] [app] records off, file=EventHistory.jsonl"));
        for (const QString &folder : folders) {
            if (!unwritable)
                QCOMPARE(readFile(folder), "not a folder\n");
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
            history += eventLine(n) + '\n';
        // The log as long as the history, so one limit leaves each room for part of a line.
        const QByteArray stamp = "2026-12-04 15:26:46.123 [INFO] [app] ";
        QByteArray log;
        while (history.size() - log.size() > 200)
            log += stamp + QByteArray(100 - stamp.size() - 1, 'x') + '\n';
        log += stamp + QByteArray(history.size() - log.size() - stamp.size() - 1, 'y') + '\n';
        QCOMPARE(log.size(), history.size());
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
        const HistoryLines lines = historyLines(app.historyPath());
        QCOMPARE(lines.decodable, lines.lines.size());
        QCOMPARE(lines.kinds.mid(30), (QStringList{"timedStoppedManually", "cleanupCompleted", "appQuit"}));
        QVERIFY(logAfter.startsWith(log));
        const QList<QByteArray> logLines = logAfter.mid(log.size()).split('\n');
        QVERIFY(logLines.value(0).endsWith("[INFO] [timed] timed session stopped by user"));
        for (const QByteArray &line : logLines.mid(0, logLines.size() - 1))
            QVERIFY2(line.contains("] ["), line.constData());
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
