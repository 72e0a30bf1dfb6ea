// Tools that fail, lie or vanish under the app: the caffeinate child killed from outside or
// missing, pmset that ignores writes or answers garbage, a rule file changed behind the app's
// back, an administrator dialog that says no. Whatever happens, the app never shows sleep as
// restored when it cannot prove it, never quits silently with sleep disabled, and says what
// went wrong where the user looks.

#include "Reliability.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString attention = "Quorvel needs your attention";

std::optional<bool> appQuitClean(const RealApp &app)
{
    std::optional<bool> clean;
    for (const QByteArray &line : readFile(app.historyPath()).split('\n'))
        if (const auto event = decodeEvent(line))
            if (const auto *quit = std::get_if<EventKind::AppQuit>(&event->kind))
                clean = quit->clean;
    return clean;
}

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
    QCOMPARE(appQuitClean(app), false);
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
    const QString rule = ruleFile(app);
    if (how == "mode")
        return QFile::setPermissions(rule, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (how == "owner")
        return ::getuid() == 0 && ::chown(QFile::encodeName(rule).constData(), 1, 1) == 0;
    // Content: a rule that still lets sleep be disabled but no longer lets it be restored.
    const QByteArray user = qgetenv("USER").isEmpty() ? QByteArray() : qgetenv("USER");
    QByteArray kept;
    for (const QByteArray &line : readFile(rule).split('\n'))
        if (line.endsWith("disablesleep 1"))
            kept += line + '\n';
    const QString staged = rule + ".edit";
    return writeFile(staged, kept) && QFile::setPermissions(staged, QFile::ReadOwner | QFile::ReadGroup)
           && ::rename(QFile::encodeName(staged).constData(), QFile::encodeName(rule).constData()) == 0;
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private slots:
    // The child killed from outside: the session shows as failed, with an event, and a new
    // start works.
    void caffeinateKilledFromOutside_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("command");
        for (int signal : {SIGKILL, SIGTERM})
            for (const char *command : {"start 600", "indefinite"})
                QTest::addRow("%s, %s", signal == SIGKILL ? "SIGKILL" : "SIGTERM", command)
                    << signal << QString(command);
    }
    void caffeinateKilledFromOutside()
    {
        QFETCH(int, signal);
        QFETCH(QString, command);
        RealApp app;
        app.start();
        RVERIFY(app, startSession(app, command, true));
        ::kill(pid_t(app.livingCaffeinates().value(0)), signal);
        RVERIFY(app, app.waitForState("idle: Couldn’t turn on"));
        RVERIFY(app, app.stateLine().contains("display: Couldn’t turn on"));
        RVERIFY(app, app.stateLine().contains("error: processExitedUnexpectedly"));
        RVERIFY(app, app.log().contains(
                         QString("[ERROR] [timed] timed session failed unexpectedly, status=%1").arg(signal)));
        QVERIFY(kindsOfLastLaunch(app).contains("timedFailed"));
        QVERIFY(kindsOfLastLaunch(app).contains("displayAwakeFailed"));

        RVERIFY(app, startSession(app, "start 600", false));
        RVERIFY(app, app.waitForState("0:10:00"));
        RVERIFY(app, !app.stateLine().contains("error: "));
        quitCleanly(app);
        QCOMPARE(app.livingCaffeinates(), QList<qint64>());
    }

    // Without its tool no session can start: the failure is in the state line and earns the
    // attention badge, not only a log line.
    void caffeinateUnavailable_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("missing") << false;
        QTest::newRow("not executable") << true;
    }
    void caffeinateUnavailable()
    {
        QFETCH(bool, present);
        RealApp app;
        app.setEnvironment("QUORVEL_TOOLS_DIR", toolsWithout(app.folder("tools"), "caffeinate", present));
        app.start();
        RVERIFY(app, app.waitForState("idle: "));
        app.send("start 600");
        RVERIFY(app, app.waitForState("error: caffeinateUnavailable"));
        RVERIFY(app, app.stateLine().startsWith(attention));
        RVERIFY(app, app.stateLine().contains("idle: Couldn’t turn on"));
        RVERIFY(app, app.log().contains("[ERROR] [timed] timed launch failed, reason=caffeinateUnavailable"));
        QVERIFY(kindsOfLastLaunch(app).contains("timedFailed"));
        QCOMPARE(app.caffeinatePids(), QList<qint64>());
        quitCleanly(app);
    }

    // A fault that strikes while closed-lid mode runs: switching it off cannot be proven, so
    // the mode still shows as on, with the error and the attention badge, and quitting warns.
    void faultWhileClosedLidRuns_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("sleepAfter"); // what the sandbox really holds at the end
        QTest::newRow("pmset ignores writes") << "ignoreWrites"
                                              << "1";
        QTest::newRow("pmset -g garbage") << "garbage"
                                          << "0";
        QTest::newRow("rule file mode changed") << "mode"
                                                << "1";
        QTest::newRow("rule file owner changed") << "owner"
                                                 << "1";
        QTest::newRow("rule file content changed") << "content"
                                                   << "1";
    }
    void faultWhileClosedLidRuns()
    {
        QFETCH(QString, fault);
        QFETCH(QString, sleepAfter);
        RealApp app;
        app.start();
        RVERIFY(app, startClosedLid(app));
        RVERIFY(app, app.waitForState("closed lid: On"));
        if (fault == "ignoreWrites")
            app.writeSandbox("sim/pmset-ignores-writes", "");
        else if (fault == "garbage")
            app.writeSandbox("sim/pmset-garbage", "");
        else if (!tamperWithRule(app, fault))
            QSKIP("this account cannot change the rule file's owner");

        app.send("lid off");
        RVERIFY(app, app.waitForState("error: clamshellRestoreFailed"));
        RVERIFY(app, app.stateLine().startsWith(attention));
        RVERIFY(app, app.stateLine().contains("closed lid: On"));
        RVERIFY(app, app.log().contains("[ERROR] [clamshell] clamshell override restore failed"));
        QVERIFY(kindsOfLastLaunch(app).contains("clamshellStopped"));

        quitWarnsAndReportsPartial(app);
        QCOMPARE(app.sleepSetting(), sleepAfter);
    }

    // A fault already there when closed-lid mode starts: the start never shows as on.
    void faultBeforeClosedLidStarts_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("quitsClean");
        QTest::newRow("pmset ignores writes") << "ignoreWrites"
                                              << "readbackMismatch" << true;
        QTest::newRow("pmset -g garbage") << "garbage"
                                          << "clamshellRestoreFailed" << false;
        QTest::newRow("rule file mode changed") << "mode"
                                                << "clamshellRestoreFailed" << true;
    }
    void faultBeforeClosedLidStarts()
    {
        QFETCH(QString, fault);
        QFETCH(QString, error);
        QFETCH(bool, quitsClean);
        RealApp app;
        app.writeSandbox("sim/disablesleep", "0\n"); // as the real tool reports it from the start
        app.start();
        app.send("authorize");
        RVERIFY(app, app.waitForState("authorization: granted"));
        if (fault == "ignoreWrites")
            app.writeSandbox("sim/pmset-ignores-writes", "");
        else if (fault == "garbage")
            app.writeSandbox("sim/pmset-garbage", "");
        else
            QVERIFY(tamperWithRule(app, fault));
        app.send("lid on");
        RVERIFY(app, app.waitForState("closed lid: Failed"));
        RVERIFY(app, app.stateLine().contains("error: " + error));
        RVERIFY(app, app.stateLine().startsWith(attention));
        QVERIFY(!kindsOfLastLaunch(app).contains("clamshellStarted"));
        QVERIFY(!app.output().contains("closed lid: On"));
        if (quitsClean)
            quitCleanly(app);
        else
            quitWarnsAndReportsPartial(app);
        QCOMPARE(app.sleepSetting(), "0");
    }

    // The administrator dialog says no, or nonsense: nothing is installed and the state says
    // so; the user can try again.
    void administratorDialogRefuses_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("authorization");
        QTest::newRow("cancelled") << "cancel"
                                   << "denied";
        QTest::newRow("failed") << "fail"
                                << "failed (authorizationInstallFailed)";
        QTest::newRow("garbage answer") << "\x01\xff maybe"
                                        << "failed (authorizationInstallFailed)";
    }
    void administratorDialogRefuses()
    {
        QFETCH(QString, answer);
        QFETCH(QString, authorization);
        RealApp app;
        app.writeSandbox("sim/osascript-answer", answer.toLatin1());
        app.start();
        app.send("authorize");
        RVERIFY(app, app.waitForState("authorization: " + authorization));
        QVERIFY(!QFileInfo::exists(ruleFile(app)));
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
        quitCleanly(app);
        QCOMPARE(app.sleepSetting(), "0");
    }

    // Granted once, then the rule is broken behind the app's back: asking to authorize installs
    // it again instead of being ignored.
    void authorizeAgainAfterTampering_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("mode") << "mode";
        QTest::newRow("owner") << "owner";
        QTest::newRow("content") << "content";
        QTest::newRow("removed") << "removed";
    }
    void authorizeAgainAfterTampering()
    {
        QFETCH(QString, how);
        RealApp app;
        app.start();
        RVERIFY(app, startClosedLid(app));
        app.send("lid off");
        RVERIFY(app, app.waitFor([&] { return app.sleepSetting() == "0"; }));
        if (how == "removed")
            QVERIFY(QFile::remove(ruleFile(app)));
        else if (!tamperWithRule(app, how))
            QSKIP("this account cannot change the rule file's owner");
        app.send("authorize");
        RVERIFY(app, app.waitFor([&] { return kindsOfLastLaunch(app).count("authorizationGranted") == 2; }));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(ruleFile(app)).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0440u);
        app.send("lid on");
        RVERIFY(app, app.waitFor([&] { return app.sleepSetting() == "1"; }));
        quitCleanly(app);
        QCOMPARE(app.sleepSetting(), "0");
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_faults.moc"
