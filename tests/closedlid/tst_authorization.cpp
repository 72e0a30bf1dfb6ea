#include "closedlid/AuthorizationManager.h"
#include "closedlid/SudoersAuthorization.h"
#include "records/EventJournal.h"
#include "support/LogCapture.h"
#include "support/Printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel;
using namespace quorvel::SudoersAuthorization;

namespace {

// A shell that answers from a script and remembers every line it was given.
struct ScriptedShell {
    QStringList lines;
    std::function<ShellResult(const QString &)> answer = [](const QString &) { return ShellResult{}; };
    ShellRunner runner()
    {
        return [this](const QString &line) {
            lines << line;
            return answer(line);
        };
    }
};

const QString on = "/usr/bin/pmset -a disablesleep 1";
const QString off = "/usr/bin/pmset -a disablesleep 0";

QStringList kinds(const InMemoryEventJournal &journal)
{
    QStringList result;
    for (const VemoEvent &event : journal.events())
        result << caseName(event.kind);
    return result;
}

} // namespace

class AuthorizationTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeRuleFile(const QString &name, mode_t mode)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(ruleText("tester").toUtf8()) < 0)
            return {};
        file.close();
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }

private slots:
    // Each defect reads as "not installed", and sudo is never asked about it.
    void ruleFileChecks_data()
    {
        QTest::addColumn<QString>("defect");
        QTest::addColumn<bool>("installed");
        QTest::newRow("good") << "" << true;
        QTest::newRow("mode 0444") << "0444" << false;
        QTest::newRow("mode 0644") << "0644" << false;
        QTest::newRow("symbolic link to a good file") << "link" << false;
        QTest::newRow("directory") << "directory" << false;
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("wrong owner") << "owner" << false;
        QTest::newRow("wrong group") << "group" << false;
    }
    void ruleFileChecks()
    {
        QFETCH(QString, defect);
        QFETCH(bool, installed);
        const QString good = writeRuleFile(QTest::currentDataTag(), 0440);
        QVERIFY(!good.isEmpty());
        RuleFileLocation location{good, ::getuid(), ::getgid()};
        if (defect == "0444" || defect == "0644") {
            ::chmod(QFile::encodeName(good).constData(), defect.toUInt(nullptr, 8));
        } else if (defect == "link") {
            location.path = good + ".link";
            QVERIFY(QFile::link(good, location.path));
        } else if (defect == "directory") {
            location.path = m_dir.filePath("dir");
            QVERIFY(QDir().mkpath(location.path));
            ::chmod(QFile::encodeName(location.path).constData(), 0440);
        } else if (defect == "missing") {
            location.path = good + ".gone";
        } else if (defect == "owner") {
            // As root the file is given away; otherwise it is ours and root is expected.
            location.ownerId = 0;
            if (::getuid() == 0)
                QCOMPARE(::chown(QFile::encodeName(good).constData(), 65534, ::getgid()), 0);
        } else if (defect == "group") {
            location.groupId = ::getgid() + 1;
        }
        QCOMPARE(ruleFileIsInstalled(location), installed);

        ScriptedShell shell;
        shell.answer = [](const QString &line) { return ShellResult{line.mid(11) + "\n", 0, ""}; };
        const Result<bool> present = isRulePresent(location, shell.runner());
        QVERIFY(present.ok());
        QCOMPARE(present.value(), installed);
        QCOMPARE(shell.lines.size(), installed ? 2 : 0);
    }

    void sudoMustAllowBothCommands_data()
    {
        QTest::addColumn<int>("onStatus");
        QTest::addColumn<QString>("onOutput");
        QTest::addColumn<int>("offStatus");
        QTest::addColumn<QString>("offOutput");
        QTest::addColumn<bool>("allowed");
        const QString listing = "User tester may run the following commands:\n    (root) NOPASSWD: ";
        QTest::newRow("both") << 0 << listing + on << 0 << listing + off << true;
        QTest::newRow("only apply") << 0 << listing + on << 1 << "" << false;
        QTest::newRow("only restore") << 1 << "" << 0 << listing + off << false;
        QTest::newRow("status 0 without the line") << 0 << listing << 0 << listing + off << false;
        QTest::newRow("line with a failure status") << 0 << listing + on << 1 << listing + off << false;
    }
    void sudoMustAllowBothCommands()
    {
        QFETCH(int, onStatus);
        QFETCH(QString, onOutput);
        QFETCH(int, offStatus);
        QFETCH(QString, offOutput);
        QFETCH(bool, allowed);
        ScriptedShell shell;
        shell.answer = [&](const QString &line) {
            return line.endsWith(on) ? ShellResult{onOutput, onStatus, ""} : ShellResult{offOutput, offStatus, ""};
        };
        QCOMPARE(sudoAllowsCommands(shell.runner()), allowed);
        QCOMPARE(shell.lines, (QStringList{"sudo -n -l " + on, "sudo -n -l " + off}));
    }

    void userNames_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("valid");
        QTest::newRow("letters digits . - _") << "Jo.doe-2_x" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank") << "jo doe" << false;
        QTest::newRow("at sign") << "jo@host" << false;
        QTest::newRow("non-ASCII letter") << "jürgen" << false;
        QTest::newRow("comma widens the rule") << "jo,root" << false;
        QTest::newRow("equals sign") << "jo=ALL" << false;
        QTest::newRow("line feed") << "jo\nALL" << false;
        QTest::newRow("quote") << "jo'" << false;
    }
    // A bad name is refused before the temporary copy is even named, let alone written.
    void userNames()
    {
        QFETCH(QString, user);
        QFETCH(bool, valid);
        QCOMPARE(isValidUserName(user), valid);
        if (valid)
            return;
        QTemporaryDir dir;
        ScriptedShell shell;
        bool named = false;
        const Result<> result =
            install([&] { return Result<QString>(user); }, [&] { return named = true, dir.filePath("copy.tmp"); },
                    shell.runner(), [] { return Result<bool>(true); });
        QCOMPARE(result, Result<>(VemoError::authorizationInvalidUser));
        QVERIFY(!named);
        QVERIFY(shell.lines.isEmpty());
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void currentUserNameComesFromId()
    {
        ScriptedShell shell;
        shell.answer = [](const QString &) { return ShellResult{"  tester\n", 0, ""}; };
        QCOMPARE(currentUserName(shell.runner()).value(), QStringLiteral("tester"));
        QCOMPARE(shell.lines, QStringList{"/usr/bin/id -un"});
        shell.answer = [](const QString &) { return ShellResult{"tester\n", 1, ""}; };
        QCOMPARE(currentUserName(shell.runner()).failure(), Failure::of(VemoError::authorizationInvalidUser));
    }

    void temporaryNameAndRuleText()
    {
        const QString url = makeTemporaryRuleURL(m_dir.path());
        QVERIFY2(QRegularExpression("^quorvel-authorization-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.tmp$")
                     .match(QFileInfo(url).fileName())
                     .hasMatch(),
                 qPrintable(url));
        QCOMPARE(QFileInfo(url).path(), m_dir.path());
        QCOMPARE(ruleText("tester"),
                 "tester ALL=(root) NOPASSWD: " + on + "\ntester ALL=(root) NOPASSWD: " + off + "\n");
    }

    void adminLinesByteForByte()
    {
        const QString install = "osascript -e 'do shell script \"install -m 0440 -o root -g wheel "
                                "\\\"/tmp/x.tmp\\\" /etc/sudoers.d/quorvel && (rm -f /etc/sudoers.d/vemo || true)\" "
                                "with administrator privileges'";
        const QString removal =
            "osascript -e 'do shell script \"rm /etc/sudoers.d/quorvel\" with administrator privileges'";
        QCOMPARE(installAdminLine("/tmp/x.tmp"), install);
        QCOMPARE(revokeAdminLine(), removal);
    }

    // A successful install, watched from the shell: the copy visudo sees, the exact lines,
    // and no copy left behind. The path holds a double quote on purpose.
    void installRunsTheExactLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("quo\"te.tmp");
        ScriptedShell shell;
        QByteArray checkedText;
        mode_t checkedMode = 0;
        shell.answer = [&](const QString &line) {
            if (line.startsWith("visudo")) {
                QFile copy(path);
                if (copy.open(QIODevice::ReadOnly))
                    checkedText = copy.readAll();
                struct stat status {};
                ::lstat(QFile::encodeName(path).constData(), &status);
                checkedMode = status.st_mode;
            }
            return ShellResult{};
        };
        int readBacks = 0;
        const Result<> result = install([] { return Result<QString>("tester"); }, [&] { return path; }, shell.runner(),
                                        [&] { return ++readBacks, Result<bool>(true); });
        QVERIFY(result.ok());
        QCOMPARE(readBacks, 1);
        QCOMPARE(shell.lines.size(), 2);
        QCOMPARE(shell.lines[0], "visudo -cf \"" + path + "\"");
        QString escaped = path;
        escaped.replace("\"", "\\\"");
        const QString head = "osascript -e 'do shell script \"install -m 0440 -o root -g wheel \\\"";
        const QString tail = "\\\" /etc/sudoers.d/quorvel && (rm -f /etc/sudoers.d/vemo || true)\" "
                             "with administrator privileges'";
        QCOMPARE(shell.lines[1], head + escaped + tail);
        QCOMPARE(checkedText, ruleText("tester").toUtf8());
        QVERIFY(S_ISREG(checkedMode));
        QCOMPARE(checkedMode & 07777, mode_t(0440));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // Every way an install can end, with the copy always gone afterwards.
    void installFailures_data()
    {
        QTest::addColumn<int>("visudoStatus");
        QTest::addColumn<int>("adminStatus");
        QTest::addColumn<QString>("adminError");
        QTest::addColumn<std::optional<bool>>("readBack"); // absent: the read-back fails
        QTest::addColumn<Result<>>("expected");
        const std::optional<bool> present(true);
        QTest::newRow("visudo rejects") << 1 << 0 << "" << present
                                        << Result<>(VemoError::authorizationSyntaxCheckFailed);
        QTest::newRow("user canceled") << 0 << 1 << "execution error: User canceled. (-128)" << present
                                       << Result<>(VemoError::authorizationDenied);
        QTest::newRow("install fails") << 0 << 1 << "install: cannot stat" << present
                                       << Result<>(VemoError::authorizationInstallFailed);
        QTest::newRow("rule not usable") << 0 << 0 << "" << std::optional<bool>(false)
                                         << Result<>(VemoError::authorizationReadbackMismatch);
        QTest::newRow("read-back fails") << 0 << 0 << "" << std::optional<bool>()
                                         << Result<>(VemoError::authorizationReadbackMismatch);
    }
    void installFailures()
    {
        QFETCH(int, visudoStatus);
        QFETCH(int, adminStatus);
        QFETCH(QString, adminError);
        QFETCH(std::optional<bool>, readBack);
        QFETCH(Result<>, expected);
        QTemporaryDir dir;
        ScriptedShell shell;
        shell.answer = [&](const QString &line) {
            return line.startsWith("visudo") ? ShellResult{"", visudoStatus, "parse error"}
                                             : ShellResult{"", adminStatus, adminError};
        };
        const Result<> result = install(
            [] { return Result<QString>("tester"); }, [&] { return dir.filePath("copy.tmp"); }, shell.runner(),
            [&] { return readBack ? Result<bool>(*readBack) : Result<bool>(Failure::platform("lstat failed")); });
        QCOMPARE(result, expected);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void installWriteProblems()
    {
        // A copy that cannot be written is the platform's failure, not one of ours.
        ScriptedShell shell;
        const auto yes = [] { return Result<bool>(true); };
        const auto tester = [] { return Result<QString>("tester"); };
        const Result<> unwritable = install(
            tester, [] { return QStringLiteral("/nonexistent-dir/copy.tmp"); }, shell.runner(), yes);
        QVERIFY(!unwritable.ok());
        QVERIFY(!unwritable.failure().vemoError());
        QVERIFY(shell.lines.isEmpty());

        // A link planted at the temporary name is replaced, never written through.
        QTemporaryDir dir;
        const QString victim = dir.filePath("victim");
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("untouched") > 0);
        file.close();
        const QString path = dir.filePath("copy.tmp");
        QVERIFY(QFile::link(victim, path));
        QVERIFY(install(
                    tester, [&] { return path; }, shell.runner(), yes)
                    .ok());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("untouched"));
        QVERIFY(!QFileInfo::exists(path));
    }

    void classifyAdminResult_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("expected");
        const int success = int(AdminResult::success), cancelled = int(AdminResult::cancelled),
                  failed = int(AdminResult::failed);
        QTest::newRow("status 0 wins") << 0 << ""
                                       << "User canceled." << success;
        QTest::newRow("user canceled") << 1 << ""
                                       << "execution error: User canceled. (-128)" << cancelled;
        QTest::newRow("-128 on stdout") << 1 << "-128"
                                        << "" << cancelled;
        QTest::newRow("Cancelled, any case") << 1 << ""
                                             << "CANCELLED" << cancelled;
        QTest::newRow("canceled without user") << 1 << ""
                                               << "operation canceled" << failed;
        QTest::newRow("other error") << 1 << ""
                                     << "install: /etc/sudoers.d: read-only" << failed;
        QTest::newRow("shell missing") << -1 << ""
                                       << "" << failed;
    }
    void classifyAdminResult()
    {
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, expected);
        QCOMPARE(int(SudoersAuthorization::classifyAdminResult({out, status, err})), expected);
    }

    void revokerOutcomes()
    {
        ScriptedShell shell;
        shell.answer = [](const QString &) { return ShellResult{"", 0, ""}; };
        QCOMPARE(revoke(shell.runner()), RevokeOutcome(Revoke::Completed{}));
        shell.answer = [](const QString &) { return ShellResult{"", 1, "(-128)"}; };
        QCOMPARE(revoke(shell.runner()), RevokeOutcome(Revoke::Cancelled{}));
        shell.answer = [](const QString &) { return ShellResult{"", 1, "rm: no such file"}; };
        QCOMPARE(revoke(shell.runner()), RevokeOutcome(Revoke::Failed{VemoError::authorizationRevokeFailed}));
        QCOMPARE(shell.lines, QStringList(3, revokeAdminLine()));
    }

    void verifyMirrorsAndLogs()
    {
        test::LogCapture log;
        AppStateStore store(PowerContext{});
        store.setAuthorization(Authorization::Failed{VemoError::authorizationInstallFailed});
        Result<bool> answer = true;
        AuthorizationManager manager(
            &store, [&] { return answer; }, {}, nullptr);
        QCOMPARE(manager.verify(), Result<bool>(true));
        QCOMPARE(store.state().authorization, AuthorizationState(Authorization::Granted{}));
        QCOMPARE(store.state().lastError, std::nullopt);
        answer = false;
        QCOMPARE(manager.verify(), Result<bool>(false));
        QCOMPARE(manager.state(), AuthorizationState(Authorization::Required{}));
        answer = Failure::platform("lstat");
        QVERIFY(!manager.verify().ok());
        QCOMPARE(manager.state(), AuthorizationState(Authorization::Required{}));
        QCOMPARE(log.lines(), (QStringList{"[INFO] [authorization] authorization verify, rulePresent=true",
                                           "[INFO] [authorization] authorization verify, rulePresent=false"}));
    }

    void grantOutcomes_data()
    {
        QTest::addColumn<Result<>>("grantor");
        QTest::addColumn<AuthorizationState>("state");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("lastEvent");
        QTest::newRow("installed") << Result<>() << AuthorizationState(Authorization::Granted{})
                                   << "[INFO] [authorization] authorization granted"
                                   << "authorizationGranted";
        QTest::newRow("cancelled") << Result<>(VemoError::authorizationDenied)
                                   << AuthorizationState(Authorization::Denied{})
                                   << "[WARNING] [authorization] authorization denied"
                                   << "authorizationDenied";
        QTest::newRow("install failed") << Result<>(VemoError::authorizationInstallFailed)
                                        << AuthorizationState(
                                               Authorization::Failed{VemoError::authorizationInstallFailed})
                                        << "[ERROR] [authorization] authorization failed"
                                        << "authorizationDenied";
        QTest::newRow("platform failure") << Result<>(Failure::platform("disk full"))
                                          << AuthorizationState(Authorization::Failed{VemoError::systemCommandFailed})
                                          << "[ERROR] [authorization] authorization failed"
                                          << "authorizationDenied";
    }
    void grantOutcomes()
    {
        QFETCH(Result<>, grantor);
        QFETCH(AuthorizationState, state);
        QFETCH(QString, logLine);
        QFETCH(QString, lastEvent);
        test::LogCapture log;
        AppStateStore store(PowerContext{});
        auto journal = std::make_shared<InMemoryEventJournal>(100);
        AuthorizationState seenDuringInstall;
        AuthorizationManager manager(
            &store, {}, [&] { return seenDuringInstall = store.state().authorization, grantor; }, journal);
        manager.grant();
        QCOMPARE(seenDuringInstall, AuthorizationState(Authorization::Granting{}));
        QCOMPARE(manager.state(), state);
        QCOMPARE(store.state().authorization, state);
        const auto *failed = std::get_if<Authorization::Failed>(&state);
        QCOMPARE(store.state().lastError, failed ? std::optional(failed->error) : std::nullopt);
        QCOMPARE(log.lines(), QStringList{logLine});
        QCOMPARE(kinds(*journal), (QStringList{"authorizationRequested", lastEvent}));
        const auto events = journal->events();
        QCOMPARE(events[0].evidence, std::nullopt);
        QCOMPARE(events[1].evidence, grantor.ok() ? std::optional(SystemEvidence{}) : std::nullopt);
    }

    // Only granting and granted guard grant(); after a cancel the user may try again.
    void grantGuards()
    {
        AppStateStore store(PowerContext{});
        auto journal = std::make_shared<InMemoryEventJournal>(100);
        Result<> next = VemoError::authorizationDenied;
        int calls = 0;
        AuthorizationManager manager(
            &store, {}, [&] { return ++calls, next; }, journal);
        manager.grant();
        next = {};
        manager.grant();
        manager.grant();
        QCOMPARE(calls, 2);
        QCOMPARE(journal->events().size(), 4);

        // A re-entrant request while the dialog is open is ignored too.
        AuthorizationManager reentrant(
            &store, {},
            [&]() -> Result<> {
                ++calls;
                reentrant.grant();
                return {};
            },
            journal);
        reentrant.grant();
        QCOMPARE(calls, 3);
    }

    void revokeOutcomes_data()
    {
        QTest::addColumn<RevokeOutcome>("outcome");
        QTest::addColumn<std::optional<bool>>("readBack"); // absent: the read-back fails
        QTest::addColumn<AuthorizationState>("state");
        QTest::addColumn<std::optional<VemoError>>("lastError");
        QTest::addColumn<bool>("success");
        const AuthorizationState granted = Authorization::Granted{};
        QTest::newRow("removed") << RevokeOutcome(Revoke::Completed{}) << std::optional(false)
                                 << AuthorizationState(Authorization::Revoked{}) << std::optional<VemoError>() << true;
        QTest::newRow("still there") << RevokeOutcome(Revoke::Completed{}) << std::optional(true) << granted
                                     << std::optional<VemoError>() << false;
        QTest::newRow("read-back fails") << RevokeOutcome(Revoke::Completed{}) << std::optional<bool>() << granted
                                         << std::optional<VemoError>() << false;
        QTest::newRow("cancelled") << RevokeOutcome(Revoke::Cancelled{}) << std::optional(false) << granted
                                   << std::optional<VemoError>() << false;
        QTest::newRow("failed") << RevokeOutcome(Revoke::Failed{VemoError::authorizationRevokeFailed})
                                << std::optional(false) << granted
                                << std::optional(VemoError::authorizationRevokeFailed) << false;
    }
    void revokeOutcomes()
    {
        QFETCH(RevokeOutcome, outcome);
        QFETCH(std::optional<bool>, readBack);
        QFETCH(AuthorizationState, state);
        QFETCH(std::optional<VemoError>, lastError);
        QFETCH(bool, success);
        test::LogCapture log;
        AppStateStore store(PowerContext{});
        auto journal = std::make_shared<InMemoryEventJournal>(100);
        AuthorizationManager manager(
            &store, [] { return Result<bool>(true); }, {}, journal);
        QVERIFY(manager.verify().ok());
        log.clear();
        manager.revoke([&] { return outcome; },
                       [&] { return readBack ? Result<bool>(*readBack) : Result<bool>(Failure::platform("x")); });
        QCOMPARE(manager.state(), state);
        QCOMPARE(store.state().authorization, state);
        QCOMPARE(store.state().lastError, lastError);
        QCOMPARE(journal->events().size(), 1);
        QCOMPARE(journal->events()[0].kind, VemoEventKind(EventKind::AuthorizationRevoked{success}));
        QCOMPARE(journal->events()[0].evidence, std::nullopt);
        QCOMPARE(log.lines(), QStringList());
    }

    void revokeOnlyWhileGranted()
    {
        auto journal = std::make_shared<InMemoryEventJournal>(100);
        auto store = std::make_unique<AppStateStore>(PowerContext{});
        AuthorizationManager manager(
            store.get(), [] { return Result<bool>(false); }, [] { return Result<>(); }, journal);
        QVERIFY(manager.verify().ok());
        bool revoked = false;
        manager.revoke([&] { return revoked = true, RevokeOutcome(Revoke::Completed{}); },
                       [] { return Result<bool>(false); });
        QVERIFY(!revoked);
        QVERIFY(journal->events().isEmpty());

        // With the store gone the manager still keeps its own state.
        store.reset();
        manager.grant();
        QCOMPARE(manager.state(), AuthorizationState(Authorization::Granted{}));
    }
};

QTEST_GUILESS_MAIN(AuthorizationTest)
#include "tst_authorization.moc"
