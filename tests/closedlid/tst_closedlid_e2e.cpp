// Closed-lid mode end to end on the simulated platform: the real runners start the stand-in
// sudo, pmset and osascript as child processes, the rule is a real file in a sandbox folder,
// and the battery is drained by rewriting the sandbox's power file with quorvel-sim-power
// while the power monitor watches it. Only the one-second take-over runs on virtual time.

#include "closedlid/ClosedLidModule.h"
#include "closedlid/SudoersAuthorization.h"
#include "platform/sim/SimLayout.h"
#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimPower.h"
#include "power/BatterySafetyCoordinator.h"
#include "power/PowerMonitor.h"

#include "support/FakeScheduler.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/UserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quorvel;
using namespace quorvel::test;
using namespace std::chrono_literals;

namespace {

QString toolsDir()
{
    const QString fromEnvironment = qEnvironmentVariable(simlayout::kToolsVariable);
    return fromEnvironment.isEmpty() ? QStringLiteral(QUORVEL_TOOLS_DIR) : fromEnvironment;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// One run of the application: its own store, journal and closed-lid module over the shared
// sandbox, wired as the composition root wires them.
struct Session {
    std::unique_ptr<AppStateStore> store;
    std::shared_ptr<InMemoryEventJournal> journal = std::make_shared<InMemoryEventJournal>(500);
    std::shared_ptr<FakeScheduler> scheduler = std::make_shared<FakeScheduler>();
    std::unique_ptr<SimPowerWatcher> watcher;
    std::unique_ptr<PowerMonitor> monitor;
    std::unique_ptr<LiveClosedLidModule> module;
    QList<int> answers; // the user's answers to the module's alerts, in order
    QList<Alert> alerts;
    std::function<void(const Alert &)> onAlert;

    Session(const SimPlatform &sim, const QString &temporaryDirectory)
    {
        CommandEnvironment commands{[sim](const QString &path) { return sim.mapPath(path); }, sim.environment()};
        const CommandRunner runner = makeCommandRunner(commands);
        const SimPlatform::Owner owner = SimPlatform::expectedRuleOwner();
        SudoersAuthorization::Setup setup;
        setup.ruleFile = {sim.mapPath(SudoersAuthorization::ruleFilePath), owner.uid, owner.gid};
        setup.runShell = SudoersAuthorization::makeShellRunner(commands);
        setup.temporaryDirectory = temporaryDirectory;

        const QString powerFile = sim.powerFile();
        const auto readPower = [powerFile] { return readSimPower(powerFile, QDateTime::currentDateTimeUtc()); };
        store = std::make_unique<AppStateStore>(readPower());
        watcher = std::make_unique<SimPowerWatcher>(powerFile);
        monitor = std::make_unique<PowerMonitor>(store.get(), readPower,
                                                 changeSourceFromSignal(watcher.get(), &SimPowerWatcher::changed),
                                                 PowerChangeSource());

        auto controller = std::make_shared<ClamshellKeepRunningController>(store.get(), runner, journal);
        LiveClosedLidModule::Parts parts;
        parts.store = store.get();
        parts.eventJournal = journal;
        parts.clamshellController = controller;
        parts.authorizationManager = std::make_unique<AuthorizationManager>(
            store.get(), SudoersAuthorization::makeChecker(setup), SudoersAuthorization::makeGrantor(setup), journal);
        parts.batterySafety = std::make_unique<BatterySafetyCoordinator>(store.get(), controller, journal,
                                                                         std::make_shared<MemoryUserDefaults>());
        parts.batterySafety->installAsThresholdReader();
        parts.powerMonitor = monitor.get();
        parts.pmsetReader = makePmsetReader(runner);
        parts.revokeRevoker = SudoersAuthorization::makeRevoker(setup);
        parts.revokeReadback = SudoersAuthorization::makeChecker(setup);
        parts.alertPresenter = [this](const Alert &alert) {
            alerts << alert;
            if (onAlert)
                onAlert(alert);
            return answers.isEmpty() ? alertSecondButton : answers.takeFirst();
        };
        parts.scheduler = scheduler;
        module = std::make_unique<LiveClosedLidModule>(std::move(parts));

        monitor->setOnChange(LiveClosedLidModule::powerChangeForwarder(module.get()));
        monitor->refresh();
        monitor->start();
        module->authorizationManager().verify();
    }

    const VemoState &state() const { return store->state(); }
    QStringList kinds() const
    {
        QStringList names;
        for (const VemoEvent &event : journal->events())
            names << caseName(event.kind);
        return names;
    }
};

} // namespace

class ClosedLidEndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<SimPlatform> sim;

    // The sleep setting as the stand-in `pmset -g` reports it: 1, 0 or absent.
    std::optional<int> sleepSetting() const
    {
        CommandEnvironment commands{[s = *sim](const QString &path) { return s.mapPath(path); }, sim->environment()};
        return ClamshellCapabilityProbe::parseSleepDisabled(makePmsetReader(makeCommandRunner(commands))());
    }

    void setPower(const QStringList &arguments)
    {
        const CommandResult result =
            runCommand({toolsDir() + "/quorvel-sim-power", arguments}, CommandEnvironment{{}, sim->environment()});
        QCOMPARE(result.exitCode, 0);
    }

    void answerAdministratorDialog(const QByteArray &answer)
    {
        QVERIFY(writeFile(sim->sandboxPath(simlayout::kAdminAnswerFile), answer + "\n"));
    }

    QString ruleFile() const { return sim->mapPath(SudoersAuthorization::ruleFilePath); }

    // An earlier, successful authorization, as the settings window would do it.
    void installRule()
    {
        Session setup(*sim, root->filePath("tmp"));
        setup.module->authorizationManager().grant();
        QCOMPARE(setup.state().authorization, AuthorizationState(Authorization::Granted{}));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        qputenv("HOME", home.path().toLocal8Bit());
        for (const char *variable : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(variable, home.filePath(variable).toLocal8Bit());
        qputenv("TMPDIR", home.filePath("tmp").toLocal8Bit());
        QVERIFY(QDir().mkpath(home.filePath("tmp")));
        QVERIFY2(QFileInfo(toolsDir() + "/pmset").isExecutable(), qPrintable(toolsDir()));
    }

    // A fresh sandbox for every flow: a machine with sleep enabled, on battery at 64 %.
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
        qputenv(simlayout::kRootVariable, root->path().toLocal8Bit());
        sim = std::make_unique<SimPlatform>(root->path(), toolsDir());
        QVERIFY(sim->ensureSandbox());
        QVERIFY(QDir().mkpath(root->filePath("tmp")));
        QVERIFY(writeFile(sim->sandboxPath(simlayout::kSleepDisabledFile), "0\n"));
        setPower({"--source", "battery", "--level", "64"});
    }

    void cleanup()
    {
        sim.reset();
        root.reset();
    }

    // Authorize through the alert and the administrator dialog, start on battery, drain
    // through the warning band to the threshold: the safety stop restores the setting.
    void authorizeStartOnBatteryAndDrainToSafetyStop()
    {
        LogCapture log;
        Session app(*sim, root->filePath("tmp"));
        QCOMPARE(app.state().authorization, AuthorizationState(Authorization::Required{}));
        QCOMPARE(app.state().power.batteryLevel, std::optional<qint64>(64));

        app.module->setClamshell(true);
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::AuthorizationRequired{}));
        answerAdministratorDialog("approve");
        app.answers = {alertFirstButton};
        app.module->requestAuthorization();

        QCOMPARE(app.alerts, QList<Alert>{Alerts::authorizationRequest()});
        QCOMPARE(app.state().authorization, AuthorizationState(Authorization::Granted{}));
        struct stat status {};
        QCOMPARE(::lstat(QFile::encodeName(ruleFile()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, mode_t(0440));
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{64}));
        QCOMPARE(sleepSetting(), std::optional<int>(1));

        // Each rewrite of the power file reaches the safety coordinator through the monitor.
        const auto drainTo = [&](int level, const ClamshellState &expected) {
            setPower({"--level", QString::number(level)});
            QTRY_COMPARE_WITH_TIMEOUT(app.state().clamshell, expected, 5000);
        };
        drainTo(30, Clamshell::RunningOnBattery{30});
        drainTo(25, Clamshell::LowBatteryWarning{25});
        drainTo(22, Clamshell::LowBatteryWarning{22});
        QCOMPARE(sleepSetting(), std::optional<int>(1));
        drainTo(20, Clamshell::SafetyStopped{20});
        QCOMPARE(sleepSetting(), std::optional<int>(0));
        QCOMPARE(app.state().lastSafetyEvent, std::optional<SafetyEvent>(Safety::SafetyStop{20}));
        QVERIFY(app.state().lastSafetyStopAt.has_value());

        QCOMPARE(app.kinds(), (QStringList{"authorizationRequested", "authorizationGranted", "clamshellStarted",
                                           "lowBatteryWarningEntered", "lowBatteryWarningEntered", "clamshellStopped",
                                           "safetyStopTriggered"}));
        const QList<VemoEvent> events = app.journal->events();
        QVERIFY(events[2].evidence == (SystemEvidence{1, PowerSource::battery, 64}));
        QVERIFY(events[5].kind == VemoEventKind(EventKind::ClamshellStopped{ClamshellStopReason::safety}));
        QVERIFY(events[6].kind == VemoEventKind(EventKind::SafetyStopTriggered{20}));
        QVERIFY(events[6].evidence == (SystemEvidence{std::nullopt, PowerSource::battery, 20}));
        QVERIFY(log.lines().contains("[ERROR] [battery] safety stop triggered, battery=20"));

        // Later snapshots below the threshold are ignored; quitting has nothing to restore.
        setPower({"--level", "15"});
        QTRY_COMPARE_WITH_TIMEOUT(app.state().power.batteryLevel, std::optional<qint64>(15), 5000);
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::SafetyStopped{20}));
        QCOMPARE(app.journal->events().size(), 7);
        QVERIFY(app.module->prepareForQuit());
        QCOMPARE(sleepSetting(), std::optional<int>(0));
    }

    void cancelledAuthorizationLeavesEverythingOff()
    {
        Session app(*sim, root->filePath("tmp"));
        app.module->setClamshell(true);
        answerAdministratorDialog("cancel");
        app.answers = {alertFirstButton};
        app.module->requestAuthorization();

        QCOMPARE(app.state().authorization, AuthorizationState(Authorization::Denied{}));
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::AuthorizationRequired{}));
        QVERIFY(!QFileInfo::exists(ruleFile()));
        QCOMPARE(app.kinds(), (QStringList{"authorizationRequested", "authorizationDenied"}));
        QCOMPARE(QDir(root->filePath("tmp")).entryList(QDir::Files), QStringList{});

        // Without the rule sudo refuses; nothing is switched and quitting is clean.
        QVERIFY(app.module->prepareForQuit());
        QCOMPARE(sleepSetting(), std::optional<int>(0));
    }

    // An earlier run ended without restoring: the next start-up flags the setting at once
    // and, with the rule in place, takes it over one second later without a gap.
    void leftoverTakenOverAfterOneSecond()
    {
        answerAdministratorDialog("approve");
        installRule();
        {
            Session crashed(*sim, root->filePath("tmp"));
            crashed.module->setClamshell(true);
            QCOMPARE(crashed.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{64}));
        } // gone without prepareForQuit, as after a crash
        QCOMPARE(sleepSetting(), std::optional<int>(1));

        Session app(*sim, root->filePath("tmp"));
        QCOMPARE(app.state().authorization, AuthorizationState(Authorization::Granted{}));
        app.module->detectStartupResidual();
        QVERIFY(app.state().startupResidual);
        app.scheduler->advance(999ms);
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::Off{}));
        app.scheduler->advance(1ms);

        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{64}));
        QVERIFY(!app.state().startupResidual);
        QCOMPARE(sleepSetting(), std::optional<int>(1));
        QCOMPARE(app.kinds(),
                 (QStringList{"startupResidualDetected", "clamshellStarted", "startupResidualRestoredByUser"}));

        QVERIFY(app.module->prepareForQuit());
        QCOMPARE(sleepSetting(), std::optional<int>(0));
        QCOMPARE(app.kinds().last(), QStringLiteral("clamshellStopped"));
    }

    // Without the rule the leftover cannot be touched: it stays flagged, a restore fails,
    // and once the user authorizes, the restore goes through.
    void leftoverWithoutTheRule()
    {
        QVERIFY(writeFile(sim->sandboxPath(simlayout::kSleepDisabledFile), "1\n"));
        Session app(*sim, root->filePath("tmp"));
        app.module->detectStartupResidual();
        app.scheduler->advance(1s);
        QVERIFY(app.state().startupResidual);
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::Off{}));

        app.module->restoreResidual();
        QVERIFY(app.state().startupResidual);
        QCOMPARE(app.state().lastError, std::optional(VemoError::clamshellRestoreFailed));
        QCOMPARE(sleepSetting(), std::optional<int>(1));

        answerAdministratorDialog("approve");
        app.module->authorizationManager().grant();
        app.module->restoreResidual();
        QVERIFY(!app.state().startupResidual);
        QCOMPARE(sleepSetting(), std::optional<int>(0));
        QVERIFY(app.module->prepareForQuit());
        QCOMPARE(sleepSetting(), std::optional<int>(0));
    }

    // Revoking while closed-lid mode runs switches the override off first, then removes
    // the rule; when pmset will not write, the rule stays until a retry succeeds.
    void revokeWhileActive_data()
    {
        QTest::addColumn<bool>("pmsetIgnoresWrites");
        QTest::addColumn<QStringList>("alerts");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("restored at once")
            << false << QStringList{"revokeWhileClamshellRunningTitle"}
            << QStringList{"clamshellStarted", "clamshellStopped", "authorizationRevoked"};
        QTest::newRow("restore fails once, retried")
            << true << QStringList{"revokeWhileClamshellRunningTitle", "revokeRestoreFailedTitle"}
            << QStringList{"clamshellStarted", "clamshellStopped", "clamshellStopped", "authorizationRevoked"};
    }
    void revokeWhileActive()
    {
        QFETCH(bool, pmsetIgnoresWrites);
        QFETCH(QStringList, alerts);
        QFETCH(QStringList, events);

        answerAdministratorDialog("approve");
        installRule();
        setPower({"--source", "ac", "--level", "none"});
        Session app(*sim, root->filePath("tmp"));
        app.module->setClamshell(true);
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));

        const QString fault = sim->sandboxPath(simlayout::kPmsetIgnoresWritesFile);
        if (pmsetIgnoresWrites)
            QVERIFY(writeFile(fault, "1\n"));
        app.answers = {alertFirstButton, alertFirstButton};
        app.onAlert = [&](const Alert &alert) {
            // While the restore-failed alert is up, the fault clears and the user retries.
            if (alert == Alerts::restoreFailed()) {
                QCOMPARE(sleepSetting(), std::optional<int>(1));
                QVERIFY(QFileInfo::exists(ruleFile()));
                QFile::remove(fault);
            }
        };
        app.module->revokeAuthorization();

        QStringList shown;
        for (const Alert &alert : app.alerts)
            shown << alert.titleKey;
        QCOMPARE(shown, alerts);
        QCOMPARE(app.state().authorization, AuthorizationState(Authorization::Revoked{}));
        QCOMPARE(app.state().clamshell, ClamshellState(Clamshell::Off{}));
        QVERIFY(!QFileInfo::exists(ruleFile()));
        QCOMPARE(app.kinds(), events);
        QVERIFY(app.journal->events().last().kind == VemoEventKind(EventKind::AuthorizationRevoked{true}));
        QCOMPARE(sleepSetting(), std::optional<int>(0));

        QVERIFY(app.module->prepareForQuit());
        QCOMPARE(sleepSetting(), std::optional<int>(0));
    }

    // Quitting while closed-lid mode runs restores the default; when the restore cannot be
    // proven, quitting says so.
    void quitWhileRunning_data()
    {
        QTest::addColumn<bool>("pmsetIgnoresWrites");
        QTest::newRow("restored") << false;
        QTest::newRow("pmset ignores writes") << true;
    }
    void quitWhileRunning()
    {
        QFETCH(bool, pmsetIgnoresWrites);
        answerAdministratorDialog("approve");
        installRule();
        Session app(*sim, root->filePath("tmp"));
        app.module->setClamshell(true);
        QVERIFY(isClamshellRunning(app.state().clamshell));
        if (pmsetIgnoresWrites)
            QVERIFY(writeFile(sim->sandboxPath(simlayout::kPmsetIgnoresWritesFile), "1\n"));

        QCOMPARE(app.module->prepareForQuit(), !pmsetIgnoresWrites);
        QCOMPARE(sleepSetting(), std::optional<int>(pmsetIgnoresWrites ? 1 : 0));
        QCOMPARE(app.state().lastError,
                 pmsetIgnoresWrites ? std::optional(VemoError::clamshellRestoreFailed) : std::nullopt);

        // The override is still in force and the state says so, so the second clean-up at
        // termination tries again and, with pmset writing again, succeeds.
        QFile::remove(sim->sandboxPath(simlayout::kPmsetIgnoresWritesFile));
        QVERIFY(app.module->prepareForQuit());
        QCOMPARE(sleepSetting(), std::optional<int>(0));
    }
};

QTEST_GUILESS_MAIN(ClosedLidEndToEndTest)
#include "tst_closedlid_e2e.moc"
