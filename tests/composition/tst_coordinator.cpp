#include "SimApp.h"

#include "closedlid/ClosedLidModule.h"
#include "support/Printers.h"
#include "ui/Presentation.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <signal.h>

using namespace quorvel;
using namespace quorvel::test;

Q_DECLARE_METATYPE(QList<qint32>)

class CoordinatorTest : public QObject {
    Q_OBJECT

    // Grants the sandbox rule through the stand-in administrator dialog (approves by default).
    static void authorize(SimApp &s)
    {
        s.app->closedLidModule()->authorizationManager().grant();
        QVERIFY(is<Authorization::Granted>(s.state().authorization));
    }

private slots:
    void pgrepParsing_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QList<qint32>>("pids");
        QTest::newRow("two processes") << "412 caffeinate\n980 caffeinate\n" << QList<qint32>{412, 980};
        QTest::newRow("nothing") << "" << QList<qint32>{};
        QTest::newRow("not a number") << "abc caffeinate\n7 caffeinate" << QList<qint32>{7};
        QTest::newRow("no blank") << "412\n" << QList<qint32>{};
        QTest::newRow("pid and blank only") << "412 \n" << QList<qint32>{};
        QTest::newRow("leading blanks and signs") << "  +41 caffeinate\n-3 caffeinate" << QList<qint32>{41, -3};
        QTest::newRow("beyond 32 bits") << "2147483648 caffeinate\n2147483647 c" << QList<qint32>{2147483647};
        QTest::newRow("blank lines") << "\n\n5 caffeinate -i\n\n" << QList<qint32>{5};
    }

    void pgrepParsing()
    {
        QFETCH(QString, output);
        QFETCH(QList<qint32>, pids);
        QList<qint32> found;
        for (const auto &p : parsePgrepOutput(output))
            found << p.pid;
        QCOMPARE(found, pids);
        if (output.startsWith(QLatin1String("\n\n5")))
            QCOMPARE(parsePgrepOutput(output).first().command, QStringLiteral("caffeinate -i"));
    }

    void residualCaffeinateIsLoggedFromARealPgrepRun()
    {
        SimApp s;
        // A caffeinate child of our own, which pgrep must find by name.
        QProcess child;
        child.start(toolsDir() + QStringLiteral("/caffeinate"), {QStringLiteral("-t"), QStringLiteral("5")});
        QVERIFY(child.waitForStarted());
        LogCapture log;
        s.app->detectResidualCaffeinate();
        const QStringList lines = log.lines().filter(QStringLiteral("residual caffeinate"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QStringLiteral("[WARNING] [startup] residual caffeinate detected, count=")),
                 qPrintable(lines.first()));
        QVERIFY(lines.first().contains(QString::number(child.processId())));
        child.terminate();
        QVERIFY(child.waitForFinished(2000));
    }

    void compositionStartsFromTheFirstSnapshot()
    {
        SimApp s(R"({"source":"battery","level":64,"lowPower":true})");
        QVERIFY(s.firstSnapshot);
        QCOMPARE(s.state().power, *s.firstSnapshot);
        QCOMPARE(s.state().power.batteryLevel, std::optional<qint64>(64));
        QVERIFY(is<Authorization::Unknown>(s.state().authorization));
        QVERIFY(s.app->closedLidModule());

        s.app->start();
        // No rule in the sandbox: the start-up check says so.
        QVERIFY(is<Authorization::Required>(s.state().authorization));
        QCOMPARE(s.kinds(), QStringList{QStringLiteral("appLaunched")});
        const auto launched = std::get<EventKind::AppLaunched>(s.events().first().kind);
        QCOMPARE(launched.version, QStringLiteral(QUORVEL_VERSION));
        QCOMPARE(launched.build, BundleInfo::running().bundleVersion.value_or("absent"));
        QVERIFY(launched.build.toLongLong() >= 1);
    }

    void powerChangesReachBatterySafetyUntilTheModuleIsGone()
    {
        SimApp s(R"({"source":"battery","level":80,"lowPower":false})");
        s.app->start();
        authorize(s);
        s.app->closedLidModule()->setClamshell(true);
        QCOMPARE(s.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{80}));

        s.writePower(R"({"source":"battery","level":23,"lowPower":false})");
        QTRY_COMPARE_WITH_TIMEOUT(s.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{23}), 5000);
        QVERIFY(s.kinds().contains(QStringLiteral("lowBatteryWarningEntered")));

        // Without the module the snapshot still reaches the store, and nothing else.
        s.app->setClosedLidModule(nullptr);
        s.writePower(R"({"source":"battery","level":10,"lowPower":false})");
        QTRY_COMPARE_WITH_TIMEOUT(s.state().power.batteryLevel, std::optional<qint64>(10), 5000);
        QCOMPARE(s.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{23}));
        QVERIFY(!s.kinds().contains(QStringLiteral("safetyStopTriggered")));
        // The override is still in force: put it back for the sandbox's sake.
        QCOMPARE(s.sleepSetting(), QStringLiteral("1"));
    }

    void blockedStatesAdmitNoSession_data()
    {
        QTest::addColumn<bool>("closedLidRunning");
        QTest::addColumn<bool>("residual");
        QTest::newRow("closed-lid on battery") << true << false;
        QTest::newRow("start-up leftover") << false << true;
    }

    void blockedStatesAdmitNoSession()
    {
        QFETCH(bool, closedLidRunning);
        QFETCH(bool, residual);
        SimApp s;
        VemoState blocked = s.state();
        if (closedLidRunning)
            blocked.clamshell = Clamshell::RunningOnBattery{50};
        blocked.startupResidual = residual;
        s.app->store().setState(blocked);

        QSignalSpy spy(&s.app->store(), &AppStateStore::changed);
        s.app->startTimed(7200);
        s.app->startPermanent();
        QCOMPARE(spy.count(), 0);
        QVERIFY(is<TimedSession::Off>(s.state().timedSession));
        QVERIFY(!QFile::exists(s.sandbox("/sim/caffeinate.log")));
        if (closedLidRunning)
            s.app->store().setClamshellOff(); // the sandbox never had the override
    }

    void displayAwakeNeedsARunningSession()
    {
        SimApp s;
        s.app->setDisplayAwake(true);
        QVERIFY(is<DisplayAwake::Off>(s.state().displayAwake));

        s.app->store().setDisplayAwakeFailed(VemoError::processExitedUnexpectedly);
        QSignalSpy spy(&s.app->store(), &AppStateStore::changed);
        s.app->setDisplayAwake(false);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(s.state().displayAwake, DisplayAwakeState(DisplayAwake::Failed{VemoError::processExitedUnexpectedly}));
    }

    void cancelledQuitKeepsTheSessionRunning()
    {
        SimApp s;
        LogCapture log;
        s.app->startTimed(7200);
        QCOMPARE(s.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        const qint64 pid = s.app->timedController().childPID();
        QVERIFY(pid > 0);

        s.quitAnswer = alertSecondButton;
        s.app->requestQuit();
        QCOMPARE(s.quitAlerts.size(), 1);
        const auto dialog = Presentation::quitDialog(s.state());
        QVERIFY(dialog);
        QCOMPARE(s.quitAlerts.first(),
                 (QuitAlert{dialog->title, dialog->bodyLines.join('\n'), dialog->confirmLabel, dialog->cancelLabel}));
        QCOMPARE(s.terminations, 0);
        QCOMPARE(s.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        QCOMPARE(s.app->timedController().childPID(), pid);
        const auto events = s.events();
        QCOMPARE(s.kinds(), (QStringList{QStringLiteral("timedStarted"), QStringLiteral("quitRequested")}));
        QCOMPARE(std::get<EventKind::QuitRequested>(events.last().kind).blockers,
                 QList<QuitBlocker>{QuitBlockers::Timed{7200}});

        // Confirming quits: the child is ended before the terminator runs.
        s.quitAnswer = alertFirstButton;
        s.app->requestQuit();
        QCOMPARE(s.terminations, 1);
        QCOMPARE(::kill(pid_t(pid), 0), -1);
        QVERIFY(log.lines().contains(QStringLiteral("[INFO] [app] cleanup completed, failedModules=none")));
    }

    void quitWithNothingRunningQuitsAtOnce()
    {
        SimApp s;
        LogCapture log;
        s.app->requestQuit();
        QCOMPARE(s.quitAlerts.size(), 0);
        QCOMPARE(s.terminations, 1);
        s.app->handleWillTerminate();
        s.app->handleWillTerminate();
        s.app->cleanupAll();
        QCOMPARE(s.kinds(), (QStringList{QStringLiteral("cleanupCompleted"), QStringLiteral("appQuit")}));
        const auto events = s.events();
        QCOMPARE(events.first().evidence, std::optional<SystemEvidence>(SystemEvidence{}));
        QCOMPARE(std::get<EventKind::AppQuit>(events.last().kind).clean, true);
        QVERIFY(!events.last().evidence);
        QCOMPARE(log.messages().filter(QStringLiteral("cleanup")).size(), 1);
    }

    void leftoverWithoutAuthorizationAsksFirst()
    {
        SimApp s;
        s.app->store().setStartupResidual(true, std::nullopt);
        s.app->store().setAuthorization(Authorization::Denied{});
        s.app->requestQuit();
        QCOMPARE(s.quitAlerts.size(), 1);
        const QuitAlert &alert = s.quitAlerts.first();
        QCOMPARE(alert.messageText, qtTrId("confirmQuit"));
        QCOMPARE(alert.informativeText,
                 qtTrId("cannotClearSleepPrevention") + '\n' + qtTrId("suggestManualCloseOrAuth"));
        QCOMPARE(alert.secondButton, qtTrId("cancel"));
        QCOMPARE(s.terminations, 0);
        QCOMPARE(s.kinds(), QStringList{QStringLiteral("quitRequested")});
        QVERIFY(std::get<EventKind::QuitRequested>(s.events().first().kind).blockers.isEmpty());
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
        QVERIFY(setting.open(QIODevice::WriteOnly) && setting.write("1\n") == 2);
        setting.close();
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

    void failedRestoreMakesThePartialCleanup_data()
    {
        QTest::addColumn<bool>("faultPersists");
        QTest::newRow("second run restores") << false;
        QTest::newRow("second run fails too") << true;
    }

    void failedRestoreMakesThePartialCleanup()
    {
        QFETCH(bool, faultPersists);
        SimApp s;
        LogCapture log;
        s.app->start();
        authorize(s);
        s.app->closedLidModule()->setClamshell(true);
        QCOMPARE(s.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(s.sleepSetting(), QStringLiteral("1"));

        s.setFault("/sim/pmset-ignores-writes", true);
        s.quitAnswer = alertFirstButton;
        s.app->requestQuit();
        QCOMPARE(s.terminations, 1);
        QCOMPARE(s.app->lastCleanupFailedModules(), QList<ModuleId>{ModuleId::clamshell});
        QVERIFY(log.lines().contains(QStringLiteral("[ERROR] [app] cleanup partial, failedModules=clamshell")));
        // A failed restore never reports the mode as stopped.
        QVERIFY(isClamshellRunning(s.state().clamshell));
        QCOMPARE(s.state().lastError, std::optional<VemoError>(VemoError::clamshellRestoreFailed));

        s.setFault("/sim/pmset-ignores-writes", faultPersists);
        s.app->handleWillTerminate();
        const auto events = s.events();
        QCOMPARE(std::get<EventKind::AppQuit>(events.last().kind).clean, !faultPersists);
        QCOMPARE(s.kinds().count(QStringLiteral("cleanupPartial")), 1);
        QCOMPARE(s.kinds().count(QStringLiteral("cleanupCompleted")), 0);
        QCOMPARE(log.messages().filter(QStringLiteral("cleanup ")).size(), 1);
        QCOMPARE(s.sleepSetting(), faultPersists ? QStringLiteral("1") : QStringLiteral("0"));
        s.setFault("/sim/pmset-ignores-writes", false);
    }

    // Quitting would leave sleep disabled: the user is warned before anything is torn down, and
    // staying keeps every mode as it was.
    void failedRestoreWarnsBeforeQuitting()
    {
        SimApp s;
        LogCapture log;
        s.app->start();
        authorize(s);
        s.app->closedLidModule()->setClamshell(true);
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
        QCOMPARE(s.sleepSetting(), "1");
        QCOMPARE(log.lines().filter("[app] cleanup"),
                 QStringList{"[ERROR] [app] cleanup partial, failedModules=clamshell"});
        s.setFault("/sim/pmset-ignores-writes", false);
    }
};

QTEST_GUILESS_MAIN(CoordinatorTest)
#include "tst_coordinator.moc"
