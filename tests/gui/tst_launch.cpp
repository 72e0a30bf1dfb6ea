// The real executable with its interface (offscreen, so without a tray it opens its menu as a
// window): the status item exists before the start-up checks run, and a termination signal
// during closed-lid mode still restores sleep.

#include "support/RealApp.h"

#include <QTest>

#include <csignal>

using namespace quorvel::test;

class LaunchTest : public QObject {
    Q_OBJECT

private slots:
    void statusItemComesBeforeTheStartupChecks()
    {
        RealApp app;
        // A leftover of an earlier run and a rule that allows taking it over.
        app.writeSandbox("sim/disablesleep", "1\n");
        app.start(); // headless first, to install the rule through the administrator stand-in
        app.send("authorize");
        QVERIFY2(app.waitFor([&] { return app.log().contains("authorization granted"); }), qPrintable(app.output()));
        app.process().kill(); // gone without a word: the leftover stays for the next launch
        app.process().waitForFinished();
        app.writeSandbox("sim/disablesleep", "1\n");

        app.start({}); // now with the interface
        QVERIFY2(app.waitFor([&] { return app.log().count("startup residual detected") == 2; }), qPrintable(app.log()));
        const QString log = app.log();
        const qsizetype ready = log.lastIndexOf("[INFO] [app] status item ready, backend=");
        QVERIFY2(ready >= 0, qPrintable(log));
        QVERIFY(ready < log.lastIndexOf("[ERROR] [startup] startup residual detected, sleepDisabled=1"));

        // One second later the leftover is taken over; a SIGTERM then ends closed-lid mode.
        QVERIFY2(app.waitFor([&] { return app.log().contains("taking over residual"); }), qPrintable(app.log()));
        QVERIFY(app.waitFor([&] { return app.historyKinds().contains("startupResidualRestoredByUser"); }));
        ::kill(pid_t(app.pid()), SIGTERM);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.sleepSetting(), "0");
        QVERIFY(app.log().contains("[INFO] [app] cleanup completed, failedModules=none"));
        QCOMPARE(app.historyKinds().last(), "appQuit");
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "tst_launch.moc"
