// The Linux platform against python3-dbusmock: logind, gnome-session, PowerDevil, the screen
// saver and UPower, on a private system bus and a private session bus that this test starts.
// Nothing here reaches the machine's own buses.

#include "DbusMock.h"
#include "platform/linux/DesktopInhibitors.h"
#include "platform/linux/LidSwitchLock.h"
#include "platform/linux/LinuxBackends.h"
#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/SleepInhibitorSession.h"
#include "platform/linux/UPowerSource.h"
#include "support/RealApp.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

int ourLocks(const QDBusConnection &system, const QString &kind)
{
    int count = 0;
    for (const auto &entry : logind::listInhibitors(system).value_or(QList<logind::Inhibitor>{}))
        count += entry.covers(kind) && entry.who == LinuxLockNames::who && entry.mode == QLatin1String("block");
    return count;
}

} // namespace

class TestLinuxDesktop : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PrivateBus> m_system;
    std::unique_ptr<PrivateBus> m_session;
    std::unique_ptr<Mock> m_logind;
    std::unique_ptr<Mock> m_gnome;
    std::unique_ptr<Mock> m_screenSaver;

    linuxbus::Buses buses() const { return {m_system->connection, m_session->connection}; }

    void startGnomeAndScreenSaver()
    {
        m_gnome = plainMock(*m_session, gnomesession::service, QStringLiteral("/org/gnome/SessionManager"),
                            gnomesession::service, {{"Inhibit", "susu", "u", "ret = 42"}, {"Uninhibit", "u", "", ""}});
        m_screenSaver =
            plainMock(*m_session, screensaver::service, QStringLiteral("/org/freedesktop/ScreenSaver"),
                      screensaver::service, {{"Inhibit", "ss", "u", "ret = 7"}, {"UnInhibit", "u", "", ""}});
    }

    std::unique_ptr<ChildProcess> startSession(bool display, int *status)
    {
        QStringList arguments{QStringLiteral("-w"), QStringLiteral("1"), QStringLiteral("-i")};
        if (display)
            arguments << QStringLiteral("-d");
        arguments << QStringLiteral("-t") << QStringLiteral("7200");
        auto session = sleepInhibitorFactory(buses())(QString(), arguments);
        session->setFinishedHandler([status](int s) { *status = s; });
        return session;
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/python3"))
            || QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("python3-dbusmock and dbus-daemon are installed by scripts/deps");
        m_system = std::make_unique<PrivateBus>(m_dir.path(), QStringLiteral("system"));
        m_session = std::make_unique<PrivateBus>(m_dir.path(), QStringLiteral("session"));
        QVERIFY(m_system->connection.isConnected());
        QVERIFY(m_session->connection.isConnected());
    }

    void init()
    {
        m_logind = std::make_unique<Mock>(
            *m_system, true, QStringList{QStringLiteral("--template"), QStringLiteral("logind")}, logind::service);
        QVERIFY(m_logind->isUp());
        startGnomeAndScreenSaver();
        QVERIFY(m_gnome->isUp());
    }

    void cleanup()
    {
        m_screenSaver.reset();
        m_gnome.reset();
        m_logind.reset();
    }

    void sessionTakesAndDropsTheLocks_data()
    {
        QTest::addColumn<bool>("display");
        QTest::addColumn<uint>("gnomeFlags");
        QTest::addColumn<int>("screenSaverCalls");
        QTest::newRow("sleep only") << false << 4u << 0;
        QTest::newRow("display on") << true << 12u << 1;
    }
    void sessionTakesAndDropsTheLocks()
    {
        QFETCH(bool, display);
        QFETCH(uint, gnomeFlags);
        QFETCH(int, screenSaverCalls);
        int status = -100;
        auto session = startSession(display, &status);
        QVERIFY(session->start());
        QVERIFY(session->isRunning());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 1);
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("sleep")), 1);
        const auto inhibits = m_gnome->calls(QStringLiteral("/org/gnome/SessionManager"), QStringLiteral("Inhibit"));
        QCOMPARE(inhibits.size(), 1);
        QCOMPARE(inhibits[0].value(0).toString(), LinuxLockNames::appId);
        QCOMPARE(inhibits[0].value(3).toUInt(), gnomeFlags);
        QCOMPARE(m_screenSaver->calls(QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("Inhibit")).size(),
                 screenSaverCalls);

        session->terminate();
        QVERIFY(!session->isRunning());
        QCOMPARE(status, -100); // reported later, never from inside the call
        QTRY_COMPARE(status, 15);
        QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 0);
        const auto released = m_gnome->calls(QStringLiteral("/org/gnome/SessionManager"), QStringLiteral("Uninhibit"));
        QCOMPARE(released.size(), 1);
        QCOMPARE(released[0].value(0).toUInt(), 42u);
        QCOMPARE(
            m_screenSaver->calls(QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("UnInhibit")).size(),
            screenSaverCalls);
    }

    void relaunchLeavesOneLock()
    {
        int first = -100, second = -100;
        auto a = startSession(false, &first);
        QVERIFY(a->start());
        a->terminate();
        auto b = startSession(true, &second);
        QVERIFY(b->start());
        QTRY_COMPARE(first, 15);
        QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 1);
        b.reset(); // a handle that goes releases what it holds and reports nothing
        QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 0);
        QCOMPARE(second, -100);
    }

    // A service that holds one of our locks and leaves the bus ends the session as a failed
    // tool would (status 1), and the locks that remain are released with it.
    void serviceLeavingFailsTheSession_data()
    {
        QTest::addColumn<QString>("leaving");
        QTest::newRow("gnome-session") << "gnome";
        QTest::newRow("logind") << "logind";
    }
    void serviceLeavingFailsTheSession()
    {
        QFETCH(QString, leaving);
        int status = -100;
        auto session = startSession(false, &status);
        QVERIFY(session->start());
        (leaving == QLatin1String("gnome") ? m_gnome : m_logind)->stop();
        QTRY_COMPARE(status, 1);
        QVERIFY(!session->isRunning());
        if (leaving == QLatin1String("gnome"))
            QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 0);
    }

    void startFailsWithoutLogind()
    {
        m_logind->stop();
        int status = -100;
        auto session = startSession(true, &status);
        QVERIFY(!session->start());
        QVERIFY(!session->isRunning());
        QCOMPARE(m_gnome->calls(QStringLiteral("/org/gnome/SessionManager"), QStringLiteral("Inhibit")).size(), 0);
    }

    void closedLidLockIsProvenThroughLogind()
    {
        int fallbackCalls = 0;
        const CommandRunner runner = lidSwitchCommandRunner(buses(), [&](const ClamshellCapabilityProbe::Command &) {
            ++fallbackCalls;
            return CommandResult{QStringLiteral("x"), 0};
        });
        auto readBack = [&] {
            return ClamshellCapabilityProbe::parseSleepDisabled(
                runner(ClamshellCapabilityProbe::readSettingsCommand()).stdout);
        };
        QCOMPARE(readBack(), 0);
        QCOMPARE(runner(ClamshellCapabilityProbe::applyOverrideCommand()).exitCode, 0);
        QCOMPARE(readBack(), 1);
        QCOMPARE(runner(ClamshellCapabilityProbe::applyOverrideCommand()).exitCode, 0);
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 1);
        QCOMPARE(runner(ClamshellCapabilityProbe::restoreDefaultCommand()).exitCode, 0);
        QCOMPARE(readBack(), 0);
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
        QCOMPARE(
            runner({QStringLiteral("/usr/bin/pgrep"), {QStringLiteral("-l"), QStringLiteral("caffeinate")}}).stdout,
            QStringLiteral("x"));
        QCOMPARE(fallbackCalls, 1);

        // A list that cannot be read proves nothing either way.
        m_logind->stop();
        QCOMPARE(readBack(), std::nullopt);
        QCOMPARE(runner(ClamshellCapabilityProbe::applyOverrideCommand()).exitCode, 1);
    }

    void closedLidRefusedWherePowerDevilHoldsTheLid()
    {
        auto powerDevil =
            plainMock(*m_session, powerdevil::service, QStringLiteral("/org/kde/Solid/PowerManagement/PolicyAgent"),
                      QStringLiteral("org.kde.Solid.PowerManagement.PolicyAgent"),
                      {{"AddInhibition", "uss", "u", "ret = 5"}, {"ReleaseInhibition", "u", "", ""}});
        const linuxbus::Buses b = buses();
        const CommandRunner runner = lidSwitchCommandRunner(b, {}, [b] {
            return linuxbus::hasOwner(b.session, powerdevil::service) ? QStringLiteral("powerDevilHandlesLid")
                                                                      : QString();
        });
        QCOMPARE(runner(ClamshellCapabilityProbe::applyOverrideCommand()).exitCode, 1);
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
        QVERIFY(LinuxBackends::probe(b).powerDevil);

        // PowerDevil mirrors logind's locks, but its own idle handling also gets one.
        int status = -100;
        auto session = startSession(true, &status);
        QVERIFY(session->start());
        const auto added = powerDevil->calls(QStringLiteral("/org/kde/Solid/PowerManagement/PolicyAgent"),
                                             QStringLiteral("AddInhibition"));
        QCOMPARE(added.size(), 1);
        QCOMPARE(added[0].value(0).toUInt(), 5u);
        session.reset();

        // The real executable says so instead of pretending, also when asked from the terminal.
        Mock upower(*m_system, true, {QStringLiteral("--template"), QStringLiteral("upower")}, upower::service);
        test::RealApp app;
        launchOnTheBuses(app);
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: Not available on KDE Plasma")), app.transcript());
        app.send(QStringLiteral("lid on"));
        QVERIFY2(app.waitFor([&] {
            return app.log().contains(QStringLiteral("lid lock refused, reason=powerDevilHandlesLid"));
        }),
                 app.transcript());
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: Not available on KDE Plasma")), app.transcript());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
        QVERIFY2(app.log().contains(QStringLiteral("powerDevil=yes")), app.transcript());
        app.send(QStringLiteral("quit"));
        QVERIFY(app.waitForExit());
    }

    void backendsLine()
    {
        QCOMPARE(LinuxBackends::probe(buses()).logLine(),
                 QStringLiteral("linux backends, logind=yes, gnomeSession=yes, powerDevil=no, screenSaver=yes, "
                                "upower=no, powerProfiles=no"));
    }

    void upowerSnapshotsAndChanges()
    {
        Mock upower(*m_system, true, {QStringLiteral("--template"), QStringLiteral("upower")}, upower::service);
        QVERIFY(upower.isUp());
        const QString display = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
        // No battery: the adapter.
        PowerContext context = readUPowerContext(buses(), QDateTime::currentDateTimeUtc());
        QCOMPARE(context.powerSource, PowerSource::powerAdapter);
        QCOMPARE(context.batteryLevel, std::nullopt);

        int notices = 0;
        auto subscription = upowerChanges(buses())([&] { ++notices; });
        QVERIFY(subscription);
        auto setDevice = [&](double percentage, uint state) {
            upower.call(
                QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("SetupDisplayDevice"),
                {2u, state, percentage, 10.0, 40.0, 5.0, qint64(3600), qint64(0), true, QStringLiteral("battery"), 1u});
        };
        linuxbus::call(m_system->connection, upower::service, QStringLiteral("/org/freedesktop/UPower"),
                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                       {upower::service, QStringLiteral("OnBattery"), QVariant::fromValue(QDBusVariant(true))});
        setDevice(23.4, 2);
        // A burst of one signal per property reaches the monitor as one notice.
        QTRY_VERIFY(notices >= 1);
        QTest::qWait(50);
        QVERIFY2(notices <= 3, qPrintable(QString::number(notices)));
        context = readUPowerContext(buses(), QDateTime::currentDateTimeUtc());
        QCOMPARE(context.powerSource, PowerSource::battery);
        QCOMPARE(context.batteryLevel, 23);
        subscription.reset();
        const int before = notices;
        setDevice(50, 2);
        QTest::qWait(50);
        QCOMPARE(notices, before);
    }

    // The real executable on the Linux platform takes its locks from logind, and a SIGKILL
    // leaves nothing behind.
    void realExecutableLeavesNoLockWhenKilled()
    {
        // Closed-lid mode needs the adapter: UPower without a battery says so.
        Mock upower(*m_system, true, {QStringLiteral("--template"), QStringLiteral("upower")}, upower::service);
        test::RealApp app;
        launchOnTheBuses(app);
        app.send(QStringLiteral("start"));
        QTRY_COMPARE_WITH_TIMEOUT(ourLocks(m_system->connection, QStringLiteral("idle")), 1, 10000);
        QVERIFY2(app.log().contains(QStringLiteral("linux backends, logind=yes, gnomeSession=yes")), app.transcript());
        app.send(QStringLiteral("lid on"));
        QVERIFY2(app.waitFor([&] { return ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")) == 1; }),
                 app.transcript());
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: On")), app.transcript());
        ::kill(pid_t(app.pid()), SIGKILL);
        QVERIFY(app.waitForExit());
        QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 0);
        QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
    }

    // A lid lock logind no longer lists (it restarted while the machine slept) holds nothing
    // back: the wake finds it missing and the app takes it again; going to sleep is no notice.
    void realExecutableTakesTheLidLockAgainAfterWake()
    {
        Mock upower(*m_system, true, {QStringLiteral("--template"), QStringLiteral("upower")}, upower::service);
        test::RealApp app;
        launchOnTheBuses(app);
        app.send(QStringLiteral("lid on"));
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: On")), app.transcript());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 1);
        m_logind.reset();
        m_logind = std::make_unique<Mock>(
            *m_system, true, QStringList{QStringLiteral("--template"), QStringLiteral("logind")}, logind::service);
        QVERIFY(m_logind->isUp());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
        const auto prepareForSleep = [&](bool sleeping) {
            return m_logind->call(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("EmitSignal"),
                                  {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                                   QStringLiteral("b"), QVariant(QVariantList{sleeping})});
        };
        QVERIFY(linuxbus::succeeded(prepareForSleep(true)));
        QVERIFY(linuxbus::succeeded(prepareForSleep(false)));
        QVERIFY2(app.waitFor([&] {
            return app.log().contains(
                QStringLiteral("[INFO] [clamshell] clamshell override re-applied, sleepDisabled=1, trigger=wake"));
        }),
                 app.transcript());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 1);
        QCOMPARE(app.log().count(QStringLiteral("clamshell override reset by the system")), 1);
        app.send(QStringLiteral("quit"));
        QVERIFY(app.waitForExit());
        QTRY_COMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
    }

    // gnome-session leaving mid-session is a tool that died: the failure the menu shows for
    // one, and logind's lock goes with it.
    void realExecutableFailsWhenTheSessionManagerLeaves()
    {
        test::RealApp app;
        launchOnTheBuses(app);
        app.send(QStringLiteral("start"));
        QTRY_COMPARE_WITH_TIMEOUT(ourLocks(m_system->connection, QStringLiteral("idle")), 1, 10000);
        m_gnome->stop();
        QVERIFY2(app.waitForState(QStringLiteral("error: processExitedUnexpectedly")), app.transcript());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("idle")), 0);
        app.send(QStringLiteral("quit"));
        QVERIFY(app.waitForExit());
    }

    // UPower's battery draining through the warning band and the threshold, as notices only:
    // the app never polls, so each step must arrive through PropertiesChanged.
    void realExecutableStopsClosedLidOnADrainingBattery()
    {
        Mock upower(*m_system, true, {QStringLiteral("--template"), QStringLiteral("upower")}, upower::service);
        auto battery = [&](double percentage) {
            upower.call(
                QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("SetupDisplayDevice"),
                {2u, 2u, percentage, 10.0, 40.0, 5.0, qint64(3600), qint64(0), true, QStringLiteral("battery"), 1u});
        };
        linuxbus::call(m_system->connection, upower::service, QStringLiteral("/org/freedesktop/UPower"),
                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                       {upower::service, QStringLiteral("OnBattery"), QVariant::fromValue(QDBusVariant(true))});
        battery(64);
        test::RealApp app;
        launchOnTheBuses(app);
        app.send(QStringLiteral("lid on"));
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: On battery · 64% · turns off at 20%")), app.transcript());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 1);
        battery(22);
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: Battery low · 22% · turns off at 20%")),
                 app.transcript());
        battery(15);
        QVERIFY2(app.waitForState(QStringLiteral("closed lid: Turned off – battery low")), app.transcript());
        QCOMPARE(ourLocks(m_system->connection, QStringLiteral("handle-lid-switch")), 0);
        QVERIFY2(app.log().contains(QStringLiteral("safety stop triggered, battery=15")), app.transcript());
        app.send(QStringLiteral("quit"));
        QVERIFY(app.waitForExit());
    }

    // Which platform the executable runs, and why not the real one: said once, on standard
    // error and in the log.
    void platformChoice_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("systemBus");
        QTest::addColumn<QString>("reason");
        QTest::newRow("asked for the sim") << "sim"
                                           << "ours"
                                           << "QUORVEL_PLATFORM=sim";
        QTest::newRow("no system bus") << ""
                                       << "unix:path=/nonexistent/bus"
                                       << "no system bus";
        QTest::newRow("no logind") << ""
                                   << "ours, without logind"
                                   << "no logind on the system bus";
        QTest::newRow("logind") << ""
                                << "ours"
                                << "";
    }
    void platformChoice()
    {
        QFETCH(QString, platform);
        QFETCH(QString, systemBus);
        QFETCH(QString, reason);
        if (systemBus.endsWith(QLatin1String("without logind")))
            m_logind->stop();
        test::RealApp app;
        launchOnTheBuses(app, false);
        app.setEnvironment(QStringLiteral("QUORVEL_PLATFORM"), platform);
        if (!systemBus.startsWith(QLatin1String("ours")))
            app.setEnvironment(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus);
        app.start();
        QVERIFY2(app.waitForState(QStringLiteral("idle:")), app.transcript());
        app.send(QStringLiteral("quit"));
        QVERIFY(app.waitForExit());
        const QString line = QStringLiteral("running the simulated platform, reason=") + reason;
        if (reason.isEmpty()) {
            QVERIFY2(!app.errors().contains(QStringLiteral("simulated")), app.transcript());
            QVERIFY2(app.log().contains(QStringLiteral("linux backends, logind=yes")), app.transcript());
        } else {
            QCOMPARE(app.errors().count(line), 1);
            QCOMPARE(app.log().count(line), 1);
        }
    }

private:
    // Before start(), or started here: the app on this test's buses, on the real platform.
    void launchOnTheBuses(test::RealApp &app, bool start = true)
    {
        app.setEnvironment(QStringLiteral("QUORVEL_PLATFORM"), QString());
        app.setEnvironment(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_system->address);
        app.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_session->address);
        if (start)
            app.start();
    }
};

QTEST_GUILESS_MAIN(TestLinuxDesktop)
#include "tst_linuxdesktop.moc"
