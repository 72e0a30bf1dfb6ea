// Driving the running app from outside: the command line and address forms, the status
// object, and `quorvel ctl` against the real executable on the simulated platform.

#include "app/composition/ControlCommands.h"
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
        const std::initializer_list<std::pair<const char *, qint64>> rows = {
            {"90m", 5400}, {"2h", 7200}, {"1h30m", 5400}, {"5400", 5400}, {" 3H ", 10800}, {"8h", 28800},
            {"8h1m", -1},  {"59", -1},   {"-90m", -1},    {"soon", -1},   {"", -1}};
        for (const auto &[text, seconds] : rows)
            QTest::newRow(text) << QString(text) << seconds;
    }
    void durations()
    {
        QFETCH(QString, text);
        QTEST(ControlCommands::parseDuration(text).value_or(-1), "seconds");
    }

    // A link, or else the words after "ctl", and the request it makes: compact JSON, empty when
    // a link is ignored or the command line is a usage error.
    void requests_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("request");
        const auto row = [](const char *input, const char *request = "") {
            QTest::newRow(input) << QString(input) << QString(request);
        };
        row("quorvel://start?duration=90m", R"({"command":"start","seconds":5400})");
        row("quorvel://start", R"({"command":"start","seconds":7200})");
        row("quorvel://stop", R"({"command":"stop"})");
        row("quorvel://indefinite", R"({"command":"indefinite"})");
        row("quorvel://display?on=1", R"({"command":"display","on":true})");
        row("quorvel://display?on=0", R"({"command":"display","on":false})");
        for (const char *ignored : {"quorvel://reboot", "https://start?duration=90m",
                                    "quorvel://start?duration=forever", "quorvel://start?duration=90m&force=1",
                                    "quorvel://stop?now=1", "quorvel://display", "quorvel://start/now"})
            row(ignored);
        row("start 3h --json", R"({"command":"start","seconds":10800})");
        row("closed-lid on", R"({"command":"closedLid","on":true})");
        row("quit --force", R"({"command":"quit","force":true})");
        for (const char *usageError : {"display maybe", "start 1h 2h", ""})
            row(usageError);
    }
    void requests()
    {
        QFETCH(QString, input);
        std::optional<QJsonObject> request;
        if (input.contains("://")) {
            request = ControlCommands::parseUrl(QUrl(input));
        } else if (const auto parsed = ControlCommands::parseArguments(input.split(' ', Qt::SkipEmptyParts));
                   parsed.error.isEmpty()) {
            request = parsed.request;
        }
        QTEST(request ? QString::fromUtf8(QJsonDocument(*request).toJson(QJsonDocument::Compact)) : "", "request");
    }

    // Every case of every part of the state survives the status object.
    void statusRoundTrips()
    {
        namespace T = TimedSession;
        namespace D = DisplayAwake;
        namespace C = Clamshell;
        namespace A = Authorization;
        using E = VemoError;
        QList<TimedSessionState> timed;
        QList<DisplayAwakeState> display;
        QList<ClamshellState> lid;
        QList<AuthorizationState> authorization;
        timed << T::Off{} << T::Starting{} << T::Running{5409} << T::RunningPermanent{} << T::Stopping{} << T::Ended{}
              << T::Failed{E::caffeinateUnavailable};
        display << D::Off{} << D::Starting{} << D::On{} << D::Stopping{} << D::Failed{E::processLaunchFailed};
        lid << C::Off{} << C::AuthorizationRequired{} << C::Starting{} << C::RunningOnPowerAdapter{}
            << C::RunningOnBattery{64} << C::LowBatteryWarning{23} << C::SafetyStopped{20} << C::Stopping{}
            << C::Failed{E::clamshellRestoreFailed};
        authorization << A::Unknown{} << A::Required{} << A::Granting{} << A::Granted{} << A::Denied{} << A::Revoked{}
                      << A::Failed{E::authorizationInstallFailed};
        for (qsizetype i = 0; i < lid.size(); ++i) {
            VemoState state;
            state.timedSession = timed.at(i % timed.size());
            state.displayAwake = display.at(i % display.size());
            state.clamshell = lid.at(i);
            state.authorization = authorization.at(i % authorization.size());
            state.power = {i % 2 ? PowerSource::battery : PowerSource::powerAdapter,
                           i % 3 ? std::optional<qint64>(i * 10) : std::nullopt,
                           i % 2 ? std::optional(true) : std::nullopt};
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
        const auto starts = [&] { // the stand-in's record of its command lines
            QFile log(app.sandbox("sim/caffeinate.log"));
            return log.open(QIODevice::ReadOnly) ? log.readAll().trimmed().split('\n') : QList<QByteArray>{""};
        };
        QVERIFY2(starts().first().contains("-i -t 5400") && starts().last().contains(" -i -d -t 5"),
                 starts().last().constData());

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
        QVERIFY(starts().last().contains("-t 2700"));
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
