#include "ScriptedPmset.h"
#include "support/LogCapture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel;
using namespace quorvel::SudoersAuthorization;
using namespace quorvel::Authorization;
using E = quorvel::VemoError;
using S = quorvel::AuthorizationState;

namespace {
struct Install {
    QString user = "Jo.doe-2_x", name = "q.tmp"; // of the temporary copy
    int visudo = 0, lines = 2;                   // shell lines run
    QString adminError = {};                     // the administrator line fails with this text unless empty
    bool readback = true;                        // the rule is found after the administrator line
    Result<> expected = {};
};
} // namespace

class AuthorizationTest : public QObject {
    Q_OBJECT

    test::LogCapture log; // also keeps the code under test out of the user's log folder
    QStringList lines;    // every shell line run, in order
    const QString on = "/usr/bin/pmset -a disablesleep 1", off = "/usr/bin/pmset -a disablesleep 0";

    ShellRunner shell(std::function<ShellResult(const QString &)> answer)
    {
        return [this, answer](const QString &line) { return lines << line, answer(line); };
    }
    static ShellResult admin(const QString &error) { return {"", error.isEmpty() ? 0 : 1, error}; }

private slots:
    void init() { lines.clear(), log.clear(); }

    void parseSleepDisabled_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("expected"); // -1: absent
        QTest::newRow("tabs, among other keys") << "Currently in use:\n standby 1\n\tSleepDisabled\t\t1\n" << 1;
        QTest::newRow("capitals") << "SLEEPDISABLED 0" << 0;
        QTest::newRow("a word, a later line decides") << "sleepdisabled yes\nsleepdisabled\t0" << 0;
        QTest::newRow("first deciding line wins") << "sleepdisabled 0\r\nsleepdisabled 1\n" << 0;
        QTest::newRow("value 2") << "sleepdisabled 2" << -1;
        QTest::newRow("value 10") << "sleepdisabled 10" << -1;
    }
    void parseSleepDisabled()
    {
        QFETCH(QString, output);
        QFETCH(int, expected);
        QCOMPARE(ClamshellCapabilityProbe::parseSleepDisabled(output).value_or(-1), expected);
    }

    void runners()
    {
        QCOMPARE(runCommand({"/bin/sh", {"-c", "printf 'wörld'; echo err >&2; exit 3"}}), (CommandResult{"wörld", 3}));
        QCOMPARE(runCommand({"/nonexistent/pmset", {"-g"}}), (CommandResult{"", -1}));
        QCOMPARE(runCommand({"/usr/bin/printf", {"ok\\377"}}), (CommandResult{"", 0})); // invalid UTF-8
        const ShellResult missing = runShell("quorvel-no-such-program");
        QCOMPARE(missing.exitCode, 127);
        QVERIFY2(missing.stderr.contains("quorvel-no-such-program"), qPrintable(missing.stderr));
        QCOMPARE(runShell("printf fine; printf '\\377' >&2; exit 1"), (ShellResult{"fine", 1, ""}));
        // A command that hangs is ended and counts as failed, so it can never freeze the app.
        CommandEnvironment hurried;
        hurried.timeout = std::chrono::milliseconds(200);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runCommand({"/bin/sleep", {"30"}}, hurried), (CommandResult{"", -1}));
        QCOMPARE(runShell("printf partial; sleep 30 & echo $! >" + log.path() + ".pid; wait", hurried).exitCode, -1);
        QFile pidFile(log.path() + ".pid"); // what the shell started goes with it
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t sleeper = pid_t(pidFile.readAll().trimmed().toInt());
        const auto running = [sleeper] { // a zombie waiting for its new parent counts as gone
            QFile stat(QString("/proc/%1/stat").arg(sleeper));
            return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
        };
        QVERIFY(sleeper > 0);
        QTRY_VERIFY(!running());
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(log.lines().filter("command timed out").size(), 2);
        QVERIFY(log.lines().contains("[ERROR] [app] command timed out, program=/bin/sleep, milliseconds=200"));
    }

    // Every way an install ends; the temporary copy and its folder never stay behind. A refused
    // install must not even write the copy: its folder is missing, so a write would end in a
    // different error.
    void install_data()
    {
        QTest::addColumn<Install>("row");
        const Result<> failed = E::authorizationInstallFailed, invalidUser = E::authorizationInvalidUser;
        QTest::newRow("installed") << Install{};
        QTest::newRow("bad syntax") << Install{.visudo = 1, .lines = 1, .expected = E::authorizationSyntaxCheckFailed};
        QTest::newRow("visudo cannot start")
            << Install{.visudo = couldNotRun, .lines = 1, .expected = E::systemCommandFailed};
        QTest::newRow("-128 alone: cancelled") << Install{.adminError = "(-128)", .expected = E::authorizationDenied};
        QTest::newRow("User canceled. alone: cancelled")
            << Install{.adminError = "0:1: execution error: User canceled.", .expected = E::authorizationDenied};
        QTest::newRow("administrator line fails") << Install{.adminError = "install: no space", .expected = failed};
        QTest::newRow("rule not found afterwards")
            << Install{.readback = false, .expected = E::authorizationReadbackMismatch};
        // A name that could widen the rule is refused before any file is written.
        for (const char *user : {"", "jo doe", "jo@host", "jürgen", "jo,root", "jo=ALL", "ALL", "ADMIN_2"})
            QTest::addRow("user '%s'", user) << Install{.user = user, .lines = 0, .expected = invalidUser};
        // Only plain characters reach a shell line.
        for (const char *name : {"a$b", "a`b", "a\\b", "a'b", "a\x01b", "a\"b", "a;b", "a b", "a\nb", "a(b)"})
            QTest::addRow("path with %s", name) << Install{.name = name, .lines = 0, .expected = failed};
    }
    void install()
    {
        QFETCH(Install, row);
        QTemporaryDir dir;
        const QString folder = dir.filePath(row.lines ? "private" : "absent"), path = folder + "/" + row.name;
        QVERIFY(!row.lines || QDir().mkdir(folder));
        QByteArray copy;
        const auto answer = [&](const QString &line) {
            QFile file(path);
            if (!line.startsWith("visudo") || !file.open(QIODevice::ReadOnly))
                return admin(row.adminError);
            return copy = file.readAll(), ShellResult{"", row.visudo, ""};
        };
        QCOMPARE(SudoersAuthorization::install([&] { return Result<QString>(row.user); },
                                               [&] { return Result<QString>(path); }, shell(answer),
                                               [&] { return Result<bool>(row.readback); }),
                 row.expected);
        QCOMPARE(lines,
                 (QStringList{"visudo -cf \"" + path + "\"", installAdminLine(path, row.user)}.mid(0, row.lines)));
        const QString rule = row.user + " ALL=(root) NOPASSWD: ";
        QCOMPARE(copy, row.lines ? (rule + on + "\n" + rule + off + "\n").toUtf8() : QByteArray());
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // The root shell proves the staged copy is our rule before it becomes one.
    void administratorLines()
    {
        // Written out once: every byte of what the administrator dialog runs.
        QCOMPARE(installAdminLine("/tmp/x.tmp", "tester"),
                 "osascript -e 'do shell script \"install -m 0440 -o root -g wheel \\\"/tmp/x.tmp\\\" "
                 "/etc/sudoers.d/quorvel.pending && printf \\\"%s ALL=(root) NOPASSWD: %s\\\\n\\\" tester "
                 "\\\"/usr/bin/pmset -a disablesleep 1\\\" tester \\\"/usr/bin/pmset -a disablesleep 0\\\" | "
                 "cmp -s - /etc/sudoers.d/quorvel.pending && visudo -cf /etc/sudoers.d/quorvel.pending && "
                 "mv -f /etc/sudoers.d/quorvel.pending /etc/sudoers.d/quorvel && (rm -f /etc/sudoers.d/vemo "
                 "|| true) || (rm -f /etc/sudoers.d/quorvel.pending && false)\" with administrator privileges'");
    }

    // The copy's folder is fresh and private; id must name this process's own account.
    void temporaryCopyAndUser()
    {
        QTemporaryDir dir;
        const Result<QString> url = makeTemporaryRuleURL(dir.path());
        QVERIFY(url.ok());
        const QFileInfo folder(QFileInfo(url.value()).path());
        QCOMPARE(folder.path(), dir.path());
        QVERIFY(folder.fileName().startsWith("quorvel-") && folder.isDir());
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(folder.filePath()).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QVERIFY(QFileInfo(url.value())
                    .fileName()
                    .contains(QRegularExpression("^quorvel-authorization-[0-9A-F-]{36}\\.tmp$")));

        const auto id = [&](ShellResult result) { return currentUserName(shell([=](auto) { return result; }), "jo"); };
        QCOMPARE(id({"jo\n", 0, ""}), Result<QString>("jo"));
        QCOMPARE(id({"root\n", 0, ""}), Result<QString>(E::authorizationInvalidUser));
        QCOMPARE(id({"jo\n", 1, ""}), Result<QString>(E::authorizationInvalidUser));
        // No shell at all (no descriptor left for its pipes) is the system failing, not the name.
        QCOMPARE(id({"", couldNotRun, ""}), Result<QString>(E::systemCommandFailed));
    }

    // A request while the dialog is open, or once granted, is ignored; after a failure it is not.
    void grant_data()
    {
        QTest::addColumn<Result<>>("outcome");
        QTest::addColumn<AuthorizationState>("state");
        QTest::addColumn<QString>("line");
        const QString p = "[authorization] authorization ", failed = "[ERROR] " + p + "failed";
        QTest::newRow("granted") << Result<>() << S(Granted{}) << "[INFO] " + p + "granted";
        QTest::newRow("denied") << Result<>(E::authorizationDenied) << S(Denied{}) << "[WARNING] " + p + "denied";
        QTest::newRow("failed") << Result<>(E::authorizationInstallFailed) << S(Failed{E::authorizationInstallFailed})
                                << failed;
        QTest::newRow("platform") << Result<>(Failure::platform("")) << S(Failed{E::systemCommandFailed}) << failed;
    }
    void grant()
    {
        QFETCH(Result<>, outcome);
        QFETCH(AuthorizationState, state);
        QFETCH(QString, line);
        AppStateStore store(PowerContext{});
        auto journal = std::make_shared<InMemoryEventJournal>(10);
        QList<AuthorizationState> during;
        AuthorizationManager manager(
            &store, [&] { return Result<bool>(outcome.ok()); },
            [&] { return during << store.state().authorization, manager.grant(), outcome; }, journal);
        manager.grant();
        QCOMPARE(store.state().authorization, state);
        QCOMPARE(log.lines(), QStringList{line});
        QCOMPARE(test::kindsOf(*journal),
                 QString("authorizationRequested authorization") + (outcome ? "Granted" : "Denied"));
        manager.grant();
        QCOMPARE(during, QList<AuthorizationState>(outcome ? 1 : 2, Granting{}));
    }

    // Only a read-back that no longer finds the rule proves a removal.
    void revokeOutcomes_data()
    {
        QTest::addColumn<QString>("adminError"); // "-": nothing to revoke
        QTest::addColumn<bool>("found");
        QTest::addColumn<AuthorizationState>("state");
        QTest::addColumn<QString>("events");
        const QString notRevoked = "authorizationRevoked(false)";
        QTest::newRow("removed") << "" << false << S(Revoked{}) << "authorizationRevoked(true)";
        QTest::newRow("still there") << "" << true << S(Granted{}) << notRevoked;
        QTest::newRow("-128 alone: cancelled") << "(-128)" << false << S(Granted{}) << notRevoked;
        QTest::newRow("failed") << "rm: denied" << false << S(Granted{}) << notRevoked;
        QTest::newRow("not granted") << "-" << false << S(Required{}) << "";
    }
    void revokeOutcomes()
    {
        QFETCH(QString, adminError);
        QFETCH(bool, found);
        QFETCH(AuthorizationState, state);
        QFETCH(QString, events);
        AppStateStore store(PowerContext{});
        auto journal = std::make_shared<InMemoryEventJournal>(10);
        AuthorizationManager manager(
            &store, [&] { return Result<bool>(adminError != "-"); }, {}, journal);
        QVERIFY(manager.verify().ok());
        const auto revoker = [&] { return revoke(shell([&](auto) { return admin(adminError); })); };
        manager.revoke(revoker, [&] { return Result<bool>(found); });
        QCOMPARE(store.state().authorization, state);
        QCOMPARE(store.state().lastError,
                 adminError.startsWith("rm") ? std::optional(E::authorizationRevokeFailed) : std::nullopt);
        QCOMPARE(log.lines(), QStringList{QString("[INFO] [authorization] authorization verify, rulePresent=")
                                          + (adminError != "-" ? "true" : "false")}); // the revoke logs nothing
        QCOMPARE(test::kindsOf(*journal), events);
        const QString line =
            "osascript -e 'do shell script \"rm /etc/sudoers.d/quorvel\" with administrator privileges'";
        QCOMPARE(lines, QStringList(!events.isEmpty(), line));
    }
};

QTEST_GUILESS_MAIN(AuthorizationTest)
#include "tst_authorization.moc"
