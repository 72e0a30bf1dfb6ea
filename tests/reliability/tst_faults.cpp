// Tools that fail, lie or vanish under the app, and power it cannot rely on: the caffeinate child
// killed from outside or missing, pmset that ignores writes or answers garbage, a rule file
// changed behind the app's back, an administrator dialog that says no, a battery too low or a
// power report that cannot be read, an update feed that is broken, hostile or silent. Whatever
// happens, the app never shows sleep as restored when it cannot prove it, never quits silently
// with sleep disabled, says what went wrong where the user looks, and stays up.

#include "Reliability.h"
#include "update/HttpTestServer.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel::test;

// Closed-lid fault: the fault, whether the mode runs when it strikes (else it is already there
// at the start), the error shown, whether quitting is clean, what the sandbox holds at the end.
using LidFault = std::tuple<QString, bool, QString, bool, QString>;
// Power report (empty: none at all), what the state line shows, the sleep setting, the log line
// (if any), the events after the grant.
using PowerCase = std::tuple<QByteArray, QStringList, QString, QString, QString>;
Q_DECLARE_METATYPE(LidFault)
Q_DECLARE_METATYPE(PowerCase)

namespace {

const QString attention = "Quorvel needs your attention";

// What the user is left with after quitting with a restore that could not be proven: a
// warning first, then a partial clean-up on record, never a complete one.
void quitWarnsAndReportsPartial(RealApp &app)
{
    app.send("quit");
    RVERIFY(app, app.waitForExit());
    const QString log = app.log();
    RVERIFY(app, log.contains("[ERROR] [app] quit would leave sleep disabled, asking the user"));
    RVERIFY(app, app.launchOutput().contains("alert: Quit Quorvel? | Quorvel couldn’t turn sleep back on."));
    RVERIFY(app, log.contains("[ERROR] [app] cleanup partial, failedModules=clamshell"));
    RVERIFY(app, !log.contains("cleanup completed"));
    QVERIFY(readFile(app.historyPath()).contains(R"("kind":{"appQuit":{"clean":false}})"));
}

void quitCleanly(RealApp &app)
{
    app.send("quit");
    RVERIFY(app, app.waitForExit());
    RVERIFY(app, app.log().contains("[INFO] [app] cleanup completed, failedModules=none"));
    RVERIFY(app, !app.launchOutput().contains("Quorvel couldn’t turn sleep back on."));
}

// Breaks the rule file the stand-in sudo trusts; false when this account cannot.
bool tamperWithRule(const RealApp &app, const QString &how)
{
    const QString path = app.sandbox("etc/sudoers.d/quorvel");
    const QByteArray rule = QFile::encodeName(path);
    if (how == "removed")
        return QFile::remove(path);
    if (how == "mode")
        return ::chmod(rule.constData(), 0644) == 0;
    if (how == "owner")
        return ::getuid() == 0 && ::chown(rule.constData(), 1, 1) == 0;
    // Content: a rule that still lets sleep be disabled but no longer lets it be restored.
    QByteArray kept;
    for (const QByteArray &line : readFile(path).split('\n'))
        if (line.endsWith("disablesleep 1"))
            kept += line + '\n';
    const QString staged = path + ".edit";
    return writeFile(staged, kept) && QFile::setPermissions(staged, QFile::ReadOwner | QFile::ReadGroup)
           && ::rename(QFile::encodeName(staged).constData(), rule.constData()) == 0;
}

QByteArray reply(int status, const QByteArray &body = {}, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The most memory the app has held so far, in KiB, or 0 where /proc cannot tell.
qint64 peakMemoryKiB(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    return QRegularExpression("VmHWM:\\s*(\\d+)").match(QString::fromLatin1(status)).captured(1).toLongLong();
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private slots:
    // The child killed from outside, or its tool missing or not executable: the session shows
    // as failed, with an event and the log line, and a session starts again where it can. Only a
    // tool that is not there earns the attention badge: no session can ever start without it.
    void caffeinateFails_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *fault : {"SIGKILL, timed", "SIGTERM, indefinite", "missing", "not executable"})
            QTest::newRow(fault) << QString(fault);
    }
    void caffeinateFails()
    {
        QFETCH(QString, fault);
        const bool killed = fault.startsWith("SIG");
        RealApp app;
        if (!killed) {
            // A tools folder of links to the stand-ins without caffeinate, or with a copy that
            // cannot run.
            const QString fromEnvironment = qEnvironmentVariable("QUORVEL_TOOLS_DIR");
            const QDir tools(fromEnvironment.isEmpty() ? QStringLiteral(QUORVEL_TOOLS_DIR) : fromEnvironment);
            const QDir mine(app.folder("tools"));
            QVERIFY(mine.mkpath("."));
            for (const QString &name : tools.entryList(QDir::Files))
                QVERIFY(name == "caffeinate" || QFile::link(tools.filePath(name), mine.filePath(name)));
            if (fault == "not executable")
                QVERIFY(QFile::copy(tools.filePath("caffeinate"), mine.filePath("caffeinate"))
                        && QFile::setPermissions(mine.filePath("caffeinate"), QFile::ReadOwner | QFile::WriteOwner));
            app.setEnvironment("QUORVEL_TOOLS_DIR", mine.path());
        }
        app.start();
        RVERIFY(app, app.waitForState("idle: "));
        const int signal = fault.startsWith("SIGKILL") ? SIGKILL : SIGTERM;
        if (killed) {
            RVERIFY(app, startSession(app, signal == SIGKILL ? "start 600" : "indefinite", true));
            ::kill(pid_t(app.livingCaffeinates().value(0)), signal);
        } else {
            app.send("start 600");
        }
        RVERIFY(app, app.waitForState({"idle: Couldn’t turn on",
                                       killed ? "error: processExitedUnexpectedly" : "error: caffeinateUnavailable"}));
        RVERIFY(app, app.stateLine().startsWith(attention) != killed);
        RVERIFY(app, app.log().contains(
                         killed ? QString("[ERROR] [timed] timed session failed unexpectedly, status=%1").arg(signal)
                                : "[ERROR] [timed] timed launch failed, reason=caffeinateUnavailable"));
        QVERIFY(kindsOfLastLaunch(app).contains("timedFailed"));
        if (killed) {
            RVERIFY(app, app.stateLine().contains("display: Couldn’t turn on"));
            QVERIFY(kindsOfLastLaunch(app).contains("displayAwakeFailed"));
            RVERIFY(app, startSession(app, "start 600", false));
            RVERIFY(app, app.waitForState("0:10:00"));
            RVERIFY(app, !app.stateLine().contains("error: "));
        } else {
            QCOMPARE(app.caffeinatePids(), QList<qint64>());
        }
        quitCleanly(app);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }

    // A fault that strikes while closed-lid mode runs: switching it off cannot be proven, so the
    // mode still shows as on, with the error and the attention badge, and quitting warns. One
    // already there when the mode starts: the start never shows as on.
    void closedLidFault_data()
    {
        QTest::addColumn<LidFault>("fault");
        const QString failed = "clamshellRestoreFailed";
        QTest::newRow("running, pmset ignores writes") << LidFault{"ignoreWrites", true, failed, false, "1"};
        QTest::newRow("running, pmset -g garbage") << LidFault{"garbage", true, failed, false, "0"};
        QTest::newRow("running, rule file mode changed") << LidFault{"mode", true, failed, false, "1"};
        QTest::newRow("running, rule file owner changed") << LidFault{"owner", true, failed, false, "1"};
        QTest::newRow("running, rule file content changed") << LidFault{"content", true, failed, false, "1"};
        QTest::newRow("starting, pmset ignores writes")
            << LidFault{"ignoreWrites", false, "readbackMismatch", true, "0"};
        QTest::newRow("starting, pmset -g garbage") << LidFault{"garbage", false, failed, false, "0"};
        QTest::newRow("starting, rule file mode changed") << LidFault{"mode", false, failed, true, "0"};
    }
    void closedLidFault()
    {
        QFETCH(LidFault, fault);
        const auto &[how, running, error, quitsClean, sleepAfter] = fault;
        RealApp app;
        if (!running)
            app.writeSandbox("sim/disablesleep", "0\n"); // as the real tool reports it from the start
        app.start();
        app.send("authorize");
        if (running)
            app.send("lid on");
        RVERIFY(app, app.waitForState(running ? "closed lid: On" : "authorization: granted"));
        if (how == "ignoreWrites" || how == "garbage")
            app.writeSandbox(how == "garbage" ? "sim/pmset-garbage" : "sim/pmset-ignores-writes", "");
        else if (!tamperWithRule(app, how))
            QSKIP("this account cannot change the rule file's owner");

        app.send(running ? "lid off" : "lid on");
        RVERIFY(app, app.waitForState({running ? "closed lid: On" : "closed lid: Failed", "error: " + error}));
        RVERIFY(app, app.stateLine().startsWith(attention));
        const QStringList kinds = kindsOfLastLaunch(app);
        if (running) {
            RVERIFY(app, app.log().contains("[ERROR] [clamshell] clamshell override restore failed"));
            QVERIFY(kinds.contains("clamshellStopped"));
        } else {
            QVERIFY(!kinds.contains("clamshellStarted"));
            QVERIFY(!app.output().contains("closed lid: On"));
        }
        quitsClean ? quitCleanly(app) : quitWarnsAndReportsPartial(app);
        QCOMPARE(app.sleepSetting(), sleepAfter);
    }

    // The administrator dialog says no, or nonsense: nothing is installed, the state says so,
    // and a later approval works. Then the rule is broken behind the app's back: asking to
    // authorize installs it again instead of being ignored.
    void authorization_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("authorization");
        QTest::addColumn<QString>("tamper");
        const QString failed = "failed (authorizationInstallFailed)";
        QTest::newRow("cancelled, then mode changed") << QByteArray("cancel") << "denied" << QString("mode");
        QTest::newRow("failed, then content changed") << QByteArray("fail") << failed << QString("content");
        QTest::newRow("garbage answer, then removed") << QByteArray("\x01\xff maybe") << failed << QString("removed");
        QTest::newRow("cancelled, then owner changed") << QByteArray("cancel") << "denied" << QString("owner");
    }
    void authorization()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, authorization);
        QFETCH(QString, tamper);
        RealApp app;
        app.writeSandbox("sim/osascript-answer", answer);
        app.start();
        app.send("authorize");
        RVERIFY(app, app.waitForState("authorization: " + authorization));
        QCOMPARE(QDir(app.sandbox("etc/sudoers.d")).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(app.folder("tmp")).entryList({"quorvel-authorization-*"}, QDir::Files), QStringList());
        const QStringList kinds = kindsOfLastLaunch(app);
        QVERIFY(kinds.indexOf("authorizationRequested") < kinds.indexOf("authorizationDenied"));
        app.send("lid on");
        RVERIFY(app, app.waitForState("closed lid: Failed"));
        QCOMPARE(app.sleepSetting(), "");

        app.removeSandbox("sim/osascript-answer");
        app.send("lid on"); // authorizes and starts
        RVERIFY(app, app.waitForState("closed lid: On"));
        QCOMPARE(app.sleepSetting(), "1");
        app.send("lid off");
        RVERIFY(app, app.waitFor([&] { return app.sleepSetting() == "0"; }));
        if (!tamperWithRule(app, tamper))
            QSKIP("this account cannot change the rule file's owner");
        app.send("authorize");
        RVERIFY(app, app.waitFor([&] { return kindsOfLastLaunch(app).count("authorizationGranted") == 2; }));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(app.sandbox("etc/sudoers.d/quorvel")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0440u);
        app.send("lid on");
        RVERIFY(app, app.waitFor([&] { return app.sleepSetting() == "1"; }));
        quitCleanly(app);
        QCOMPARE(app.sleepSetting(), "0");
    }

    // Closed-lid mode asked for on this power report: a battery at or below the threshold is
    // stopped for safety at once (the state line never claims the mode runs on it), one in the
    // warning band warns at once, and a report the start cannot rely on switches nothing,
    // fails the row and says why in the log.
    void closedLidOnThisPower_data()
    {
        QTest::addColumn<PowerCase>("power");
        const auto battery = [](int level) {
            return QString(R"({"source":"battery","level":%1})").arg(level).toUtf8();
        };
        const QString lowStop = "[ERROR] [battery] safety stop triggered, battery=";
        const QStringList off{"closed lid: Turned off – battery low"};
        const char *stopped = "clamshellStarted clamshellStopped safetyStopTriggered";
        QTest::newRow("15 %") << PowerCase{battery(15), off, "0", lowStop + "15", stopped};
        QTest::newRow("at the threshold") << PowerCase{battery(20), off, "0", lowStop + "20", stopped};
        QTest::newRow("in the warning band") << PowerCase{battery(22),
                                                          {"closed lid: Battery low · 22% · turns off at 20%"},
                                                          "1",
                                                          "[WARNING] [battery] low battery warning entered, level=22",
                                                          "clamshellStarted lowBatteryWarningEntered"};
        QTest::newRow("above the band") << PowerCase{
            battery(64), {"closed lid: On battery · 64% · turns off at 20%"}, "1", "", "clamshellStarted"};
        const QStringList failed{"closed lid: Failed", "error: clamshellPowerUnsuitable"};
        const QString why = "[ERROR] [clamshell] clamshell override not applied, reason=clamshellPowerUnsuitable, ";
        const QString unknown = why + "powerSource=unknown, battery=",
                      noLevel = why + "powerSource=battery, battery=nil";
        QTest::newRow("report missing") << PowerCase{{}, failed, "", unknown + "nil", ""};
        QTest::newRow("report garbage") << PowerCase{"{\"source\": batt\x01", failed, "", unknown + "nil", ""};
        QTest::newRow("source unknown") << PowerCase{R"({"source":"unknown","level":80})", failed, "", unknown + "80",
                                                     ""};
        QTest::newRow("battery without level") << PowerCase{R"({"source":"battery"})", failed, "", noLevel, ""};
        QTest::newRow("level no battery has") << PowerCase{battery(150), failed, "", noLevel, ""};
    }
    void closedLidOnThisPower()
    {
        QFETCH(PowerCase, power);
        const auto &[report, shows, sleep, line, events] = power;
        RealApp app;
        report.isEmpty() ? app.removeSandbox("sim/power.json") : app.writeSandbox("sim/power.json", report);
        app.start();
        app.send("authorize");
        app.send("lid on");
        RVERIFY(app, app.waitForState(shows));
        QCOMPARE(app.sleepSetting(), sleep);
        RVERIFY(app, app.log().contains(line));
        const QStringList kinds = kindsOfLastLaunch(app);
        QCOMPARE(kinds.mid(kinds.indexOf("authorizationGranted") + 1).join(' '), events);
        QVERIFY(sleep != "0" || !app.output().contains("turns off at 20%"));
        quitCleanly(app);
        QCOMPARE(app.sleepSetting(), sleep.isEmpty() ? "" : "0");
    }

    // Whatever the update feed answers, or however long it keeps silent, the app stays up, holds
    // no more than a small manifest in memory, and quits at once.
    void hostileFeed_data()
    {
        QTest::addColumn<QByteArray>("answer"); // empty: the server never answers
        QTest::addColumn<QString>("outcome");   // empty: the check is still waiting at quit
        QTest::newRow("malformed") << reply(200, "{\"latest\": [1, 2") << "manifestInvalid";
        QTest::newRow("404") << reply(404, "<html>gone</html>") << "manifestInvalid";
        QTest::newRow("redirect loop") << reply(302, {}, "Location: /quorvel/version.json\r\n") << "network";
        QTest::newRow("redirect to another scheme") << reply(301, {}, "Location: file:///etc/passwd\r\n") << "network";
        QTest::newRow("stalled server") << QByteArray() << QString();
        const QByteArray manifest = R"({"latest":{"version":"99.0","build":1,"downloadURL":"Quorvel.dmg"}})";
        QTest::newRow("manifest of 50 MB")
            << reply(200, manifest + QByteArray(50 * 1024 * 1024, ' ')) << "manifestInvalid";
    }
    void hostileFeed()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, outcome);
        HttpTestServer server;
        server.route("GET /quorvel/version.json", {answer});
        RealApp app;
        app.setEnvironment("QUORVEL_UPDATE_FEED_URL", server.url("/quorvel/").toString());
        app.start();
        RVERIFY(app, app.waitForState("idle: "));
        const qint64 before = peakMemoryKiB(app.pid());
        app.send("check");
        if (outcome.isEmpty())
            RVERIFY(app, app.waitFor([&] { return !server.requests().isEmpty(); }));
        else
            RVERIFY(app, app.waitFor([&] { return app.log().contains("update check failed (manual): " + outcome); }));
        QVERIFY(!app.log().contains("update check: available"));
        // Refused long before the whole body was read: the app grew by far less than 50 MB.
        const qint64 growth = peakMemoryKiB(app.pid()) - before;
        QVERIFY2(growth < 16 * 1024, qPrintable(QString::number(growth) + " KiB"));
        // Still there, still answering.
        app.send("start 60");
        RVERIFY(app, app.waitForState("0:01:00"));

        QElapsedTimer quitting;
        quitting.start();
        app.send("quit");
        RVERIFY(app, app.waitForExit(5000));
        QVERIFY2(quitting.elapsed() < 1500, qPrintable(QString::number(quitting.elapsed())));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_faults.moc"
