// The control socket under hostile use by a client of the same user: requests whose fields are
// not what ctl would send, and many launches at the same instant. Whatever arrives, the app
// answers with a reason, starts nothing it was not asked for, and stays the only instance.

#include "Reliability.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <csignal>
#include <memory>

using namespace quorvel::test;

namespace {

// One raw line over the socket, as a script of the user's could send it; the reply, or an empty
// object when none came.
QJsonObject exchange(const RealApp &app, const QByteArray &line)
{
    QLocalSocket socket;
    socket.connectToServer(app.folder("runtime/control.sock"));
    if (!socket.waitForConnected(2000))
        return {};
    socket.write(line + '\n');
    socket.flush();
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return QJsonDocument::fromJson(reply).object();
}

// Field 5 (process group) and field 3 (state) of /proc/<pid>/stat, after the name in parentheses.
struct ProcStat {
    qint64 parent = -1;
    qint64 group = -1;
    bool zombie = false;
};
std::optional<ProcStat> procStat(const QString &pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype name = stat.lastIndexOf(')');
    if (name < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(name + 2).split(' ');
    if (fields.size() < 3)
        return std::nullopt;
    return ProcStat{fields[1].toLongLong(), fields[2].toLongLong(), fields[0] == "Z"};
}

// Every living process of the process group `group`.
QList<qint64> groupMembers(qint64 group)
{
    QList<qint64> members;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (const auto stat = procStat(pid); stat && stat->group == group && !stat->zombie)
            members << pid.toLongLong();
    return members;
}

// The app's child that runs the administrator dialog, or -1.
qint64 dialogOf(const RealApp &app)
{
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (const auto stat = procStat(pid);
            stat && stat->parent == app.pid() && readFile("/proc/" + pid + "/cmdline").contains("osascript"))
            return pid.toLongLong();
    return -1;
}

} // namespace

class ControlTest : public QObject {
    Q_OBJECT

private slots:
    // Durations the server once turned into two hours or silently ignored: each is an error
    // reply that names the field, and no session starts.
    void invalidDurationsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("seconds");
        QTest::newRow("text") << QByteArray(R"("60")");
        QTest::newRow("fraction") << QByteArray("2.5");
        QTest::newRow("huge") << QByteArray("1e300");
        QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999");
        QTest::newRow("negative") << QByteArray("-5");
        QTest::newRow("zero") << QByteArray("0");
        QTest::newRow("below a minute") << QByteArray("59");
        QTest::newRow("above eight hours") << QByteArray("28801");
        QTest::newRow("null") << QByteArray("null");
        QTest::newRow("list") << QByteArray("[60]");
    }
    void invalidDurationsAreRefused()
    {
        QFETCH(QByteArray, seconds);
        RealApp app;
        app.start();
        RVERIFY(app, app.waitForState(" | idle: "));
        QJsonObject reply;
        // The server may still be settling its start-up; it answers pleaseWait meanwhile.
        RVERIFY(app, app.waitFor([&] {
            reply = exchange(app, R"({"command":"start","seconds":)" + seconds + "}");
            return reply.value("reason").toString() != "pleaseWait" && !reply.isEmpty();
        }));
        RVERIFY(app, !reply.value("ok").toBool(true));
        RVERIFY(app, reply.value("error").toString().contains("seconds"));
        // A valid request right after is still served: the refusal left the server as it was.
        const QJsonObject valid = exchange(app, R"({"command":"start","seconds":3600})");
        RVERIFY(app, valid.value("ok").toBool());
        RVERIFY(app, app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QCOMPARE(app.caffeinatePids().size(), 1);
    }

    // Twenty launches at once: exactly one stays up and serves; every other one hands over
    // and ends with no session of its own.
    void simultaneousLaunchesLeaveOneInstance()
    {
        RealApp app; // its folders and environment; its own process is not started
        const QProcessEnvironment env = app.process().processEnvironment();
        std::vector<std::unique_ptr<QProcess>> launches;
        for (int i = 0; i < 20; ++i) {
            auto process = std::make_unique<QProcess>();
            process->setProcessEnvironment(env);
            process->setProgram(app.process().program());
            process->setArguments({"--headless"});
            process->setProcessChannelMode(QProcess::MergedChannels);
            launches.push_back(std::move(process));
        }
        for (auto &process : launches)
            process->start();
        const auto running = [&] {
            return std::count_if(launches.begin(), launches.end(),
                                 [](const auto &p) { return p->state() != QProcess::NotRunning; });
        };
        QVERIFY(app.waitFor([&] { return running() <= 1; }, 20000));
        QCOMPARE(running(), 1);
        const QJsonObject reply = exchange(app, R"({"command":"indefinite"})");
        QVERIFY(reply.value("ok").toBool());
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QCOMPARE(app.caffeinatePids().size(), 1);
        for (auto &process : launches)
            if (process->state() != QProcess::NotRunning) {
                process->closeWriteChannel(); // end of input: the orderly quit
                QVERIFY(process->waitForFinished(5000));
            }
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }));
    }

    // The lock decides, not the socket: with the running instance's socket gone, a second
    // launch finds nobody to hand over to, yet it says why and ends instead of starting a
    // second session.
    void launchWithoutReachableSocketStaysSecond()
    {
        RealApp first;
        first.start();
        RVERIFY(first, first.waitForState(" | idle: "));
        first.send("indefinite");
        RVERIFY(first, first.waitFor([&] { return first.livingCaffeinates().size() == 1; }));
        QVERIFY(QFile::remove(first.folder("runtime/control.sock")));

        QProcess second;
        second.setProcessEnvironment(first.process().processEnvironment());
        second.start(first.process().program(), {"--headless"});
        QVERIFY(second.waitForFinished(10000));
        const QByteArray errors = second.readAllStandardError();
        QVERIFY2(errors.contains("another instance holds the lock"), errors.constData());
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        // Still only the first one's child, and the first one still runs.
        QCOMPARE(first.caffeinatePids().size(), 1);
        QCOMPARE(first.process().state(), QProcess::Running);
    }

    // A termination signal while the administrator dialog is busy installing: the dialog's
    // whole group ends, the app quits within 2 s, and nothing of the half-done grant stays.
    void terminationDuringDialog_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("ruleBefore"); // empty: no rule file
        QTest::newRow("SIGTERM, no rule before") << int(SIGTERM) << QByteArray();
        QTest::newRow("SIGINT, an older rule") << int(SIGINT) << QByteArray("# an older rule\n");
        QTest::newRow("SIGHUP, no rule before") << int(SIGHUP) << QByteArray();
    }
    void terminationDuringDialog()
    {
        QFETCH(int, signal);
        QFETCH(QByteArray, ruleBefore);
        RealApp app;
        const QString rule = app.sandbox("etc/sudoers.d/quorvel");
        if (!ruleBefore.isEmpty()) {
            QVERIFY(writeFile(rule, ruleBefore));
            QFile::setPermissions(rule, QFile::ReadOwner | QFile::ReadGroup);
        }
        app.writeSandbox("sim/osascript-delay", "20000");
        app.start();
        RVERIFY(app, app.waitForState(" | idle: "));
        app.send("authorize");
        // Half done: the copy is staged and the dialog still has it.
        RVERIFY(app, app.waitFor([&] { return QFile::exists(app.sandbox("etc/sudoers.d/quorvel.pending")); }));
        const qint64 dialog = dialogOf(app);
        QVERIFY(dialog > 0);
        QVERIFY(!groupMembers(dialog).isEmpty());

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::kill(pid_t(app.pid()), signal), 0);
        RVERIFY(app, app.waitForExit(2000));
        RVERIFY(app, clock.elapsed() < 2000);
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        RVERIFY(app, app.waitFor([&] { return groupMembers(dialog).isEmpty(); }, 1000));
        QVERIFY(!QFile::exists(app.sandbox("etc/sudoers.d/quorvel.pending")));
        QCOMPARE(QFile::exists(rule), !ruleBefore.isEmpty());
        QCOMPARE(readFile(rule), ruleBefore);
        QCOMPARE(QDir(app.folder("tmp")).entryList({"quorvel-*"}, QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(app.sleepSetting() != "1");
        RVERIFY(app, app.log().contains("administrator dialog ended by a termination signal"));
    }
};

QTEST_GUILESS_MAIN(ControlTest)
#include "tst_control.moc"
