// Closed-lid mode and the battery: a start on a battery already at or below the threshold is
// stopped for safety at once, one inside the warning band warns at once, and a power report
// that cannot be used keeps the mode from starting with a reason in the log.

#include "Reliability.h"

using namespace quorvel::test;

class BatteryTest : public QObject {
    Q_OBJECT

private slots:
    void startOnBattery_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("status"); // the closed-lid part of the state line
        QTest::addColumn<QString>("sleep");
        QTest::addColumn<QString>("line"); // in the log, when not empty
        QTest::addColumn<QString>("events");
        const QString stopped = "clamshellStarted clamshellStopped safetyStopTriggered";
        QTest::newRow("15 %") << 15 << "closed lid: Turned off – battery low"
                              << "0"
                              << "[ERROR] [battery] safety stop triggered, battery=15" << stopped;
        QTest::newRow("at the threshold") << 20 << "closed lid: Turned off – battery low"
                                          << "0"
                                          << "[ERROR] [battery] safety stop triggered, battery=20" << stopped;
        QTest::newRow("in the warning band") << 22 << "closed lid: Battery low · 22% · turns off at 20%"
                                             << "1"
                                             << "[WARNING] [battery] low battery warning entered, level=22"
                                             << "clamshellStarted lowBatteryWarningEntered";
        QTest::newRow("above the band") << 64 << "closed lid: On battery · 64% · turns off at 20%"
                                        << "1"
                                        << ""
                                        << "clamshellStarted";
    }
    void startOnBattery()
    {
        QFETCH(int, level);
        QFETCH(QString, status);
        QFETCH(QString, sleep);
        QFETCH(QString, line);
        QFETCH(QString, events);
        RealApp app;
        app.writeSandbox("sim/power.json", QString(R"({"source":"battery","level":%1})").arg(level).toUtf8());
        app.start();
        app.send("authorize");
        app.send("lid on");
        RVERIFY(app, app.waitForState(status));
        QCOMPARE(app.sleepSetting(), sleep);
        if (!line.isEmpty())
            RVERIFY(app, app.log().contains(line));
        QStringList kinds = kindsOfLastLaunch(app);
        kinds.removeAll("appLaunched");
        kinds.removeAll("authorizationRequested");
        kinds.removeAll("authorizationGranted");
        QCOMPARE(kinds.join(' '), events);
        // At no time did the state line claim the mode ran on the nearly empty battery.
        if (sleep == "0")
            QVERIFY(!app.output().contains("turns off at 20%"));
        app.send("quit");
        RVERIFY(app, app.waitForExit());
        QCOMPARE(app.sleepSetting(), "0");
        RVERIFY(app, app.log().contains("cleanup completed, failedModules=none"));
    }

    // A power report the start cannot rely on: nothing is switched, the row fails, and the
    // log says why.
    void unusablePowerReport_data()
    {
        QTest::addColumn<QByteArray>("report"); // empty: no report at all
        QTest::addColumn<QString>("why");
        const QString unknown = "powerSource=unknown, battery=nil";
        QTest::newRow("missing") << QByteArray() << unknown;
        QTest::newRow("garbage") << QByteArray("{\"source\": batt\x01") << unknown;
        QTest::newRow("source unknown") << QByteArray(R"({"source":"unknown","level":80})")
                                        << "powerSource=unknown, battery=80";
        QTest::newRow("battery without level")
            << QByteArray(R"({"source":"battery"})") << "powerSource=battery, battery=nil";
        QTest::newRow("level no battery has")
            << QByteArray(R"({"source":"battery","level":150})") << "powerSource=battery, battery=nil";
    }
    void unusablePowerReport()
    {
        QFETCH(QByteArray, report);
        QFETCH(QString, why);
        RealApp app;
        if (report.isEmpty())
            app.removeSandbox("sim/power.json");
        else
            app.writeSandbox("sim/power.json", report);
        app.start();
        app.send("authorize");
        app.send("lid on");
        RVERIFY(app, app.waitForState("error: clamshellPowerUnsuitable"));
        RVERIFY(app, app.stateLine().contains("closed lid: Failed"));
        RVERIFY(app, app.log().contains("[ERROR] [clamshell] clamshell override not applied, "
                                        "reason=clamshellPowerUnsuitable, "
                                        + why));
        QCOMPARE(app.sleepSetting(), "");
        app.send("quit");
        RVERIFY(app, app.waitForExit());
        RVERIFY(app, app.log().contains("cleanup completed, failedModules=none"));
    }
};

QTEST_GUILESS_MAIN(BatteryTest)
#include "tst_battery.moc"
