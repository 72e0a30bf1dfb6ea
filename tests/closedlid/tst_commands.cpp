#include "closedlid/SystemCommands.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::ClamshellCapabilityProbe;
using SudoersAuthorization::runShell;

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void parseSleepDisabled_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<std::optional<int>>("expected");
        const std::optional<int> absent;
        QTest::newRow("usual report") << "System-wide power settings:\n SleepDisabled\t\t1\n standby 1\n"
                                      << std::optional<int>(1);
        QTest::newRow("zero among other keys")
            << "Currently in use:\n hibernatemode 3\n sleepdisabled\t0\n displaysleep 10\n"
            << std::optional<int>(0);
        QTest::newRow("capitals") << "SLEEPDISABLED 1" << std::optional<int>(1);
        QTest::newRow("empty first, later decides") << " sleepdisabled\n sleepdisabled 1\n" << std::optional<int>(1);
        QTest::newRow("word skipped, later decides") << "sleepdisabled yes\nsleepdisabled\t0" << std::optional<int>(0);
        QTest::newRow("first deciding line wins") << "sleepdisabled 0\nsleepdisabled 1\n" << std::optional<int>(0);
        QTest::newRow("only the first piece counts") << "sleepdisabled 1 (forced)" << std::optional<int>(1);
        QTest::newRow("crlf line ends") << "  sleepdisabled 1\r\n" << std::optional<int>(1);
        QTest::newRow("value 2") << "sleepdisabled 2" << absent;
        QTest::newRow("value 10") << "sleepdisabled 10" << absent;
        QTest::newRow("key glued to a word") << "sleepdisabledx 1" << absent;
        QTest::newRow("key not at the start") << "no sleepdisabled 1" << absent;
        QTest::newRow("no such line") << " standby 1\n hibernatemode 3" << absent;
        QTest::newRow("empty output") << "" << absent;
    }
    void parseSleepDisabled()
    {
        QFETCH(QString, output);
        QFETCH(std::optional<int>, expected);
        QCOMPARE(ClamshellCapabilityProbe::parseSleepDisabled(output), expected);
    }

    // The sudoers rule names the pmset lines as text; they must match the argument lists.
    void commandLinesAreFixed()
    {
        const QStringList pmset{"/usr/bin/pmset", "-a", "disablesleep"};
        QCOMPARE(applyOverrideCommand(), (Command{"/usr/bin/sudo", QStringList{"-n"} + pmset + QStringList{"1"}}));
        QCOMPARE(restoreDefaultCommand(), (Command{"/usr/bin/sudo", QStringList{"-n"} + pmset + QStringList{"0"}}));
        QCOMPARE(readSettingsCommand(), (Command{"/usr/bin/pmset", {"-g"}}));
        QCOMPARE(pmsetLine(applyOverrideCommand()), QStringLiteral("/usr/bin/pmset -a disablesleep 1"));
        QCOMPARE(pmsetLine(restoreDefaultCommand()), QStringLiteral("/usr/bin/pmset -a disablesleep 0"));
    }

    void runCommandReportsOutputAndStatus_data()
    {
        QTest::addColumn<QString>("launchPath");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("echo") << "/bin/echo" << QStringList{"hello", "wörld"} << "hello wörld\n" << 0;
        QTest::newRow("status passed through")
            << "/bin/sh" << QStringList{"-c", "echo out; echo err >&2; exit 3"} << "out\n"
            << 3;
        QTest::newRow("missing program") << "/nonexistent/pmset" << QStringList{"-g"} << "" << -1;
        QTest::newRow("not executable") << "/etc/passwd" << QStringList{} << "" << -1;
        QTest::newRow("invalid utf-8") << "/usr/bin/printf" << QStringList{"ok\\377\\n"} << "" << 0;
        QTest::newRow("cut-off utf-8 sequence") << "/usr/bin/printf" << QStringList{"ok\\303"} << "" << 0;
        // A child ended by a signal reports the signal number.
        QTest::newRow("signalled") << "/bin/sh" << QStringList{"-c", "kill -TERM $$"} << "" << 15;
    }
    void runCommandReportsOutputAndStatus()
    {
        QFETCH(QString, launchPath);
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QCOMPARE(runCommand({launchPath, arguments}), (CommandResult{output, exitCode}));
    }

    void runShellKeepsStandardError()
    {
        const auto missing = runShell("quorvel-no-such-program --flag");
        QCOMPARE(missing.exitCode, 127);
        QCOMPARE(missing.stdout, QString());
        QVERIFY2(missing.stderr.contains("quorvel-no-such-program"), qPrintable(missing.stderr));

        // Each stream is judged on its own bytes.
        const auto mixed = runShell("printf 'fine\\n'; printf '\\377' >&2; exit 1");
        QCOMPARE(mixed, (SudoersAuthorization::ShellResult{"fine\n", 1, ""}));

        CommandEnvironment noShell;
        noShell.mapPath = [](const QString &) { return QStringLiteral("/nonexistent/sh"); };
        QCOMPARE(runShell("true", noShell), (SudoersAuthorization::ShellResult{"", -1, ""}));
    }

    // Both pipes are drained while waiting: megabytes on each must not stall the child.
    void largeOutputOnBothPipesDoesNotStall()
    {
        const auto result = runShell("head -c 3000000 /dev/zero | tr '\\0' a; head -c 3000000 /dev/zero >&2");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.stdout.size(), 3000000);
        QCOMPARE(result.stderr.size(), 3000000);
        QCOMPARE(runCommand({"/bin/sh", {"-c", "head -c 3000000 /dev/zero >&2; echo done"}}),
                 (CommandResult{"done\n", 0}));
    }

    // The simulated platform redirects the fixed launch paths without changing the lines.
    void environmentRedirectsLaunchPathAndVariables()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString standIn = dir.filePath("pmset");
        QFile script(standIn);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$QUORVEL_SIM_ROOT $*\"\necho ' SleepDisabled 1'\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        CommandEnvironment sim;
        QStringList mapped;
        sim.mapPath = [&](const QString &path) {
            mapped << path;
            return path == "/usr/bin/pmset" ? standIn : path;
        };
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVEL_SIM_ROOT", dir.path());
        sim.environment = env;

        const QString report = makePmsetReader(makeCommandRunner(sim))();
        QCOMPARE(mapped, QStringList{"/usr/bin/pmset"});
        QCOMPARE(report, dir.path() + " -g\n SleepDisabled 1\n");
        QCOMPARE(ClamshellCapabilityProbe::parseSleepDisabled(report), 1);

        // A reader whose program is gone yields empty text, which proves nothing.
        sim.mapPath = [](const QString &) { return QStringLiteral("/nonexistent/pmset"); };
        QCOMPARE(makePmsetReader(makeCommandRunner(sim))(), QString());
    }
};

QTEST_GUILESS_MAIN(CommandsTest)
#include "tst_commands.moc"
