// The stand-in tools as separate processes, in a sandbox of their own per test. How
// caffeinate lives and dies under the preventer is proven by the idle tests.

#include "closedlid/SudoersAuthorization.h"
#include "platform/sim/SimLayout.h"
#include "platform/sim/SimPlatform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel;

namespace {

const QString kEnable = "/usr/bin/pmset -a disablesleep 1", kDisable = "/usr/bin/pmset -a disablesleep 0";
const QString kUser = QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);

struct Run {
    int code = -1;
    QByteArray out, err;
};

// What the app installs, or one of its lines.
QByteArray ruleText(const QString &user, const QString &only = {})
{
    return (only.isEmpty() ? SudoersAuthorization::ruleText(user) : user + " ALL=(root) NOPASSWD: " + only + '\n')
        .toUtf8();
}

bool writeFile(const QString &path, const QByteArray &content, mode_t mode = 0644)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush()
           && ::chmod(QFile::encodeName(path), mode) == 0;
}

} // namespace

class StandIns : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    std::optional<SimPlatform> m_sim;

    QString rule() const { return m_sim->mapPath("/etc/sudoers.d/quorvel"); }
    // `signal` is sent once the program is seen to keep running; a signalled end is minus the signal.
    Run run(const QString &program, const QStringList &args, const QStringList &env = {}, int signal = 0)
    {
        QProcessEnvironment environment = m_sim->environment();
        for (const QString &pair : env)
            environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, args);
        if (signal && process.waitForStarted() && !process.waitForFinished(200))
            ::kill(pid_t(process.processId()), signal);
        if (!process.waitForFinished(10000))
            process.kill(), process.waitForFinished();
        const int code = process.exitStatus() == QProcess::CrashExit ? -process.exitCode() : process.exitCode();
        return {code, process.readAllStandardOutput(), process.readAllStandardError()};
    }
    Run shell(const QString &line, const QStringList &env = {}) { return run("/bin/sh", {"-c", line}, env); }
    Run pmset(const QString &value, const QStringList &env = {"QUORVEL_SIM_ROOT_RIGHTS=1"})
    {
        return run(m_sim->mapPath("/usr/bin/pmset"), {"-a", "disablesleep", value}, env);
    }
    // As the rule check asks: allowed is exit 0 with the command on standard output.
    bool allows(const QString &command)
    {
        const Run r = shell("sudo -n -l " + command);
        return r.code == 0 && r.out.contains(command.toUtf8());
    }
    // The SleepDisabled value `pmset -g` reports: "none" without the line.
    QString sleepDisabled()
    {
        const QByteArray out = run(m_sim->mapPath("/usr/bin/pmset"), {"-g"}).out;
        if (!out.startsWith("System-wide power settings:\n"))
            return "bad report";
        const qsizetype at = out.indexOf("\n SleepDisabled\t\t");
        return at < 0 ? "none" : out.mid(at + 17).split('\n').first();
    }

private slots:
    void init()
    {
        m_dir.emplace();
        m_sim.emplace(m_dir->filePath("root"), SimPlatform::fromEnvironment().toolsDir());
        QVERIFY(m_sim->ensureSandbox());
    }

    void caffeinate_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::newRow("-w names no process") << "-w 2147483647 -i -t 7200" << 0 << 0;
        QTest::newRow("bad -t") << "-t soon" << 0 << 1;
        QTest::newRow("unknown flag") << "-x" << 0 << 1;
        QTest::newRow("-t 0 runs until stopped") << "-i -d -t 0" << SIGTERM << -SIGTERM;
    }
    void caffeinate()
    {
        QFETCH(QString, args);
        QFETCH(int, signal);
        QTEST(run(m_sim->mapPath("/usr/bin/caffeinate"), args.split(' '), {}, signal).code, "code");
    }

    // The shell finds the stand-ins. Only a write with root rights takes, yet every write exits 0:
    // callers must read back. A root-rights marker the parent carries must not reach the sim's children.
    void shellAndPmset()
    {
        for (const char *tool : {"sudo", "osascript"})
            QCOMPARE(shell(QString("command -v ") + tool).out.trimmed(), (m_sim->toolsDir() + '/' + tool).toUtf8());
        QCOMPARE(shell("command -v visudo").out.trimmed(), m_sim->visudoPath().toUtf8());
        QCOMPARE(sleepDisabled(), "none");
        qputenv(simlayout::kRootRightsVariable, "1");
        const Run r = pmset("1", {});
        qunsetenv(simlayout::kRootRightsVariable);
        QVERIFY2(r.code == 0 && r.out.contains("must be run as root"), r.out);
        QCOMPARE(sleepDisabled(), "none");
        QCOMPARE(pmset("0").code, 0); // with root rights, as through sudo
        QCOMPARE(sleepDisabled(), "0");
        QVERIFY(pmset("on").code == 1 && pmset("on").out.startsWith("Usage: pmset"));
        QCOMPARE(pmset("1", {"QUORVEL_SIM_ROOT_RIGHTS=1", "QUORVEL_SIM_PMSET_IGNORE_WRITES=1"}).code, 0);
        QCOMPARE(sleepDisabled(), "0");
    }

    // The system's own reset the closed-lid guard repairs: with the fault on, the first report
    // after the power file changed finds 1 turned back to 0, until the next write.
    void pmsetResetsAfterAPowerChange()
    {
        const auto writeFile = [](const QString &path, const QByteArray &content) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        const QString fault = m_sim->sandboxPath(simlayout::kPmsetResetsOnPowerChangeFile);
        QVERIFY(writeFile(m_sim->powerFile(), R"({"source":"ac"})"));
        QCOMPARE(pmset("1").code, 0);
        QVERIFY(writeFile(fault, ""));
        QCOMPARE(sleepDisabled(), "1"); // no power change since the write
        QVERIFY(writeFile(m_sim->powerFile(), R"({"source":"battery","level":50})"));
        QCOMPARE(sleepDisabled(), "0");
        QCOMPARE(sleepDisabled(), "0");
        QCOMPARE(pmset("1").code, 0);
        QCOMPARE(sleepDisabled(), "1");
        QVERIFY(QFile::remove(fault));
        QVERIFY(writeFile(m_sim->powerFile(), R"({"source":"battery","level":49,"lowPower":true})"));
        QCOMPARE(sleepDisabled(), "1");
    }

    void sudoObeysOnlyAGoodRuleFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no rule file
        QTest::addColumn<QString>("setup");      // "0444": its mode instead of 0440
        QTest::addColumn<bool>("enable");
        QTest::addColumn<bool>("disable");
        const QByteArray good = ruleText(kUser);
        QTest::newRow("valid") << good << "" << true << true;
        QTest::newRow("missing") << QByteArray() << "" << false << false;
        QTest::newRow("mode 0444") << good << "0444" << false << false;
        QTest::newRow("symlink to a valid file") << good << "symlink" << false << false;
        QTest::newRow("wrong owner") << good << "owner" << false << false;
        QTest::newRow("wrong group") << good << "group" << false << false;
        QTest::newRow("a folder") << QByteArray() << "dir" << false << false;
        QTest::newRow("CRLF line endings") << QByteArray(good).replace("\n", "\r\n") << "" << false << false;
        QTest::newRow("rule for another user") << ruleText(kUser + "x") << "" << false << false;
        QTest::newRow("only the enable command") << ruleText(kUser, kEnable) << "" << true << false;
        QTest::newRow("only the disable command") << ruleText(kUser, kDisable) << "" << false << true;
    }
    void sudoObeysOnlyAGoodRuleFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, setup);
        const QString file = setup == "symlink" ? m_dir->filePath("elsewhere") : rule();
        QVERIFY(content.isEmpty() || writeFile(file, content, setup == "0444" ? 0444 : 0440));
        if (setup == "symlink")
            QVERIFY(QFile::link(file, rule()));
        QVERIFY(setup != "dir" || QDir().mkdir(file));
        if ((setup == "owner" || setup == "group") && ::getuid() != 0)
            QSKIP("giving a file away needs root");
        QVERIFY((setup != "owner" && setup != "group")
                || ::chown(QFile::encodeName(file), setup == "owner" ? 65534 : uid_t(-1), 65534) == 0);
        QTEST(allows(kEnable), "enable");
        QTEST(allows(kDisable), "disable");
        // The app's own check agrees, and asks sudo (both lines) only about a file it can trust.
        QFETCH(bool, enable);
        QFETCH(bool, disable);
        QStringList asked;
        const SudoersAuthorization::ShellRunner sudo = [&](const QString &line) {
            return asked << line, SudoersAuthorization::runShell(line, {{}, m_sim->environment()});
        };
        const SimPlatform::Owner owner = SimPlatform::expectedRuleOwner();
        QCOMPARE(SudoersAuthorization::isRulePresent({rule(), owner.uid, owner.gid}, sudo),
                 Result<bool>(enable && disable));
        const QStringList both{"sudo -n -l " + kEnable, "sudo -n -l " + kDisable};
        QCOMPARE(asked, !content.isEmpty() && setup.isEmpty() ? both : QStringList());
        // The command line closed-lid mode runs, byte for byte.
        const Run r = run(m_sim->mapPath("/usr/bin/sudo"), {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"});
        QCOMPARE(r.code, enable ? 0 : 1);
        QVERIFY2(enable || r.err.contains("sudo: a password is required\n"), r.err);
        QCOMPARE(sleepDisabled(), enable ? "1" : "none");
    }

    // As the installer runs it through the shell; the stand-in checker must be as strict.
    void visudoJudgesRuleText_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        const QByteArray good = ruleText("tester");
        QTest::newRow("the rule") << good << true;
        QTest::newRow("CRLF line endings") << QByteArray(good).replace("\n", "\r\n") << false;
        QTest::newRow("no colon after NOPASSWD") << QByteArray(good).replace("NOPASSWD:", "NOPASSWD") << false;
        QTest::newRow("relative command") << QByteArray(good).replace("/usr/bin/pmset", "pmset") << false;
        QTest::newRow("blank in user name") << QByteArray(good).replace("tester", "te ster") << false;
    }
    void visudoJudgesRuleText()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        const QString file = m_dir->filePath("quorvel-authorization-0A1B.tmp");
        QVERIFY(writeFile(file, content, 0440));
        QCOMPARE(shell("visudo -cf \"" + file + '"').code == 0, accepted);
        QCOMPARE(run(m_sim->toolsDir() + '/' + simlayout::kVisudoFallback, {"-cf", file}).code == 0, accepted);
    }

    // Tags: what the line does, then the answer from the sandbox file or the environment.
    void administratorDialog_data()
    {
        QTest::addColumn<QByteArray>("error"); // empty: approved
        QTest::addColumn<bool>("ruleAfter");
        const QByteArray cancelled = "User canceled. (-128)", failed = "execution error:";
        QTest::newRow("install") << QByteArray() << true;
        QTest::newRow("install file:cancel") << cancelled << false;
        QTest::newRow("install env:fail") << failed << false;
        QTest::newRow("swapped") << failed << false; // not the rule the line prints: never installed
        QTest::newRow("revoke file:approve") << QByteArray() << false;
        QTest::newRow("revoke env:cancel") << cancelled << true;
        QTest::newRow("revoke file:fail") << failed << true;
    }
    void administratorDialog()
    {
        const QString tag = QTest::currentDataTag(), action = tag.section(' ', 0, 0), answer = tag.section(' ', 1);
        QFETCH(QByteArray, error);
        const QByteArray text = ruleText(kUser);
        const QString legacy = m_sim->mapPath("/etc/sudoers.d/vemo");
        QVERIFY(writeFile(legacy, "old\n", 0440));
        if (answer.startsWith("file:"))
            QVERIFY(writeFile(m_sim->sandboxPath(simlayout::kAdminAnswerFile), answer.mid(5).toUtf8() + '\n'));
        const QString temp = m_dir->filePath("quorvel-authorization.tmp");
        // The administrator lines exactly as the authorization code builds them.
        QVERIFY(writeFile(action == "revoke" ? rule() : temp,
                          action == "swapped" ? "ALL ALL=(ALL) NOPASSWD: ALL\n" : text, 0440));
        const QString line = action == "revoke" ? SudoersAuthorization::revokeAdminLine()
                                                : SudoersAuthorization::installAdminLine(temp, kUser);
        const Run r =
            shell(line, answer.startsWith("env:") ? QStringList{"QUORVEL_SIM_OSASCRIPT_ANSWER=" + answer.mid(4)}
                                                  : QStringList());
        QCOMPARE(r.code, error.isEmpty() ? 0 : 1);
        QVERIFY2(r.err.contains(error) && r.err.contains("-128") == error.contains("-128"), r.err);
        QTEST(QFileInfo::exists(rule()), "ruleAfter");
        QCOMPARE(QFileInfo::exists(legacy), action != "install" || r.code != 0);
        QVERIFY(!QFileInfo::exists(m_sim->sandboxPath("/etc/sudoers.d/quorvel.pending")));
        if (action == "install" && r.code == 0) {
            QFile installed(rule());
            QVERIFY(installed.open(QIODevice::ReadOnly) && installed.readAll() == text);
            struct stat st {};
            QVERIFY(::lstat(QFile::encodeName(rule()), &st) == 0 && (st.st_mode & 0777) == 0440);
            QCOMPARE((SimPlatform::Owner{st.st_uid, st.st_gid}), SimPlatform::expectedRuleOwner());
            QVERIFY(allows(kEnable) && allows(kDisable)); // a rule sudo obeys
        }
    }
};

QTEST_GUILESS_MAIN(StandIns)
#include "tst_standins.moc"
