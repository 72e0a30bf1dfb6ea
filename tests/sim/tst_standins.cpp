// The stand-in tools as separate processes, in a sandbox of their own per test.

#include "platform/sim/SimLayout.h"
#include "platform/sim/SimPlatform.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel;

namespace {

const QString kEnable = QStringLiteral("/usr/bin/pmset -a disablesleep 1");
const QString kDisable = QStringLiteral("/usr/bin/pmset -a disablesleep 0");

struct Run {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::NormalExit;
    QByteArray out;
    QByteArray err;
};

QString userName()
{
    const struct passwd *pw = ::getpwuid(::getuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

QByteArray ruleText(const QString &user, const QStringList &commands = {kEnable, kDisable})
{
    QByteArray text;
    for (const QString &command : commands)
        text += (user + QStringLiteral(" ALL=(root) NOPASSWD: ") + command + QLatin1Char('\n')).toUtf8();
    return text;
}

bool writeFile(const QString &path, const QByteArray &content, mode_t mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

// The administrator lines exactly as the authorization code builds them.
QString installLine(const QString &temporaryPath)
{
    QString quoted = temporaryPath;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("osascript -e 'do shell script \"install -m 0440 -o root -g wheel \\\"") + quoted
           + QStringLiteral("\\\" /etc/sudoers.d/quorvel && (rm -f /etc/sudoers.d/vemo || true)\" with "
                            "administrator privileges'");
}

const QString kRevokeLine =
    QStringLiteral("osascript -e 'do shell script \"rm /etc/sudoers.d/quorvel\" with administrator privileges'");

} // namespace

class StandIns : public QObject {
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_dir;
    std::optional<SimPlatform> m_sim;

    QString rulePath() const { return m_sim->mapPath(QStringLiteral("/etc/sudoers.d/quorvel")); }

    Run finish(QProcess &process)
    {
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(1000);
        return {process.exitCode(), process.exitStatus(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    Run run(const QString &program, const QStringList &args, const QProcessEnvironment &extra = {})
    {
        QProcess process;
        QProcessEnvironment env = m_sim->environment();
        for (const QString &key : extra.keys())
            env.insert(key, extra.value(key));
        process.setProcessEnvironment(env);
        process.start(program, args);
        return finish(process);
    }

    Run shell(const QString &line, const QProcessEnvironment &extra = {})
    {
        return run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), line}, extra);
    }

    // sudo -l as the rule check runs it: allowed = exit 0 and the command on standard output.
    bool sudoListAllows(const QString &command)
    {
        const Run r = shell(QStringLiteral("sudo -n -l ") + command);
        return r.exitCode == 0 && r.out.contains(command.toUtf8());
    }

    std::optional<int> reportedSleepDisabled()
    {
        const Run r = run(m_sim->mapPath(QStringLiteral("/usr/bin/pmset")), {QStringLiteral("-g")});
        if (!r.out.startsWith("System-wide power settings:\n"))
            return -1;
        if (r.out.contains("\n SleepDisabled\t\t1\n"))
            return 1;
        if (r.out.contains("\n SleepDisabled\t\t0\n"))
            return 0;
        return std::nullopt;
    }

    // Starts caffeinate and waits until it has recorded itself, which it does only after its
    // signal handling is set up.
    bool startCaffeinate(QProcess &process, const QStringList &args, const QProcessEnvironment &extra = {})
    {
        QProcessEnvironment env = m_sim->environment();
        for (const QString &key : extra.keys())
            env.insert(key, extra.value(key));
        process.setProcessEnvironment(env);
        process.start(m_sim->mapPath(QStringLiteral("/usr/bin/caffeinate")), args);
        if (!process.waitForStarted())
            return false;
        const QByteArray line = QByteArray::number(process.processId()) + ' ' + args.join(QLatin1Char(' ')).toUtf8();
        QFile log(m_sim->sandboxPath(simlayout::kCaffeinateLog));
        return QTest::qWaitFor(
            [&]() {
                if (!log.open(QIODevice::ReadOnly))
                    return false;
                const bool found = log.readAll().contains(line + '\n');
                log.close();
                return found;
            },
            5000);
    }

private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_sim.emplace(m_dir->filePath(QStringLiteral("root")), SimPlatform::fromEnvironment().toolsDir());
        QVERIFY(m_sim->ensureSandbox());
    }

    void shellFindsStandInsAndAVisudo()
    {
        QCOMPARE(shell(QStringLiteral("command -v sudo")).out.trimmed(), (m_sim->toolsDir() + "/sudo").toUtf8());
        QCOMPARE(shell(QStringLiteral("command -v osascript")).out.trimmed(),
                 (m_sim->toolsDir() + "/osascript").toUtf8());
        QCOMPARE(shell(QStringLiteral("command -v visudo")).out.trimmed(), m_sim->visudoPath().toUtf8());
        // A root-rights marker the parent carries must not leak into the sim's children.
        qputenv(simlayout::kRootRightsVariable, "1");
        const Run r = run(m_sim->mapPath(QStringLiteral("/usr/bin/pmset")),
                          {QStringLiteral("-a"), QStringLiteral("disablesleep"), QStringLiteral("1")});
        qunsetenv(simlayout::kRootRightsVariable);
        QVERIFY(r.out.contains("must be run as root"));
    }

    void caffeinateExitStatus_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        // Waits one real second: the only place -t is allowed to run out for real.
        QTest::newRow("-t runs out") << QStringList{"-i", "-t", "1"} << 0;
        QTest::newRow("-w names no process") << QStringList{"-w", "<dead>", "-i", "-t", "7200"} << 0;
        QTest::newRow("bad -t") << QStringList{"-t", "soon"} << 1;
        QTest::newRow("unknown flag") << QStringList{"-x"} << 1;
    }
    void caffeinateExitStatus()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QProcess gone;
        gone.start(QStringLiteral("/bin/true"));
        QVERIFY(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QVERIFY(deadPid > 0 && ::kill(static_cast<pid_t>(deadPid), 0) != 0);
        args.replaceInStrings(QStringLiteral("<dead>"), QString::number(deadPid));

        const Run r = run(m_sim->mapPath(QStringLiteral("/usr/bin/caffeinate")), args);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, exitCode);
    }

    void caffeinateEndsWithWatchedProcess()
    {
        QProcess sleeper;
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(sleeper.waitForStarted());
        QProcess caffeinate;
        QVERIFY(startCaffeinate(caffeinate, {"-w", QString::number(sleeper.processId()), "-i"}));
        QVERIFY(!caffeinate.waitForFinished(100));
        sleeper.kill();
        QVERIFY(caffeinate.waitForFinished(5000));
        sleeper.waitForFinished();
        QCOMPARE(caffeinate.exitStatus(), QProcess::NormalExit);
        QCOMPARE(caffeinate.exitCode(), 0);
    }

    void caffeinateSignals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ignoreTerm");
        QTest::addColumn<int>("endingSignal");
        QTest::newRow("indefinite, SIGTERM") << QStringList{"-w", "<self>", "-i"} << false << SIGTERM;
        QTest::newRow("-t 0, SIGTERM") << QStringList{"-i", "-d", "-t", "0"} << false << SIGTERM;
        QTest::newRow("ignores SIGTERM, SIGKILL") << QStringList{"-w", "<self>", "-i", "-t", "7200"} << true << SIGKILL;
    }
    void caffeinateSignals()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ignoreTerm);
        QFETCH(int, endingSignal);
        args.replaceInStrings(QStringLiteral("<self>"), QString::number(QCoreApplication::applicationPid()));
        QProcessEnvironment extra;
        if (ignoreTerm)
            extra.insert(simlayout::kCaffeinateIgnoresTermVariable, QStringLiteral("1"));

        QProcess caffeinate;
        QVERIFY(startCaffeinate(caffeinate, args, extra));
        const pid_t pid = static_cast<pid_t>(caffeinate.processId());
        ::kill(pid, SIGTERM);
        if (ignoreTerm) {
            QVERIFY(!caffeinate.waitForFinished(200));
            ::kill(pid, SIGKILL);
        }
        QVERIFY(caffeinate.waitForFinished(5000));
        QCOMPARE(caffeinate.exitStatus(), QProcess::CrashExit);
        QCOMPARE(caffeinate.exitCode(), endingSignal);
    }

    void pmsetReportsAndLies()
    {
        const QString pmset = m_sim->mapPath(QStringLiteral("/usr/bin/pmset"));
        QCOMPARE(reportedSleepDisabled(), std::nullopt); // never set: no line at all

        // Without root rights: the real complaint, exit status 0, nothing written.
        Run r = run(pmset, {"-a", "disablesleep", "1"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("must be run as root"), r.out.constData());
        QCOMPARE(reportedSleepDisabled(), std::nullopt);

        QProcessEnvironment rights;
        rights.insert(simlayout::kRootRightsVariable, QStringLiteral("1"));
        QCOMPARE(run(pmset, {"-a", "disablesleep", "1"}, rights).exitCode, 0);
        QCOMPARE(reportedSleepDisabled(), 1);
        QCOMPARE(run(pmset, {"-a", "disablesleep", "0"}, rights).exitCode, 0);
        QCOMPARE(reportedSleepDisabled(), 0);

        r = run(pmset, {"-a", "disablesleep", "on"}, rights);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.startsWith("Usage: pmset"));
        QCOMPARE(reportedSleepDisabled(), 0);

        // The fault: an authorised write that silently does not take.
        QVERIFY(writeFile(m_sim->sandboxPath(simlayout::kPmsetIgnoresWritesFile), {}, 0644));
        QCOMPARE(run(pmset, {"-a", "disablesleep", "1"}, rights).exitCode, 0);
        QCOMPARE(reportedSleepDisabled(), 0);
    }

    void sudoObeysOnlyAGoodRuleFile_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("enableAllowed");
        QTest::addColumn<bool>("disableAllowed");
        QTest::newRow("valid") << "valid" << true << true;
        QTest::newRow("missing") << "missing" << false << false;
        QTest::newRow("mode 0444") << "0444" << false << false;
        QTest::newRow("mode 0644") << "0644" << false << false;
        QTest::newRow("symlink to a valid file") << "symlink" << false << false;
        QTest::newRow("wrong owner") << "owner" << false << false;
        QTest::newRow("CRLF line endings") << "crlf" << false << false;
        QTest::newRow("rule for another user") << "other" << false << false;
        QTest::newRow("only the enable command") << "one" << true << false;
    }
    void sudoObeysOnlyAGoodRuleFile()
    {
        QFETCH(QString, setup);
        QFETCH(bool, enableAllowed);
        QFETCH(bool, disableAllowed);
        const QString rule = rulePath();
        const QString user = userName();
        QVERIFY(!user.isEmpty());

        if (setup == "valid" || setup == "owner") {
            QVERIFY(writeFile(rule, ruleText(user), 0440));
        } else if (setup == "0444" || setup == "0644") {
            QVERIFY(writeFile(rule, ruleText(user), setup.toUInt(nullptr, 8)));
        } else if (setup == "symlink") {
            const QString target = m_dir->filePath(QStringLiteral("elsewhere"));
            QVERIFY(writeFile(target, ruleText(user), 0440));
            QVERIFY(QFile::link(target, rule));
        } else if (setup == "crlf") {
            QVERIFY(writeFile(rule, ruleText(user).replace("\n", "\r\n"), 0440));
        } else if (setup == "other") {
            QVERIFY(writeFile(rule, ruleText(user + QStringLiteral("x")), 0440));
        } else if (setup == "one") {
            QVERIFY(writeFile(rule, ruleText(user, {kEnable}), 0440));
        }
        if (setup == "owner") {
            if (::getuid() != 0)
                QSKIP("giving a file away needs root");
            QVERIFY(::chown(QFile::encodeName(rule).constData(), 65534, 65534) == 0);
        }

        QCOMPARE(sudoListAllows(kEnable), enableAllowed);
        QCOMPARE(sudoListAllows(kDisable), disableAllowed);

        // The command line closed-lid mode runs, byte for byte.
        const Run r =
            run(m_sim->mapPath(QStringLiteral("/usr/bin/sudo")), {"-n", "/usr/bin/pmset", "-a", "disablesleep", "1"});
        if (enableAllowed) {
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(reportedSleepDisabled(), 1);
        } else {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains("sudo: a password is required\n"), r.err.constData());
            QCOMPARE(reportedSleepDisabled(), std::nullopt);
        }
    }

    void visudoJudgesRuleText_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        const QByteArray good = ruleText(QStringLiteral("tester"));
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
        const QString file = m_dir->filePath(QStringLiteral("quorvel-authorization-")
                                             + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".tmp");
        QVERIFY(writeFile(file, content, 0440));
        // As the installer runs it: through the shell, whichever visudo the sim's PATH finds.
        QCOMPARE(shell(QStringLiteral("visudo -cf \"") + file + QLatin1Char('"')).exitCode == 0, accepted);
        // The fallback must never be looser than the real checker.
        const Run fallback = run(m_sim->toolsDir() + QLatin1Char('/') + simlayout::kVisudoFallback, {"-cf", file});
        QCOMPARE(fallback.exitCode == 0, accepted);
    }

    void administratorDialog_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("answer"); // "file:<word>", "env:<word>" or empty (default)
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("errorText");
        QTest::addColumn<bool>("ruleAfter");
        QTest::newRow("install, default approve") << "install"
                                                  << "" << 0 << QByteArray() << true;
        QTest::newRow("install, cancel") << "install"
                                         << "file:cancel" << 1 << QByteArray("User canceled. (-128)") << false;
        QTest::newRow("install, fail") << "install"
                                       << "env:fail" << 1 << QByteArray("execution error:") << false;
        QTest::newRow("install, quote in the path") << "quoted"
                                                    << "" << 1 << QByteArray("execution error:") << false;
        QTest::newRow("revoke, approve") << "revoke"
                                         << "file:approve" << 0 << QByteArray() << false;
        QTest::newRow("revoke, cancel") << "revoke"
                                        << "env:cancel" << 1 << QByteArray("User canceled. (-128)") << true;
        QTest::newRow("revoke, fail") << "revoke"
                                      << "file:fail" << 1 << QByteArray("execution error:") << true;
    }
    void administratorDialog()
    {
        QFETCH(QString, action);
        QFETCH(QString, answer);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, errorText);
        QFETCH(bool, ruleAfter);
        const QByteArray text = ruleText(userName());
        const QString legacy = m_sim->mapPath(QStringLiteral("/etc/sudoers.d/vemo"));
        QVERIFY(writeFile(legacy, "old\n", 0440));

        QProcessEnvironment extra;
        if (answer.startsWith("file:"))
            QVERIFY(writeFile(m_sim->sandboxPath(simlayout::kAdminAnswerFile), answer.mid(5).toUtf8() + '\n', 0644));
        else if (answer.startsWith("env:"))
            extra.insert(simlayout::kAdminAnswerVariable, answer.mid(4));

        QString line = kRevokeLine;
        if (action == "revoke") {
            QVERIFY(writeFile(rulePath(), text, 0440));
        } else {
            const QString temp = m_dir->filePath(action == "quoted" ? "odd\"name.tmp" : "quorvel-authorization.tmp");
            QVERIFY(writeFile(temp, text, 0440));
            line = installLine(temp);
        }

        const Run r = shell(line, extra);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(errorText), r.err.constData());
        const bool cancelled = r.err.toLower().contains("cancel") || r.err.contains("-128");
        QCOMPARE(cancelled, errorText.contains("-128"));
        QCOMPARE(QFileInfo::exists(rulePath()), ruleAfter);

        if (action == "install" && exitCode == 0) {
            QFile rule(rulePath());
            QVERIFY(rule.open(QIODevice::ReadOnly));
            QCOMPARE(rule.readAll(), text);
            QCOMPARE(modeOf(rulePath()), mode_t(0440));
            struct stat st {};
            QCOMPARE(::lstat(QFile::encodeName(rulePath()).constData(), &st), 0);
            QCOMPARE((SimPlatform::Owner{st.st_uid, st.st_gid}), SimPlatform::expectedRuleOwner());
            QVERIFY(!QFileInfo::exists(legacy));
            // End to end: the installed rule is one sudo obeys.
            QVERIFY(sudoListAllows(kEnable));
            QVERIFY(sudoListAllows(kDisable));
        } else if (action != "revoke") {
            QVERIFY(QFileInfo::exists(legacy));
        }
    }
};

QTEST_GUILESS_MAIN(StandIns)
#include "tst_standins.moc"
