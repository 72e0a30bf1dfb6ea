#include "SimApp.h"

#include "closedlid/ClosedLidModule.h"
#include "support/Printers.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <signal.h>

using namespace quorvel;
using namespace quorvel::test;

class CoordinatorTest : public QObject {
    Q_OBJECT

    // Grants the sandbox rule through the stand-in administrator dialog (approves by default).
    static void authorize(SimApp &s)
    {
        s.app->closedLidModule()->authorizationManager().grant();
        QVERIFY(is<Authorization::Granted>(s.state().authorization));
    }

private slots:
    // Each process found as "pid command".
    void pgrepParsing_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("two processes") << "412 caffeinate\n980 c\n" << QStringList{"412 caffeinate", "980 c"};
        QTest::newRow("nothing") << "" << QStringList{};
        QTest::newRow("not a number") << "abc caffeinate\n7 caffeinate" << QStringList{"7 caffeinate"};
        QTest::newRow("no command, with or without a blank") << "412\n413 \n" << QStringList{};
        QTest::newRow("leading blanks and signs") << "  +41 caffeinate\n-3 c" << QStringList{"41 caffeinate", "-3 c"};
        QTest::newRow("beyond 32 bits") << "2147483648 caffeinate\n2147483647 c" << QStringList{"2147483647 c"};
        QTest::newRow("blank lines") << "\n\n5 caffeinate -i\n\n" << QStringList{"5 caffeinate -i"};
    }
    void pgrepParsing()
    {
        QFETCH(QString, output);
        QStringList found;
        for (const auto &process : parsePgrepOutput(output))
            found << QString::number(process.pid) + ' ' + process.command;
        QTEST(found, "found");
    }

    // The store starts from the first snapshot; start() checks the rule and records the launch;
    // the start-up checks log caffeinate processes already running; power changes reach battery
    // safety through the module, and only the store once it is gone.
    void compositionFromLaunchToPowerChanges()
    {
        SimApp s(R"({"source":"battery","level":80,"lowPower":true})");
        QVERIFY(s.firstSnapshot);
        QCOMPARE(s.state().power, *s.firstSnapshot);
        QCOMPARE(s.state().power.batteryLevel, std::optional<qint64>(80));
        QVERIFY(is<Authorization::Unknown>(s.state().authorization));
        s.app->start();
        QVERIFY(is<Authorization::Required>(s.state().authorization)); // no rule in the sandbox
        QCOMPARE(s.kinds(), QStringList{"appLaunched"});
        const auto launched = std::get<EventKind::AppLaunched>(s.events().first().kind);
        QCOMPARE(launched.version, QStringLiteral(QUORVEL_VERSION));
        QCOMPARE(launched.build, BundleInfo::running().bundleVersion.value_or("absent"));
        QVERIFY(launched.build.toLongLong() >= 1);
        // A caffeinate child of our own, which the start-up checks find by name through pgrep.
        QProcess child;
        child.start(toolsDir() + "/caffeinate", {"-t", "5"});
        QVERIFY(child.waitForStarted());
        LogCapture log;
        s.app->runStartupChecks();
        const QStringList lines = log.lines().filter("residual caffeinate");
        QVERIFY2(lines.size() == 1
                     && lines.first().startsWith("[WARNING] [startup] residual caffeinate detected, count=")
                     && lines.first().contains(QString::number(child.processId())),
                 qPrintable(lines.join('\n')));
        child.terminate();
        QVERIFY(child.waitForFinished(2000));

        authorize(s);
        s.app->closedLidModule()->setClamshell(true);
        QCOMPARE(s.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{80}));
        s.writePower(R"({"source":"battery","level":23,"lowPower":false})");
        QTRY_COMPARE_WITH_TIMEOUT(s.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{23}), 5000);
        QVERIFY(s.kinds().contains("lowBatteryWarningEntered"));
        s.app->setClosedLidModule(nullptr);
        s.writePower(R"({"source":"battery","level":10,"lowPower":false})");
        QTRY_COMPARE_WITH_TIMEOUT(s.state().power.batteryLevel, std::optional<qint64>(10), 5000);
        QCOMPARE(s.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{23}));
        QVERIFY(!s.kinds().contains("safetyStopTriggered"));
    }

    // Requests the state does not admit: closed-lid mode running or a leftover blocks every
    // session, the display needs a running session, and only a display that is on switches off.
    void refusedRequestChangesNothing_data()
    {
        QTest::addColumn<QString>("state");
        for (const char *state : {"closed-lid on battery", "start-up leftover", "no session", "display failed"})
            QTest::newRow(state) << QString(state);
    }
    void refusedRequestChangesNothing()
    {
        QFETCH(QString, state);
        SimApp s;
        VemoState refusing = s.state();
        if (state == "closed-lid on battery")
            refusing.clamshell = Clamshell::RunningOnBattery{50};
        refusing.startupResidual = state == "start-up leftover";
        if (state == "display failed")
            refusing.displayAwake = DisplayAwake::Failed{VemoError::processExitedUnexpectedly};
        s.app->store().setState(refusing);

        QSignalSpy spy(&s.app->store(), &AppStateStore::changed);
        if (state == "no session" || state == "display failed") {
            s.app->setDisplayAwake(state == "no session");
        } else {
            s.app->startTimed(7200);
            s.app->startPermanent();
        }
        QCOMPARE(spy.count(), 0);
        QVERIFY(!QFile::exists(s.sandbox("/sim/caffeinate.log")));
        s.app->store().setClamshellOff(); // the sandbox never had the override
    }

    // A running session: the user is asked first, and staying keeps it running; confirming ends
    // the child before the terminator runs. The will-terminate notice may come more than once:
    // one clean-up on record, with the one empty evidence record, and one appQuit, last.
    void quitWithASessionAsksFirst()
    {
        SimApp s;
        LogCapture log;
        s.app->startTimed(7200);
        QCOMPARE(s.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        const VemoState before = s.state();
        const qint64 pid = s.app->timedController().childPID();
        QVERIFY(pid > 0);

        s.app->requestQuit(); // cancelled
        QCOMPARE(s.quitAlerts, (QList<QuitAlert>{{qtTrId("confirmQuit"), qtTrId("quitClearAllModes"), qtTrId("quit"),
                                                  qtTrId("cancel")}}));
        QCOMPARE(s.terminations, 0);
        QVERIFY(s.state() == before);
        QCOMPARE(s.app->timedController().childPID(), pid);
        QCOMPARE(s.kinds(), (QStringList{"timedStarted", "quitRequested"}));
        QCOMPARE(std::get<EventKind::QuitRequested>(s.events().last().kind).blockers,
                 QList<QuitBlocker>{QuitBlockers::Timed{7200}});

        s.quitAnswer = alertFirstButton;
        s.app->requestQuit();
        QCOMPARE(s.terminations, 1);
        QCOMPARE(::kill(pid_t(pid), 0), -1);
        s.app->handleWillTerminate();
        s.app->handleWillTerminate();
        s.app->cleanupAll();
        const QList<VemoEvent> events = s.events();
        QCOMPARE(s.kinds().mid(2), (QStringList{"quitRequested", "cleanupCompleted", "appQuit"}));
        QCOMPARE(events[3].evidence, std::optional<SystemEvidence>(SystemEvidence{}));
        QCOMPARE(std::get<EventKind::AppQuit>(events.last().kind).clean, true);
        QVERIFY(!events.last().evidence);
        QCOMPARE(log.lines().filter("[app] cleanup"),
                 QStringList{"[INFO] [app] cleanup completed, failedModules=none"});
    }

    // The system setting, not the state, decides what quitting must restore.
    void quitRestoresWhatTheSystemSays_data()
    {
        QTest::addColumn<bool>("ruleRemoved"); // behind the app's back: nothing can switch sleep back
        QTest::newRow("leftover, authorized") << false;
        QTest::newRow("rule removed") << true;
    }
    void quitRestoresWhatTheSystemSays()
    {
        QFETCH(bool, ruleRemoved);
        SimApp s;
        LogCapture log;
        s.app->start();
        authorize(s);
        QFile setting(s.sandbox("/sim/disablesleep"));
        QVERIFY(setting.open(QIODevice::WriteOnly) && setting.write("1\n") == 2 && setting.flush());
        s.app->runStartupChecks(); // flags the leftover; its take-over is still a second away
        QVERIFY(s.state().startupResidual);
        if (ruleRemoved)
            QVERIFY(QFile::remove(s.sim.mapPath("/etc/sudoers.d/quorvel")));
        s.quitAnswer = alertFirstButton;
        s.app->requestQuit();
        QCOMPARE(s.quitAlerts.size(), int(ruleRemoved));
        if (ruleRemoved)
            QCOMPARE(s.quitAlerts.first().firstButton, qtTrId("forceQuit"));
        QCOMPARE(s.terminations, 1);
        QCOMPARE(s.sleepSetting(), ruleRemoved ? "1" : "0");
        QCOMPARE(log.lines().filter("[app] cleanup"),
                 QStringList{ruleRemoved ? "[ERROR] [app] cleanup partial, failedModules=clamshell"
                                         : "[INFO] [app] cleanup completed, failedModules=none"});
    }

    // Quitting would leave sleep disabled: the user is warned before anything is torn down, and
    // staying keeps every mode as it was. Quitting anyway is a partial clean-up, once, and the
    // will-terminate run tries the restore again.
    void failedRestoreAtQuit_data()
    {
        QTest::addColumn<bool>("faultPersists");
        QTest::newRow("second run restores") << false;
        QTest::newRow("second run fails too") << true;
    }
    void failedRestoreAtQuit()
    {
        QFETCH(bool, faultPersists);
        SimApp s;
        LogCapture log;
        s.app->start();
        authorize(s);
        s.app->closedLidModule()->setClamshell(true);
        QCOMPARE(s.sleepSetting(), "1");
        s.setFault("/sim/pmset-ignores-writes", true);
        QList<int> answers{alertFirstButton, alertSecondButton, alertFirstButton, alertFirstButton};
        s.app->setQuitAlertPresenter(
            [&](const QuitAlert &alert) { return s.quitAlerts << alert, answers.takeFirst(); });

        s.app->requestQuit(); // confirmed, then the warning: stay
        QCOMPARE(s.quitAlerts.size(), 2);
        QCOMPARE(s.quitAlerts.last(), (QuitAlert{qtTrId("confirmQuit"), qtTrId("quitRestoreFailedMessage"),
                                                 qtTrId("forceQuit"), qtTrId("cancel")}));
        QCOMPARE(s.terminations, 0);
        QVERIFY(log.lines().contains("[ERROR] [app] quit would leave sleep disabled, asking the user"));
        QCOMPARE(log.messages().filter("cleanup ").size(), 0);
        QVERIFY(isClamshellRunning(s.state().clamshell));
        QVERIFY(s.app->powerMonitor().isObservingPowerSources());

        s.app->requestQuit(); // confirmed, warned, quit anyway
        QCOMPARE(s.quitAlerts.size(), 4);
        QCOMPARE(s.terminations, 1);
        QCOMPARE(log.lines().filter("[app] cleanup"),
                 QStringList{"[ERROR] [app] cleanup partial, failedModules=clamshell"});
        // A failed restore never reports the mode as stopped.
        QVERIFY(isClamshellRunning(s.state().clamshell));
        QCOMPARE(s.state().lastError, std::optional<VemoError>(VemoError::clamshellRestoreFailed));

        s.setFault("/sim/pmset-ignores-writes", faultPersists);
        s.app->handleWillTerminate();
        QCOMPARE(std::get<EventKind::AppQuit>(s.events().last().kind).clean, !faultPersists);
        QCOMPARE(s.kinds().filter("cleanup"), QStringList{"cleanupPartial"});
        QCOMPARE(log.messages().filter("cleanup ").size(), 1);
        QCOMPARE(s.sleepSetting(), faultPersists ? "1" : "0");
    }
};

QTEST_GUILESS_MAIN(CoordinatorTest)
#include "tst_coordinator.moc"
