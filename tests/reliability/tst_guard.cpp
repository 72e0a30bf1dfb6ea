// The closed-lid guard against the real executable: the system switches the sleep setting off
// under running closed-lid mode (the stand-in pmset's reset after a power change, or the
// setting found at 0 after a wake or a display change). The app puts it back and proves it, or,
// when it cannot, fails the mode where the user looks; quitting restores sleep either way.

#include "Reliability.h"

#include <QProcess>

using namespace quorvel::test;

namespace {

const QString attention = "Quorvel needs your attention";

// The stand-in's control tool, on this instance's sandbox.
bool simulate(const RealApp &app, const QStringList &arguments)
{
    const QString fromEnvironment = qEnvironmentVariable("QUORVEL_TOOLS_DIR");
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_SIM_ROOT", app.folder("sandbox"));
    tool.setProcessEnvironment(env);
    tool.start((fromEnvironment.isEmpty() ? QStringLiteral(QUORVEL_TOOLS_DIR) : fromEnvironment) + "/quorvel-sim-power",
               arguments);
    return tool.waitForFinished(5000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The system's reset, and the notice that comes with it.
bool resetThenNotify(const RealApp &app, const QString &trigger)
{
    if (trigger == "powerSourceChange") {
        app.writeSandbox("sim/pmset-resets-on-power-change", "");
        return simulate(app, {"--level", "80"});
    }
    app.writeSandbox("sim/disablesleep", "0\n");
    return simulate(app, {trigger == "wake" ? "--wake" : "--display-change"});
}

void quitRestores(RealApp &app)
{
    app.send("quit");
    RVERIFY(app, app.waitForExit());
    RVERIFY(app, app.log().contains("[INFO] [app] cleanup completed, failedModules=none"));
    QCOMPARE(app.sleepSetting(), QString("0"));
}

} // namespace

class GuardTest : public QObject {
    Q_OBJECT

private slots:
    // Repaired: the setting is back at 1, the log says why, the mode and its one session carry on.
    void repairs_data()
    {
        QTest::addColumn<QString>("trigger");
        for (const char *trigger : {"powerSourceChange", "wake", "displayChange"})
            QTest::newRow(trigger) << QString(trigger);
    }
    void repairs()
    {
        QFETCH(QString, trigger);
        RealApp app;
        app.start();
        RVERIFY(app, startClosedLid(app));
        RVERIFY(app, app.waitForState("closed lid: On"));
        RVERIFY(app, resetThenNotify(app, trigger));
        const QString repaired =
            "[INFO] [clamshell] clamshell override re-applied, sleepDisabled=1, trigger=" + trigger;
        RVERIFY(app, app.waitFor([&] { return app.log().contains(repaired); }));
        const QString log = app.log();
        const qsizetype reset =
            log.indexOf("[WARNING] [clamshell] clamshell override reset by the system, readback=0, trigger=" + trigger);
        RVERIFY(app, reset >= 0 && reset < log.indexOf(repaired));
        QCOMPARE(app.sleepSetting(), QString("1"));
        RVERIFY(app, app.waitForState("closed lid: On"));
        RVERIFY(app, !app.stateLine().startsWith(attention));
        const QStringList kinds = kindsOfLastLaunch(app);
        QCOMPARE(kinds.count("clamshellStarted"), 1);
        QVERIFY(!kinds.contains("clamshellStopped"));
        quitRestores(app);
    }

    // pmset takes no writes any more: the repair cannot be proven, and the mode fails as a start
    // that cannot be proven does, with the error and the attention tool tip.
    void failsWhenTheRepairCannotBeProven()
    {
        RealApp app;
        app.start();
        RVERIFY(app, startClosedLid(app));
        RVERIFY(app, app.waitForState("closed lid: On"));
        app.writeSandbox("sim/pmset-ignores-writes", "");
        RVERIFY(app, resetThenNotify(app, "powerSourceChange"));
        RVERIFY(app, app.waitForState({"closed lid: Failed", "error: readbackMismatch"}));
        RVERIFY(app, app.stateLine().startsWith(attention));
        RVERIFY(app, app.log().contains("[ERROR] [clamshell] clamshell override re-apply failed, "
                                        "verdict=readbackMismatch, trigger=powerSourceChange"));
        QVERIFY(kindsOfLastLaunch(app).contains("clamshellStopped"));
        QCOMPARE(app.sleepSetting(), QString("0"));
        quitRestores(app);
    }
};

QTEST_GUILESS_MAIN(GuardTest)
#include "tst_guard.moc"
