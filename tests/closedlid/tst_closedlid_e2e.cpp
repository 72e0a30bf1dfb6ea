// Closed-lid mode end to end on the simulated platform: the stand-in sudo, pmset, osascript and
// visudo run as child processes, the rule is a real file in the sandbox and the power source is
// its power file. Only the take-over delay runs on virtual time.

#include "ScriptedPmset.h"
#include "platform/sim/SimLayout.h"
#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimPower.h"
#include "support/LogCapture.h"

#include <QDirIterator>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::SudoersAuthorization;
using namespace std::chrono_literals;

class ClosedLidEndToEndTest : public QObject {
    Q_OBJECT

    test::LogCapture log; // keeps the code under test out of the user's log folder
    QTemporaryDir root;
    SimPlatform sim{root.path(), SimPlatform::fromEnvironment().toolsDir()};
    CommandEnvironment commands{[this](const QString &path) { return sim.mapPath(path); }, sim.environment()};
    const SimPlatform::Owner owner = SimPlatform::expectedRuleOwner();
    Setup setup{{sim.mapPath(ruleFilePath), owner.uid, owner.gid}, makeShellRunner(commands), root.path()};

    void write(const char *file, const QString &text)
    {
        QFile out(sim.sandboxPath(file));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text.toUtf8()) == text.size());
    }
    // As `pmset -g` reports it: 1, 0, or -1 when absent.
    int sleepSetting() const
    {
        return ClamshellCapabilityProbe::parseSleepDisabled(pmsetReader(makeCommandRunner(commands))).value_or(-1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sim.ensureSandbox());
        write(simlayout::kSleepDisabledFile, "0\n");
        write(simlayout::kPowerFile, R"({"source": "battery", "level": 64})");
    }

    // Authorize (cancelled, then approved), start on battery, drain through the warning band to
    // the threshold; start again and crash. The next start-up takes the leftover over one second
    // later; quit, start, and revoke while active. Every stop and quit leaves sleep enabled.
    void closedLidFlow()
    {
        auto app = std::make_unique<Rig>(readSimPower(sim.powerFile(), {}), true, &setup, makeCommandRunner(commands));
        PowerMonitor monitor(&app->store, [this] { return readSimPower(sim.powerFile(), {}); }, {}, {});
        monitor.setOnChange(LiveClosedLidModule::powerChangeForwarder(app->module.get()));
        app->module->setClamshell(true);
        app->answers = {alertFirstButton, alertFirstButton};
        for (const char *answer : {"cancel", "approve"}) {
            write(simlayout::kAdminAnswerFile, answer);
            app->module->requestAuthorization();
        }
        QCOMPARE(app->store.state().clamshell, ClamshellState(Clamshell::RunningOnBattery{64}));
        QCOMPARE(sleepSetting(), 1);
        for (int level : {30, 25, 20}) {
            write(simlayout::kPowerFile, QString(R"({"source": "battery", "level": %1})").arg(level));
            monitor.refresh();
        }
        QCOMPARE(app->store.state().clamshell, ClamshellState(Clamshell::SafetyStopped{20}));
        QCOMPARE(sleepSetting(), 0);
        QCOMPARE(kindsOf(*app->journal), "authorizationRequested authorizationDenied authorizationRequested "
                                         "authorizationGranted clamshellStarted lowBatteryWarningEntered "
                                         "clamshellStopped(safety) safetyStopTriggered");
        QVERIFY(app->journal->events()[7].evidence == (SystemEvidence{std::nullopt, PowerSource::battery, 20}));
        app->module->setClamshell(true); // at the threshold: stopped for safety as soon as it starts
        QCOMPARE(app->store.state().clamshell, ClamshellState(Clamshell::SafetyStopped{20}));
        QCOMPARE(sleepSetting(), 0);
        write(simlayout::kPowerFile, R"({"source": "battery", "level": 21})");
        monitor.refresh();
        app->module->setClamshell(true);
        QCOMPARE(app->store.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{21}));
        app.reset(); // gone without restoring, as after a crash

        app = std::make_unique<Rig>(readSimPower(sim.powerFile(), {}), true, &setup, makeCommandRunner(commands));
        app->module->detectStartupResidual();
        app->scheduler->advance(999ms);
        QCOMPARE(app->store.state().clamshell, ClamshellState(Clamshell::Off{}));
        app->scheduler->advance(1ms);
        QCOMPARE(app->store.state().clamshell, ClamshellState(Clamshell::LowBatteryWarning{21}));
        QVERIFY(!app->store.state().startupResidual);
        QVERIFY(app->module->prepareForQuit());
        QCOMPARE(sleepSetting(), 0);
        app->module->setClamshell(true);
        app->module->revokeAuthorization();
        QCOMPARE(app->alerts, QStringList{"revokeWhileClamshellRunningTitle"});
        QCOMPARE(kindsOf(*app->journal),
                 "startupResidualDetected clamshellStarted lowBatteryWarningEntered "
                 "startupResidualRestoredByUser clamshellStopped(quit) clamshellStarted "
                 "lowBatteryWarningEntered clamshellStopped(manual) authorizationRevoked(true)");
        QCOMPARE(sleepSetting(), 0);
    }

    // A hostile temporary folder never reaches a shell: nothing runs, nothing is created. A copy
    // replaced between the visudo check and the administrator line is never installed; untouched,
    // the same install goes through. No copy stays behind either way.
    void temporaryCopy_data()
    {
        QTest::addColumn<QString>("name"); // "@" stands for a marker file a breakout would create
        QTest::addColumn<bool>("swap");
        QTest::newRow("double quote") << "q\";touch @;echo \"" << false;
        QTest::newRow("semicolon") << "q;touch @" << false;
        QTest::newRow("substitution") << "q$(touch @)" << false;
        QTest::newRow("newline") << "q\ntouch @\n" << false;
        QTest::newRow("space") << "q touch @" << false;
        QTest::newRow("single quote") << "q';touch @;'" << false;
        QTest::newRow("backtick") << "q`touch @`" << false;
        QTest::newRow("swapped after the check") << "swap" << true;
        QTest::newRow("untouched") << "plain" << false;
    }
    void temporaryCopy()
    {
        QFETCH(QString, name);
        QFETCH(bool, swap);
        const QString marker = root.filePath("pwned");
        const bool hostile = name.contains('@'), installs = !hostile && !swap;
        Setup install = setup;
        install.temporaryDirectory = root.filePath(name.replace("@", marker));
        QVERIFY(QDir().mkpath(install.temporaryDirectory));
        QStringList ran;
        install.runShell = [&](const QString &line) {
            QDirIterator copies(install.temporaryDirectory, {"*.tmp"}, QDir::Files, QDirIterator::Subdirectories);
            while (swap && line.startsWith("osascript") && copies.hasNext()) {
                QFile copy(copies.next());
                copy.remove(); // its mode is 0440; the folder is ours
                if (copy.open(QIODevice::WriteOnly))
                    copy.write("ALL ALL=(ALL) NOPASSWD: ALL\n");
            }
            return ran << line, setup.runShell(line);
        };
        write(simlayout::kAdminAnswerFile, "approve");
        QCOMPARE(makeGrantor(install)(), installs ? Result<>() : Result<>(VemoError::authorizationInstallFailed));
        QCOMPARE(ran.isEmpty(), hostile);
        QVERIFY(!QFileInfo::exists(marker));
        QCOMPARE(QDir(install.temporaryDirectory).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QCOMPARE(QFile::remove(sim.mapPath(ruleFilePath)), installs);
        QVERIFY(!QFileInfo::exists(sim.sandboxPath("/etc/sudoers.d/quorvel.pending")));
    }
};

QTEST_GUILESS_MAIN(ClosedLidEndToEndTest)
#include "tst_closedlid_e2e.moc"
