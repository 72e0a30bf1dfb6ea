// Desktop notices through the freedesktop notification service: python3-dbusmock's
// notification daemon on a private session bus, first behind the notifier alone, then reached
// by the real executable when its sessions end.

#include "DbusMock.h"
#include "platform/linux/DesktopNotifications.h"
#include "support/LogCapture.h"
#include "support/RealApp.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorvel;
using namespace quorvel::test;

namespace {

struct Notify {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    int expireTimeout = 0;
};

} // namespace

class TestNotifications : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PrivateBus> m_session;
    std::unique_ptr<Mock> m_daemon;

    void startDaemon()
    {
        m_daemon = std::make_unique<Mock>(
            *m_session, false, QStringList{QStringLiteral("--template"), QStringLiteral("notification_daemon")},
            notifications::service);
        QVERIFY(m_daemon->isUp());
    }
    QList<Notify> notifyCalls()
    {
        QList<Notify> out;
        for (const QVariantList &a : m_daemon->calls(notifications::path, QStringLiteral("Notify")))
            if (a.size() == 8)
                out.append(
                    {a[0].toString(), a[1].toUInt(), a[2].toString(), a[3].toString(), a[4].toString(), a[7].toInt()});
        return out;
    }
    static bool ended(RealApp &app, int times)
    {
        return app.waitFor([&] { return app.log().count("timed session ended naturally") == times; });
    }
    static void writeSettings(RealApp &app, const QByteArray &content)
    {
        QDir().mkpath(app.folder("home/.config/app.quorvel.Quorvel"));
        QFile file(app.folder("home/.config/app.quorvel.Quorvel/Quorvel.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\n" + content);
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/python3"))
            || QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("python3-dbusmock and dbus-daemon are installed by scripts/deps");
        m_session = std::make_unique<PrivateBus>(m_dir.path(), QStringLiteral("session"));
        QVERIFY(m_session->connection.isConnected());
    }

    void cleanup() { m_daemon.reset(); }

    // Our name and icon, the texts, a bounded time on screen; a newer notice replaces the one
    // shown instead of piling up under it, and one overtaken while waiting is never shown.
    void noticesReachTheServiceAndReplaceEachOther()
    {
        startDaemon();
        LogCapture log;
        const Notifier notify = freedesktopNotifier(m_session->connection);
        // Back to back: the second must still find the first's id.
        notify({QStringLiteral("First"), QStringLiteral("one")});
        notify({QStringLiteral("Dropped"), QStringLiteral("never shown")});
        notify({QStringLiteral("Second"), QStringLiteral("two")});
        QTRY_COMPARE(notifyCalls().size(), 2);
        const QList<Notify> calls = notifyCalls();
        QCOMPARE(calls[0].appName, "Quorvel");
        QCOMPARE(calls[0].icon, "app.quorvel.Quorvel");
        QCOMPARE(calls[0].summary, "First");
        QCOMPARE(calls[0].body, "one");
        QCOMPARE(calls[0].replacesId, 0u);
        QCOMPARE(calls[0].expireTimeout, notifications::expireTimeoutMs);
        QCOMPARE(calls[1].summary, "Second");
        QCOMPARE(calls[1].replacesId, 1u); // the id the daemon gave the first
        QCOMPARE(log.lines(), QStringList());
    }

    // No service on the bus, or no bus at all: the notices are dropped, the caller goes on, and
    // the log says so once, not once per notice.
    void withoutAServiceNothingFails()
    {
        {
            LogCapture log;
            const Notifier notify = freedesktopNotifier(m_session->connection);
            for (int i = 0; i < 3; ++i)
                notify({QStringLiteral("t"), QStringLiteral("b")});
            QTRY_VERIFY(!log.lines().isEmpty());
            QTest::qWait(50); // the other two answers
            QCOMPARE(log.lines(), QStringList{"[WARNING] [app] desktop notifications unavailable, "
                                              "reason=org.freedesktop.DBus.Error.ServiceUnknown"});
        }
        LogCapture log;
        const Notifier notify = freedesktopNotifier(QDBusConnection(QStringLiteral("never connected")));
        notify({QStringLiteral("t"), QStringLiteral("b")});
        notify({QStringLiteral("t"), QStringLiteral("b")});
        QCOMPARE(log.lines(), QStringList{"[WARNING] [app] desktop notifications unavailable, reason=noSessionBus"});
    }

    // The real app: a session whose time runs out is told of once, in the interface language; a
    // stop by hand is not, nor anything with the setting off.
    void theAppTellsOfTheEndsNobodyAskedFor()
    {
        startDaemon();
        RealApp app;
        app.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_session->address);
        app.start();
        app.send(QStringLiteral("start 1"));
        QVERIFY2(ended(app, 1), app.transcript());
        QTRY_COMPARE(notifyCalls().size(), 1);
        QCOMPARE(notifyCalls()[0].summary, "Keep-awake session ended");
        QCOMPARE(notifyCalls()[0].body, "Time is up; your computer may sleep again.");
        QVERIFY2(app.log().contains("[INFO] [app] session end notice, reason=timeUp, shown=yes"), app.transcript());

        app.send(QStringLiteral("start 600"));
        QVERIFY2(app.waitForState(QStringLiteral("0:10:00")), app.transcript());
        app.send(QStringLiteral("stop"));
        QVERIFY2(app.waitFor([&] { return app.log().contains("timed session stopped by user"); }), app.transcript());
        app.send(QStringLiteral("quit"));
        QVERIFY2(app.waitForExit(), app.transcript());

        writeSettings(app, "QuorvelLanguagePreference=zh-Hans\n");
        app.start();
        app.send(QStringLiteral("start 1"));
        QVERIFY2(ended(app, 2), app.transcript());
        QTRY_COMPARE(notifyCalls().size(), 2); // and none for the stop
        QCOMPARE(notifyCalls()[1].summary, "保持唤醒已结束");
        app.send(QStringLiteral("quit"));
        QVERIFY2(app.waitForExit(), app.transcript());

        writeSettings(app, "QuorvelNotifyWhenSessionEnds=false\n");
        app.start();
        app.send(QStringLiteral("start 1"));
        QVERIFY2(ended(app, 3), app.transcript());
        QTest::qWait(100); // a notice would have been sent before the line was written
        QCOMPARE(notifyCalls().size(), 2);
        app.send(QStringLiteral("quit"));
        QVERIFY2(app.waitForExit(), app.transcript());
    }
};

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications_linux.moc"
