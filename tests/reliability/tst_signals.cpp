// The real executable ended from outside: every termination signal and the end of its input run
// the same orderly quit as the menu, so nothing it changed outlives it.

#include "support/RealApp.h"

#include <QTest>

#include <csignal>

using namespace quorvel::test;

class TerminationTest : public QObject {
    Q_OBJECT

private slots:
    void everyWayOutRestores_data()
    {
        QTest::addColumn<int>("signal"); // 0: end of input
        QTest::addColumn<QString>("mode");
        for (const char *mode : {"timed", "closedLid"}) {
            QTest::addRow("SIGTERM, %s", mode) << SIGTERM << mode;
            QTest::addRow("SIGINT, %s", mode) << SIGINT << mode;
            QTest::addRow("SIGHUP, %s", mode) << SIGHUP << mode;
            QTest::addRow("end of input, %s", mode) << 0 << mode;
        }
    }
    void everyWayOutRestores()
    {
        QFETCH(int, signal);
        QFETCH(QString, mode);
        RealApp app;
        app.start();
        if (mode == "timed") {
            app.send("start 600");
            QVERIFY2(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }), qPrintable(app.output()));
            app.send("display on"); // a relaunch: the second child is the one that must go
            QVERIFY2(
                app.waitFor([&] { return app.caffeinatePids().size() == 2 && app.livingCaffeinates().size() == 1; }),
                qPrintable(app.output()));
        } else {
            app.send("authorize");
            app.send("lid on");
            QVERIFY2(app.waitFor([&] { return app.sleepSetting() == "1"; }), qPrintable(app.output()));
        }
        if (signal)
            ::kill(pid_t(app.pid()), signal);
        else
            app.closeInput();
        QVERIFY2(app.waitForExit(), qPrintable(app.output()));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
        QCOMPARE(app.sleepSetting(), mode == "timed" ? "" : "0");
        QVERIFY2(app.log().contains("[INFO] [app] cleanup completed, failedModules=none"), qPrintable(app.log()));
        QCOMPARE(app.historyKinds().value(app.historyKinds().size() - 1), "appQuit");
        QCOMPARE(app.historyKinds().count("appQuit"), 1);
    }
};

QTEST_GUILESS_MAIN(TerminationTest)
#include "tst_termination.moc"
