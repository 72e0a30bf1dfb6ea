// The control channel when the world leans on it: a client of the same user that opens and holds
// hundreds of connections while closed-lid mode runs under a small open-file limit, a folder of
// somebody else's planted where the socket belongs, and ctl telling the user which of "not
// running", "permission denied" and "busy" it met.

#include "Reliability.h"

#include <QElapsedTimer>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quorvel::test;

namespace {

// Connections opened and held by a client that never says a word; closed when it goes.
class Flood {
public:
    ~Flood()
    {
        for (int descriptor : m_held)
            ::close(descriptor);
    }
    // Tries until `count` are connected or the time is up; the number connected.
    int open(const QString &path, int count, RealApp &app, int timeoutMs = 10000)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        app.waitFor(
            [&] {
                const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
                if (descriptor < 0)
                    return true;
                // Non-blocking, so that a full backlog answers at once instead of holding us.
                ::fcntl(descriptor, F_SETFL, O_NONBLOCK);
                ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
                if (::connect(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                    m_held << descriptor;
                else
                    ::close(descriptor); // a full backlog: again in a moment
                return m_held.size() >= count;
            },
            timeoutMs);
        return int(m_held.size());
    }

private:
    QList<int> m_held;
};

// The sockets the app holds open: its listener and the connections it accepted.
int socketsOf(const RealApp &app)
{
    int sockets = 0;
    for (const QFileInfo &entry : QDir(QStringLiteral("/proc/%1/fd").arg(app.pid())).entryInfoList(QDir::System))
        sockets += entry.symLinkTarget().contains(QLatin1String("socket:")) ? 1 : 0;
    return sockets;
}

QString modeOf(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1 uid %2").arg(status.st_mode & 07777, 4, 8, QLatin1Char('0')).arg(status.st_uid);
}

constexpr uid_t nobody = 65534;

} // namespace

class FloodTest : public QObject {
    Q_OBJECT

private slots:
    // The fault run's case: 256 descriptors, as the Mac allows by default, closed-lid mode on,
    // 300 silent connections held. Before, the app aborted with sleep left disabled.
    void floodWithClosedLidAtLowLimit()
    {
        RealApp app;
        app.setDescriptorLimit(256);
        app.start();
        RVERIFY(app, app.waitForState(" | idle: "));
        RVERIFY(app, startClosedLid(app));

        Flood flood;
        QCOMPARE(flood.open(app.folder("runtime/control.sock"), 300, app), 300);
        // Never more than the cap at once (and a few of the app's own).
        RVERIFY(app, socketsOf(app) <= 40);
        // Changes go on while the flood is held, each with children and pipes of its own.
        app.send("lid off");
        RVERIFY(app, app.waitFor([&] { return app.sleepSetting() == "0"; }));
        RVERIFY(app, startSession(app, "start 60", true));
        app.send("lid on");
        RVERIFY(app, app.waitFor([&] { return app.sleepSetting() == "1" && app.livingCaffeinates().isEmpty(); }));
        // The silent ones are closed at their deadline; ctl is served again.
        RVERIFY(app, app.waitFor([&] { return socketsOf(app) <= 8; }, 5000));
        const RealApp::Ctl status = app.ctl({"status"});
        QVERIFY2(status.code == 0, qPrintable(status.err));
        QCOMPARE(app.process().state(), QProcess::Running);
        QCOMPARE(app.sleepSetting(), "1");

        app.closeInput();
        RVERIFY(app, app.waitForExit(5000));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.sleepSetting(), "0");
        QVERIFY(app.livingCaffeinates().isEmpty());
        RVERIFY(app, !app.errors().contains("GLib") && app.log().contains("cleanup completed"));
    }

    // Not one descriptor left (the flood took the last ones): every operation that needs one
    // fails as itself, with its own state and reason, and nothing aborts (an update check used
    // to start Qt's HTTP thread and die in its wake-up pipe). Once the flood is cut off at its
    // deadline and the limit is raised again, everything works.
    void noDescriptorLeft()
    {
        RealApp app;
        app.start();
        RVERIFY(app, app.waitForState(" | idle: "));
        const int limit = app.tightenDescriptorLimit(10);
        QVERIFY(limit > 0);
        Flood flood;
        flood.open(app.folder("runtime/control.sock"), 40, app, 2000);
        RVERIFY(app, app.waitFor([&] { return app.openDescriptors() >= limit; }, 1000));
        app.send("check");
        app.send("start 60");
        app.send("authorize");
        // The shell for `id -un` never started: the system failed, not the user's name.
        RVERIFY(app, app.waitForState("authorization: failed (systemCommandFailed)"));
        RVERIFY(app, app.launchOutput().contains("idle: Couldn")); // no child could be started
        QCOMPARE(app.process().state(), QProcess::Running);

        RVERIFY(app, app.waitFor([&] { return socketsOf(app) <= 8; }, 5000));
        QVERIFY(app.liftDescriptorLimit());
        app.send("check");
        RVERIFY(app, startSession(app, "start 60", false));
        RVERIFY(app, startClosedLid(app));
        app.closeInput();
        RVERIFY(app, app.waitForExit(5000));
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(app.sleepSetting(), "0");
        QVERIFY(app.livingCaffeinates().isEmpty());
        // The diagnostic log could not be opened meanwhile: said once, then written again.
        RVERIFY(app, app.errors().count("records off, file=diagnostic.log") == 1);
        RVERIFY(app, app.log().contains("update check failed") && app.log().contains("cleanup completed"));
    }

    // Somebody else was first where the socket goes: under the runtime folder, or in the
    // temporary folder when there is none. Whatever is there is left as it was, said with the
    // path and the reason, and ctl and a second launch still find the one instance.
    void plantedControlFolder_data()
    {
        QTest::addColumn<bool>("runtime"); // XDG_RUNTIME_DIR set, else the temporary fallback
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason"); // empty: accepted, after narrowing our own folder
        for (bool runtime : {true, false}) {
            const QString where = runtime ? " in the runtime folder" : " in the temporary folder";
            QTest::newRow(qPrintable("link to a folder" + where)) << runtime << "link"
                                                                  << "a symbolic link";
            QTest::newRow(qPrintable("another user's open folder" + where))
                << runtime << "foreign" << QString("owned by another user (uid %1)").arg(nobody);
            QTest::newRow(qPrintable("a file" + where)) << runtime << "file"
                                                        << "not a folder";
        }
        QTest::newRow("our own folder, open to all") << true << "open" << QString();
    }
    void plantedControlFolder()
    {
        QFETCH(bool, runtime);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        RealApp app;
        app.setEnvironment("QUORVEL_RUNTIME_DIR", {});
        QDir().mkdir(app.folder("xdg"));
        QFile::setPermissions(app.folder("xdg"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        app.setEnvironment("XDG_RUNTIME_DIR", runtime ? app.folder("xdg") : QString());
        const QString place = runtime ? app.folder("xdg/quorvel") : app.folder("tmp/quorvel-%1").arg(::getuid());
        const QString target = app.folder("elsewhere");
        const QByteArray native = QFile::encodeName(place);
        if (kind == "link") {
            QVERIFY(QDir().mkdir(target) && ::chmod(QFile::encodeName(target).constData(), 0755) == 0);
            QVERIFY(QFile::link(target, place));
        } else if (kind == "foreign" || kind == "open") {
            QVERIFY(::mkdir(native.constData(), 0777) == 0 && ::chmod(native.constData(), 0777) == 0);
            if (kind == "foreign" && ::chown(native.constData(), nobody, nobody) != 0)
                QSKIP("another user's folder needs root");
        } else {
            QVERIFY(writeFile(place, "a note of somebody's\n"));
        }
        const QString before = modeOf(kind == "link" ? target : place);

        app.start();
        RVERIFY(app, app.waitForState(" | idle: "));
        const QString fallback = app.folder("home/.local/share/app.quorvel.Quorvel/control");
        if (reason.isEmpty()) {
            RVERIFY(app, !app.errors().contains("control folder refused"));
            QCOMPARE(modeOf(place), QString("0700 uid %1").arg(::getuid()));
            QVERIFY(QFileInfo::exists(place + "/control.sock"));
        } else {
            const QString line = "control folder refused, path=" + place + ", reason=" + reason + ", using=" + fallback;
            RVERIFY(app, app.errors().contains(line) && app.log().contains(line));
            QCOMPARE(modeOf(kind == "link" ? target : place), before);
            QCOMPARE(modeOf(fallback), QString("0700 uid %1").arg(::getuid()));
            if (kind == "file")
                QCOMPARE(readFile(place), "a note of somebody's\n");
            else
                QVERIFY(QDir(kind == "link" ? target : place)
                            .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        }

        // ctl finds the instance wherever it listens, and so does a second launch.
        const RealApp::Ctl started = app.ctl({"indefinite"});
        QVERIFY2(started.code == 0, qPrintable(started.err));
        RVERIFY(app, app.waitFor([&] { return app.livingCaffeinates().size() == 1; }));
        QProcess second;
        second.setProcessEnvironment(app.process().processEnvironment());
        second.start(app.process().program(), {"--headless"});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(app.caffeinatePids().size(), 1);
        app.closeInput();
        RVERIFY(app, app.waitForExit(5000));
    }

    // ctl's exit codes tell the three apart, so a script can: 2 not running, 77 permission
    // denied, 75 busy (the app does not take connections in time).
    void ctlTellsWhy()
    {
        RealApp app;
        RealApp::Ctl run = app.ctl({"status"});
        QCOMPARE(run.code, 2); // nothing ever ran
        QVERIFY2(run.err.contains("Quorvel is not running."), qPrintable(run.err));

        app.start();
        RVERIFY(app, app.waitForState(" | idle: "));
        QVERIFY(QFileInfo::exists(app.folder("runtime/control.sock")));

        // Stopped with its backlog full: it cannot take a connection, but it does run.
        QCOMPARE(::kill(pid_t(app.pid()), SIGSTOP), 0);
        {
            Flood flood;
            flood.open(app.folder("runtime/control.sock"), 1000, app, 1500);
            QElapsedTimer clock;
            clock.start();
            run = app.ctl({"status"});
            QCOMPARE(run.code, 75);
            QVERIFY2(run.err.contains("busy"), qPrintable(run.err));
            QVERIFY(clock.elapsed() >= 2000); // it tried again for a while first
            QCOMPARE(::kill(pid_t(app.pid()), SIGCONT), 0);
        }
        run = app.ctl({"status"});
        QVERIFY2(run.code == 0, qPrintable(run.err));

        // Another user asking: their ctl is told the socket is not theirs.
        if (::geteuid() == 0) {
            run = app.ctl({"status"}, {"setpriv", QString("--reuid=%1").arg(nobody), QString("--regid=%1").arg(nobody),
                                       "--clear-groups"});
            QCOMPARE(run.code, 77);
            QVERIFY2(run.err.contains("Permission denied: the socket belongs to another user."), qPrintable(run.err));
        }

        // Killed: its socket stays behind, but nobody answers there.
        app.process().kill();
        QVERIFY(app.waitForExit(5000));
        QVERIFY(QFileInfo::exists(app.folder("runtime/control.sock")));
        run = app.ctl({"status"});
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains("Quorvel is not running."), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(FloodTest)
#include "tst_flood.moc"
