// Driving the running app from outside: the command line and address forms, the status
// object, and `quorvel ctl` against the real executable on the simulated platform.

#include "app/composition/ControlChannel.h"
#include "app/composition/ControlCommands.h"
#include "support/Printers.h"
#include "support/RealApp.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {
QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}
} // namespace

class ControlTest : public QObject {
    Q_OBJECT

    struct Ctl {
        int code = -1;
        QString out, err;
    };
    static Ctl ctl(RealApp &app, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(app.process().processEnvironment());
        process.start(QStringLiteral(QUORVEL_EXECUTABLE), QStringList{"ctl"} + arguments);
        process.waitForFinished(30000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private slots:
    void durations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds"); // -1: refused
        QTest::newRow("minutes") << "90m" << qint64(5400);
        QTest::newRow("hours") << "2h" << qint64(7200);
        QTest::newRow("both") << "1h30m" << qint64(5400);
        QTest::newRow("seconds") << "5400" << qint64(5400);
        QTest::newRow("capital and blanks") << " 3H " << qint64(10800);
        QTest::newRow("eight hours") << "8h" << qint64(28800);
        QTest::newRow("too long") << "8h1m" << qint64(-1);
        QTest::newRow("too short") << "59" << qint64(-1);
        QTest::newRow("negative") << "-90m" << qint64(-1);
        QTest::newRow("word") << "soon" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
    }
    void durations()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(ControlCommands::parseDuration(text).value_or(-1), seconds);
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("request"); // compact JSON, empty: ignored
        QTest::newRow("start with duration") << "quorvel://start?duration=90m"
                                             << R"({"command":"start","seconds":5400})";
        QTest::newRow("start") << "quorvel://start"
                               << R"({"command":"start","seconds":7200})";
        QTest::newRow("stop") << "quorvel://stop"
                              << R"({"command":"stop"})";
        QTest::newRow("indefinite") << "quorvel://indefinite"
                                    << R"({"command":"indefinite"})";
        QTest::newRow("display on") << "quorvel://display?on=1"
                                    << R"({"command":"display","on":true})";
        QTest::newRow("display off") << "quorvel://display?on=0"
                                     << R"({"command":"display","on":false})";
        QTest::newRow("unknown host") << "quorvel://reboot"
                                      << "";
        QTest::newRow("other scheme") << "https://start?duration=90m"
                                      << "";
        QTest::newRow("bad duration") << "quorvel://start?duration=forever"
                                      << "";
        QTest::newRow("extra parameter") << "quorvel://start?duration=90m&force=1"
                                         << "";
        QTest::newRow("parameter where none belongs") << "quorvel://stop?now=1"
                                                      << "";
        QTest::newRow("display without value") << "quorvel://display"
                                               << "";
        QTest::newRow("a path") << "quorvel://start/now"
                                << "";
    }
    void addresses()
    {
        QFETCH(QString, url);
        QFETCH(QString, request);
        const auto parsed = ControlCommands::parseUrl(QUrl(url));
        QCOMPARE(parsed ? QString::fromUtf8(QJsonDocument(*parsed).toJson(QJsonDocument::Compact)) : QString(),
                 request);
    }

    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("request"); // empty: a usage error
        QTest::newRow("start 3h --json") << QStringList{"start", "3h", "--json"}
                                         << R"({"command":"start","seconds":10800})";
        QTest::newRow("closed-lid on") << QStringList{"closed-lid", "on"} << R"({"command":"closedLid","on":true})";
        QTest::newRow("quit --force") << QStringList{"quit", "--force"} << R"({"command":"quit","force":true})";
        QTest::newRow("display maybe") << QStringList{"display", "maybe"} << "";
        QTest::newRow("start twice") << QStringList{"start", "1h", "2h"} << "";
        QTest::newRow("nothing") << QStringList{} << "";
    }
    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, request);
        const auto parsed = ControlCommands::parseArguments(arguments);
        QCOMPARE(parsed.error.isEmpty(), !request.isEmpty());
        if (!request.isEmpty())
            QCOMPARE(QString::fromUtf8(QJsonDocument(parsed.request).toJson(QJsonDocument::Compact)), request);
    }

    // Every case of every part of the state survives the status object.
    void statusRoundTrips()
    {
        using namespace quorvel;
        const QList<TimedSessionState> timed{TimedSession::Off{},
                                             TimedSession::Starting{},
                                             TimedSession::Running{5409},
                                             TimedSession::RunningPermanent{},
                                             TimedSession::Stopping{},
                                             TimedSession::Ended{},
                                             TimedSession::Failed{VemoError::caffeinateUnavailable}};
        const QList<DisplayAwakeState> display{DisplayAwake::Off{}, DisplayAwake::Starting{}, DisplayAwake::On{},
                                               DisplayAwake::Stopping{},
                                               DisplayAwake::Failed{VemoError::processLaunchFailed}};
        const QList<ClamshellState> lid{Clamshell::Off{},
                                        Clamshell::AuthorizationRequired{},
                                        Clamshell::Starting{},
                                        Clamshell::RunningOnPowerAdapter{},
                                        Clamshell::RunningOnBattery{64},
                                        Clamshell::LowBatteryWarning{23},
                                        Clamshell::SafetyStopped{20},
                                        Clamshell::Stopping{},
                                        Clamshell::Failed{VemoError::clamshellRestoreFailed}};
        const QList<AuthorizationState> authorization{Authorization::Unknown{},
                                                      Authorization::Required{},
                                                      Authorization::Granting{},
                                                      Authorization::Granted{},
                                                      Authorization::Denied{},
                                                      Authorization::Revoked{},
                                                      Authorization::Failed{VemoError::authorizationInstallFailed}};
        for (qsizetype i = 0; i < 9; ++i) {
            VemoState state;
            state.timedSession = timed.at(i % timed.size());
            state.displayAwake = display.at(i % display.size());
            state.clamshell = lid.at(i);
            state.authorization = authorization.at(i % authorization.size());
            state.power = {i % 2 ? PowerSource::battery : PowerSource::powerAdapter,
                           i % 3 ? std::optional<qint64>(i * 10) : std::nullopt,
                           i % 2 ? std::optional(true) : std::nullopt,
                           {},
                           {}};
            state.startupResidual = i % 2;
            state.lastError = i % 3 ? std::optional(VemoError(i)) : std::nullopt;
            const QJsonObject status = ControlCommands::statusJson(state);
            const auto back =
                ControlCommands::stateFromStatusJson(QJsonDocument::fromJson(QJsonDocument(status).toJson()).object());
            QVERIFY2(back && *back == state, QJsonDocument(status).toJson().constData());
        }
        QCOMPARE(ControlCommands::statusJson(VemoState{}).value("timedSession").toObject(), json(R"({"state":"off"})"));
        QVERIFY(!ControlCommands::stateFromStatusJson(json(R"({"timedSession":{"state":"running"}})")));
    }

    // The whole command line against a running headless instance.
    void ctlDrivesTheRunningApp()
    {
        RealApp app;
        QCOMPARE(ctl(app, {"status"}).code, 2); // nobody runs yet
        app.start();
        QVERIFY(app.waitFor([&] { return ctl(app, {"status"}).code == 0; }));
        struct stat folder {};
        QVERIFY(::stat(QFile::encodeName(app.sandbox("../runtime")), &folder) == 0);
        QCOMPARE(folder.st_mode & 0777, 0700u);

        Ctl r = ctl(app, {"start", "90m", "--json"});
        QCOMPARE(r.code, 0);
        const QJsonObject reply = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(reply.value("status").toObject().value("timedSession").toObject().value("state"), "running");
        // The child is running once the reply comes; the stand-in records itself a moment later.
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QCOMPARE(ctl(app, {"display", "on"}).code, 0); // a relaunch with -d
        QVERIFY(app.waitFor([&] { return app.caffeinatePids().size() == 2 && app.livingCaffeinates().size() == 1; }));
        QFile log(app.sandbox("sim/caffeinate.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> starts = log.readAll().trimmed().split('\n');
        QVERIFY2(starts.first().contains("-i -t 5400") && starts.last().contains(" -i -d -t 5"),
                 starts.last().constData());

        QCOMPARE(ctl(app, {"authorize"}).code, 0);
        QCOMPARE(ctl(app, {"closed-lid", "on"}).code, 0); // ends the timed session, as the menu does
        QCOMPARE(app.sleepSetting(), "1");
        r = ctl(app, {"start"});
        QCOMPARE(r.code, 1); // refused, with the reason
        QVERIFY2(r.err.contains("Closed-lid mode"), qPrintable(r.err));
        QCOMPARE(ctl(app, {"closed-lid", "off"}).code, 0);
        QCOMPARE(app.sleepSetting(), "0");

        // A malformed or oversized request gets an error, and the next one still works.
        for (const QByteArray &bad : {QByteArray("not json\n"), QByteArray(40000, 'x')}) {
            QLocalSocket socket;
            socket.connectToServer(app.sandbox("../runtime/control.sock"));
            QVERIFY(socket.waitForConnected(2000));
            socket.write(bad);
            QVERIFY(socket.waitForReadyRead(5000));
            QVERIFY(QJsonDocument::fromJson(socket.readAll()).object().value("ok") == false);
        }
        QCOMPARE(ctl(app, {"status"}).code, 0);

        // A second launch hands its arguments over and ends; quit ends the first.
        RealApp second;
        second.process().setProcessEnvironment(app.process().processEnvironment());
        const qsizetype startsBefore = app.caffeinatePids().size();
        second.start({"--headless", "quorvel://start?duration=45m"});
        QVERIFY(second.waitForExit());
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY(app.waitFor([&] { return app.caffeinatePids().size() == startsBefore + 1; }));
        QFile again(log.fileName());
        QVERIFY(again.open(QIODevice::ReadOnly) && again.readAll().trimmed().split('\n').last().contains("-t 2700"));
        QCOMPARE(ctl(app, {"quit"}).code, 0);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.historyKinds().last(), "appQuit");
    }

    // A socket left by a crash is replaced by the next launch.
    void staleSocketIsReplaced()
    {
        RealApp app;
        app.start();
        QVERIFY(app.waitFor([&] { return ctl(app, {"status"}).code == 0; }));
        ::kill(pid_t(app.pid()), SIGKILL);
        QVERIFY(app.waitForExit());
        QVERIFY(QFile::exists(app.sandbox("../runtime/control.sock")));
        QCOMPARE(ctl(app, {"status"}).code, 2);
        app.start();
        QVERIFY(app.waitFor([&] { return ctl(app, {"status"}).code == 0; }));
        QCOMPARE(ctl(app, {"quit", "--force"}).code, 0);
    }
};

QTEST_GUILESS_MAIN(ControlTest)
#include "tst_control.moc"
