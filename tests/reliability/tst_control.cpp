// The control socket under hostile use by a client of the same user: requests whose fields are
// not what ctl would send, and many launches at the same instant. Whatever arrives, the app
// answers with a reason, starts nothing it was not asked for, and stays the only instance.

#include "Reliability.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
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
};

QTEST_GUILESS_MAIN(ControlTest)
#include "tst_control.moc"
