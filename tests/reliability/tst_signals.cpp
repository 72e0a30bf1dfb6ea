// The real executable ended from outside: every termination signal and the end of its input run
// the same orderly quit as the menu, whatever is running, so nothing it changed outlives it.

#include "Reliability.h"

#include <QElapsedTimer>

#include <csignal>

using namespace quorvel::test;

class SignalsTest : public QObject {
    Q_OBJECT

private slots:
    void everyWayOutRestores_data()
    {
        QTest::addColumn<int>("signal"); // 0: end of input
        QTest::addColumn<QString>("mode");
        const char *modes[] = {
            "nothing", "timed", "timed+display", "indefinite+display", "closedLid", "timed+display, then closedLid"};
        const std::pair<int, const char *> ways[] = {
            {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}, {0, "end of input"}};
        for (const auto &[signal, way] : ways)
            for (const char *mode : modes)
                QTest::addRow("%s, %s", way, mode) << signal << QString(mode);
    }
    void everyWayOutRestores()
    {
        QFETCH(int, signal);
        QFETCH(QString, mode);
        RealApp app;
        app.start();
        RVERIFY(app, app.waitForState("idle: "));
        if (mode.startsWith("timed"))
            RVERIFY(app, startSession(app, "start 600", mode.contains("display")));
        if (mode.startsWith("indefinite"))
            RVERIFY(app, startSession(app, "indefinite", true));
        if (mode.contains("closedLid")) {
            RVERIFY(app, startClosedLid(app));
            // Closed-lid mode keeps the machine awake by itself: the session gives way.
            RVERIFY(app, app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }));
        }
        const int children = app.caffeinatePids().size();

        QElapsedTimer quitting;
        quitting.start();
        if (signal)
            ::kill(pid_t(app.pid()), signal);
        else
            app.closeInput();
        RVERIFY(app, app.waitForExit(5000));
        QVERIFY2(quitting.elapsed() < 2000, qPrintable(QString::number(quitting.elapsed())));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
        const QString restored = mode.contains("closedLid") ? "0" : "";
        QCOMPARE(app.sleepSetting(), restored);
        QCOMPARE(app.log().count("[INFO] [app] cleanup completed, failedModules=none"), 1);
        const QStringList kinds = app.historyKinds();
        QCOMPARE(kinds.value(kinds.size() - 1), "appQuit");
        QCOMPARE(kinds.count("appQuit"), 1);
        QCOMPARE(kinds.count("cleanupCompleted"), 1);

        // Nothing comes back once the app is gone: no late relaunch, no late take-over.
        QTest::qWait(100);
        QCOMPARE(app.sleepSetting(), restored);
        QCOMPARE(app.caffeinatePids().size(), children);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }
};

QTEST_GUILESS_MAIN(SignalsTest)
#include "tst_signals.moc"
