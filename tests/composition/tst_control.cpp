// Driving the running app from outside: the command line and address forms, the status
// object, and `quorvel ctl` against the real executable on the simulated platform.

#include "app/composition/ControlCommands.h"
#include "support/RealApp.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

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

    using Ctl = RealApp::Ctl;

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
        // Sessions kept for a job. The command's own words after "--" are its, "--json" too.
        row("quorvel://start?pid=4242", R"({"command":"start","pid":4242})");
        row("start --while-pid 4242", R"({"command":"start","pid":4242})");
        row("run -- make -j4 --json", R"({"command":"run","display":false,"name":"make"})");
        row("run --display -- /usr/bin/rsync -a", R"({"command":"run","display":true,"name":"rsync"})");
        for (const char *ignored : {"quorvel://start?pid=0", "quorvel://start?pid=-4", "quorvel://start?pid=+4",
                                    "quorvel://start?pid=4242&duration=90m", "quorvel://start?pid=99999999999",
                                    "quorvel://start?until=soon", "quorvel://start?until=25:00"})
            row(ignored);
        for (const char *usageError : {"start --while-pid", "start --while-pid x1", "start --until 7pm", "run",
                                       "run make", "run --", "run --loud -- make", "status -- x"})
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

    // "--until" and "?until=": local clock times today or else tomorrow, across midnight and
    // the daylight-saving changes of Berlin (29 March and 25 October 2026), and ISO forms.
    void untilTimes_data()
    {
        QTest::addColumn<QString>("now"); // local, Europe/Berlin
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("until"); // UTC; empty: refused
        const auto row = [](const char *name, const char *now, const char *text, const char *until) {
            QTest::newRow(name) << QString(now) << QString(text) << QString(until);
        };
        row("later today", "2026-12-07T17:00", "18:30", "2026-12-07T17:30:00Z");
        row("passed means tomorrow", "2026-12-07T19:00", "18:30", "2026-12-08T17:30:00Z");
        row("this very minute means tomorrow", "2026-12-07T18:30", "18:30", "2026-12-08T17:30:00Z");
        row("across midnight", "2026-12-07T23:10", "0:45", "2026-12-07T23:45:00Z");
        row("across the new year", "2026-12-31T23:00", "01:00", "2027-01-01T00:00:00Z");
        row("spring forward, after the gap", "2026-03-29T00:30", "04:00", "2026-03-29T02:00:00Z");
        row("spring forward, inside the gap", "2026-03-29T00:30", "02:30", "2026-03-29T01:00:00Z");
        row("fall back, the hour comes twice", "2026-10-25T00:30", "04:00", "2026-10-25T03:00:00Z");
        row("iso inside the gap", "2026-03-28T12:00", "2026-03-29T02:15", "2026-03-29T01:00:00Z");
        row("iso local", "2026-12-07T17:00", "2026-12-07T18:30", "2026-12-07T17:30:00Z");
        row("iso with a space and offset", "2026-12-07T17:00", "2026-12-07 18:30+03:00", "2026-12-07T15:30:00Z");
        row("iso utc", "2026-12-07T17:00", "2026-12-07T18:30:15Z", "2026-12-07T18:30:15Z");
        for (const char *bad : {"24:00", "18:60", "18", "18:30:00:00", "2026-13-01T10:00", "2026-02-30T10:00",
                                "tomorrow", "", "18:30 ; rm"})
            row(bad, "2026-12-07T17:00", bad, "");
    }
    void untilTimes()
    {
        QFETCH(QString, now);
        QFETCH(QString, text);
        const QTimeZone berlin("Europe/Berlin");
        QVERIFY(berlin.isValid());
        const QDateTime local = QDateTime::fromString(now, Qt::ISODate);
        const auto until = ControlCommands::resolveUntil(text, QDateTime(local.date(), local.time(), berlin));
        QTEST(until ? until->toString(Qt::ISODate) : QString(), "until");
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
            const QList<std::optional<SessionBinding>> bindings{
                std::nullopt, SessionBinding{SessionBinding::Kind::command, "make", {}, {}},
                SessionBinding{SessionBinding::Kind::process, "sleep", 4242, {}},
                SessionBinding{
                    SessionBinding::Kind::until, {}, {}, QDateTime::fromString("2026-12-07T17:30:00Z", Qt::ISODate)}};
            state.sessionBinding = bindings.at(i % bindings.size());
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
        QCOMPARE(app.ctl({"status"}).code, 2); // nobody runs yet
        app.start();
        QVERIFY(app.waitFor([&] { return app.ctl({"status"}).code == 0; }));
        struct stat folder {};
        QVERIFY(::stat(QFile::encodeName(app.sandbox("../runtime")), &folder) == 0);
        QCOMPARE(folder.st_mode & 0777, 0700u);

        Ctl r = app.ctl({"start", "90m", "--json"});
        QCOMPARE(r.code, 0);
        const QJsonObject reply = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(reply.value("status").toObject().value("timedSession").toObject().value("state"), "running");
        // The child is running once the reply comes; the stand-in records itself a moment later.
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QCOMPARE(app.ctl({"display", "on"}).code, 0); // a relaunch with -d
        QVERIFY(app.waitFor([&] { return app.caffeinatePids().size() == 2 && app.livingCaffeinates().size() == 1; }));
        const auto starts = [&] { // the stand-in's record of its command lines
            QFile log(app.sandbox("sim/caffeinate.log"));
            return log.open(QIODevice::ReadOnly) ? log.readAll().trimmed().split('\n') : QList<QByteArray>{""};
        };
        QVERIFY2(starts().first().contains("-i -t 5400") && starts().last().contains(" -i -d -t 5"),
                 starts().last().constData());

        QCOMPARE(app.ctl({"authorize"}).code, 0);
        QCOMPARE(app.ctl({"closed-lid", "on"}).code, 0); // ends the timed session, as the menu does
        QCOMPARE(app.sleepSetting(), "1");
        r = app.ctl({"start"});
        QCOMPARE(r.code, 1); // refused, with the reason
        QVERIFY2(r.err.contains("Closed-lid mode"), qPrintable(r.err));
        QCOMPARE(app.ctl({"closed-lid", "off"}).code, 0);
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
        QCOMPARE(app.ctl({"status"}).code, 0);

        // A second launch hands its arguments over and ends; quit ends the first.
        RealApp second;
        second.process().setProcessEnvironment(app.process().processEnvironment());
        const qsizetype startsBefore = app.caffeinatePids().size();
        second.start({"--headless", "quorvel://start?duration=45m"});
        QVERIFY(second.waitForExit());
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY(app.waitFor([&] { return app.caffeinatePids().size() == startsBefore + 1; }));
        QVERIFY(starts().last().contains("-t 2700"));
        QCOMPARE(app.ctl({"quit"}).code, 0);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.historyKinds().last(), "appQuit");
    }

    // Sessions kept for a job, from the real command line: while a command runs in the
    // caller's terminal, while another process runs, and until a clock time.
    void ctlKeepsAwakeForTheWork()
    {
        RealApp app;
        const QString marker = app.folder("tmp/ran");
        QCOMPARE(app.ctl({"run", "--", "touch", marker}).code, 2); // nobody runs: the command never starts
        QVERIFY(!QFile::exists(marker));
        app.start();
        QVERIFY(app.waitFor([&] { return app.ctl({"status"}).code == 0; }));

        // A command's session lasts exactly as long as the command, whose status comes back.
        QProcess run;
        run.setProcessEnvironment(app.process().processEnvironment());
        run.start(QStringLiteral(QUORVEL_EXECUTABLE), {"ctl", "run", "--", "sh", "-c", "sleep 2; echo done; exit 3"});
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QVERIFY2(app.ctl({"status"}).out.contains("Prevent Idle Sleep: While sh runs"),
                 qPrintable(app.ctl({"status"}).out));
        QVERIFY(app.waitForState("idle: While sh runs"));
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(run.exitCode(), 3);
        QCOMPARE(run.readAllStandardOutput(), "done\n"); // the command's streams are the caller's
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }));
        // The end is written once the app has seen its child go, a moment after it has gone.
        QVERIFY(app.waitFor([&] { return app.historyKinds().last() == "timedEndedNaturally"; }));
        QVERIFY(app.log().contains("[INFO] [timed] bound session ending, command exited, name=sh"));
        const QString history = QString::fromUtf8(readFile(app.historyPath()));
        QVERIFY2(history.contains(R"("timedStarted":{"binding":{"kind":"command","name":"sh"},"durationSeconds":0})"),
                 qPrintable(history));
        QCOMPARE(app.ctl({"run", "--", "sh", "-c", "kill -TERM $$"}).code, 128 + SIGTERM);
        QCOMPARE(app.ctl({"run", "--", app.folder("tmp/no-such-command")}).code, 127);

        // Ctrl-C reaches the whole foreground group: the command ends, and its session, not the app.
        QProcess interrupted;
        interrupted.setProcessEnvironment(app.process().processEnvironment());
        interrupted.setChildProcessModifier([] { ::setpgid(0, 0); });
        interrupted.start(QStringLiteral(QUORVEL_EXECUTABLE), {"ctl", "run", "--display", "--", "sleep", "30"});
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QVERIFY(app.waitForState("display: On"));
        ::kill(-pid_t(interrupted.processId()), SIGINT);
        QVERIFY(interrupted.waitForFinished(10000));
        QCOMPARE(interrupted.exitCode(), 128 + SIGINT);
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }));
        QCOMPARE(app.process().state(), QProcess::Running);

        // A process of its own: ends with it, refused once it has gone, unbound by a change by hand.
        QProcess job;
        job.start("/bin/sleep", {"30"});
        QVERIFY(job.waitForStarted());
        const QString pid = QString::number(job.processId());
        QCOMPARE(app.ctl({"start", "--while-pid", pid}).code, 0);
        QVERIFY(app.waitForState("idle: While sleep runs"));
        QVERIFY(
            readFile(app.historyPath()).contains(R"({"kind":"process","name":"sleep","pid":)" + pid.toUtf8() + "}"));
        job.kill();
        job.waitForFinished();
        QVERIFY(app.waitFor([&] { return app.livingCaffeinates().isEmpty(); }));
        QVERIFY(app.log().contains("bound session ending, process exited, pid=" + pid + ", name=sleep"));
        const Ctl gone = app.ctl({"start", "--while-pid", pid});
        QCOMPARE(gone.code, 1);
        QVERIFY2(gone.err.contains("Process " + pid + " is not running."), qPrintable(gone.err));
        job.start("/bin/sleep", {"30"});
        QVERIFY(job.waitForStarted());
        QCOMPARE(app.ctl({"start", "--while-pid", QString::number(job.processId())}).code, 0);
        app.send("timed"); // the menu's "timed" for a session kept until stopped
        QVERIFY(app.waitFor([&] { return !app.stateLine().contains("While") && app.stateLine().contains("idle: "); }));
        job.kill();
        job.waitForFinished();
        QTest::qWait(300);
        QCOMPARE(app.livingCaffeinates().size(), 1); // no longer kept for the job: it runs on
        QCOMPARE(app.ctl({"stop"}).code, 0);

        // Until a clock time, within the longest timed session only.
        const QDateTime inTwoHours = QDateTime::currentDateTime().addSecs(7200);
        const QString at = inTwoHours.toString("HH:mm");
        const Ctl until = app.ctl({"start", "--until", at, "--json"});
        QCOMPARE(until.code, 0);
        const QJsonObject timed = QJsonDocument::fromJson(until.out.toUtf8())["status"]["timedSession"].toObject();
        QCOMPARE(timed["binding"]["kind"], "until");
        QVERIFY(qAbs(timed["remainingSeconds"].toInteger() - 7200) < 70);
        QVERIFY(app.waitForState("idle: Until " + at));
        QCOMPARE(app.ctl({"stop"}).code, 0);
        for (const qint64 away : {9 * 3600, -60}) {
            const Ctl refused =
                app.ctl({"start", "--until", QDateTime::currentDateTimeUtc().addSecs(away).toString(Qt::ISODate)});
            QCOMPARE(refused.code, 1);
            QVERIFY2(refused.err.contains(away > 0 ? "more than 8 hours away" : "already passed"),
                     qPrintable(refused.err));
        }
        QCOMPARE(app.ctl({"quit"}).code, 0);
        QVERIFY(app.waitForExit());
    }

    // A socket left by a crash is replaced by the next launch.
    void staleSocketIsReplaced()
    {
        RealApp app;
        app.start();
        QVERIFY(app.waitFor([&] { return app.ctl({"status"}).code == 0; }));
        ::kill(pid_t(app.pid()), SIGKILL);
        QVERIFY(app.waitForExit());
        QVERIFY(QFile::exists(app.sandbox("../runtime/control.sock")));
        QCOMPARE(app.ctl({"status"}).code, 2);
        app.start();
        QVERIFY(app.waitFor([&] { return app.ctl({"status"}).code == 0; }));
        QCOMPARE(app.ctl({"quit", "--force"}).code, 0);
    }
};

QTEST_GUILESS_MAIN(ControlTest)
#include "tst_control.moc"
