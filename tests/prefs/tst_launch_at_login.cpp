#include "prefs/LaunchAtLoginController.h"
#include "prefs/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

Q_DECLARE_METATYPE(quorvel::LoginItemStatus)

namespace {

// A platform whose answers the test sets; counts the calls it gets.
struct FakePlatform {
    LoginItemStatus status = LoginItemStatus::notRegistered;
    bool changeSucceeds = true;
    LoginItemStatus statusAfterChange = LoginItemStatus::notRegistered;
    int registers = 0;
    int unregisters = 0;
    std::function<void()> duringChange;

    std::shared_ptr<LaunchAtLoginController> controller()
    {
        auto change = [this](int &counter) {
            ++counter;
            if (duringChange)
                duringChange();
            status = statusAfterChange;
            return changeSucceeds;
        };
        return std::make_shared<LaunchAtLoginController>([this] { return status; },
                                                         [this, change] { return change(registers); },
                                                         [this, change] { return change(unregisters); });
    }
};

void makeExecutable(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class LaunchAtLoginTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void init()
    {
        // Each test gets an empty configuration folder of its own.
        const QString config = m_home.path() + QStringLiteral("/") + QTest::currentTestFunction()
                               + QString::fromUtf8(QTest::currentDataTag());
        qputenv("XDG_CONFIG_HOME", QDir::cleanPath(config).toUtf8());
    }

    void change_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<LoginItemStatus>("statusAfter");
        QTest::addColumn<bool>("switchOn");
        QTest::addColumn<bool>("approval");
        QTest::addColumn<QByteArray>("errorText"); // empty: none
        using S = LoginItemStatus;
        QTest::newRow("register") << true << true << S::enabled << true << false << QByteArray();
        QTest::newRow("register, approval pending")
            << true << true << S::requiresApproval << false << true << QByteArray();
        QTest::newRow("register, app not found") << true << true << S::notFound << false << false << QByteArray();
        QTest::newRow("register fails") << true << false << S::notRegistered << false << false
                                        << QByteArray("launchAtLoginOnFailed");
        QTest::newRow("unregister") << false << true << S::notRegistered << false << false << QByteArray();
        QTest::newRow("unregister fails")
            << false << false << S::enabled << true << false << QByteArray("launchAtLoginOffFailed");
    }
    void change()
    {
        QFETCH(bool, enabled);
        QFETCH(bool, succeeds);
        QFETCH(LoginItemStatus, statusAfter);
        QFETCH(bool, switchOn);
        QFETCH(bool, approval);
        QFETCH(QByteArray, errorText);
        FakePlatform platform;
        platform.status = enabled ? LoginItemStatus::notRegistered : LoginItemStatus::enabled;
        platform.changeSucceeds = succeeds;
        platform.statusAfterChange = statusAfter;
        LaunchAtLoginSettings settings(platform.controller());
        settings.refreshLaunchAtLogin();
        QCOMPARE(settings.launchAtLogin(), !enabled);

        settings.setLaunchAtLogin(enabled);
        QCOMPARE(platform.registers, enabled ? 1 : 0);
        QCOMPARE(platform.unregisters, enabled ? 0 : 1);
        QCOMPARE(settings.launchAtLogin(), switchOn);
        QCOMPARE(settings.requiresApproval(), approval);
        QCOMPARE(settings.isBusy(), false);
        QCOMPARE(settings.launchToggleError(), errorText.isEmpty() ? std::nullopt : std::optional<bool>(enabled));
        QCOMPARE(QByteArray(settings.errorTextKey().value_or(LocalizationKey{}).id), errorText);
    }

    void aSecondFlipDuringAChangeIsIgnored()
    {
        FakePlatform platform;
        platform.statusAfterChange = LoginItemStatus::enabled;
        LaunchAtLoginSettings settings(platform.controller());
        bool busyDuringChange = false;
        platform.duringChange = [&] {
            busyDuringChange = settings.isBusy();
            settings.setLaunchAtLogin(false);
        };
        settings.setLaunchAtLogin(true);
        QVERIFY(busyDuringChange);
        QCOMPARE(platform.registers, 1);
        QCOMPARE(platform.unregisters, 0);
        QVERIFY(settings.launchAtLogin());
        QVERIFY(!settings.isBusy());
    }

    void theNextAttemptClearsTheError()
    {
        FakePlatform platform;
        platform.changeSucceeds = false;
        LaunchAtLoginSettings settings(platform.controller());
        settings.setLaunchAtLogin(true);
        QCOMPARE(settings.launchToggleError(), std::optional<bool>(true));

        platform.changeSucceeds = true;
        platform.statusAfterChange = LoginItemStatus::enabled;
        QSignalSpy changed(&settings, &LaunchAtLoginSettings::changed);
        settings.setLaunchAtLogin(true);
        QCOMPARE(settings.launchToggleError(), std::nullopt);
        QVERIFY(settings.launchAtLogin());
        QVERIFY(changed.count() >= 1);
    }

    void execLineRoundTrips_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("quoted");
        QTest::newRow("plain") << QStringLiteral("/usr/bin/quorvel") << false;
        QTest::newRow("blank") << QStringLiteral("/opt/My Apps/quorvel") << true;
        QTest::newRow("percent") << QStringLiteral("/opt/100%/quorvel") << false;
        QTest::newRow("percent and blank") << QStringLiteral("/opt/100% sure/quorvel") << true;
        QTest::newRow("shell characters") << QStringLiteral("/home/a/$HOME `x` \"q\" \\back/quorvel") << true;
    }
    void execLineRoundTrips()
    {
        QFETCH(QString, path);
        QFETCH(bool, quoted);
        const QString exec = XdgAutostart::execValue(path);
        QCOMPARE(exec.startsWith(QLatin1Char('"')), quoted);
        QCOMPARE(XdgAutostart::execArguments(exec), QStringList{path});
    }

    void autostartEntryIsWrittenReadBackAndRemoved()
    {
        // A path that needs every layer of quoting the entry format has.
        const QString folder = m_home.path() + QStringLiteral("/Apps $1 \"x\" 50%");
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + QStringLiteral("/quorvel");
        makeExecutable(program);
        const QString entry =
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/app.quorvel.Quorvel.desktop");
        QCOMPARE(XdgAutostart::entryPath(), entry);
        QCOMPARE(XdgAutostart::status(), LoginItemStatus::notRegistered);

        LaunchAtLoginSettings settings(
            std::make_shared<LaunchAtLoginController>(XdgAutostart::makeController([&] { return program; })));
        settings.setLaunchAtLogin(true);
        QVERIFY(settings.launchAtLogin());
        QVERIFY(!settings.launchToggleError());
        const QByteArray text = readAll(entry);
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nType=Application\n"));

        // The user switched it off in the session settings: the entry stays, the switch goes off.
        QFile file(entry);
        QVERIFY(file.open(QIODevice::Append));
        file.write("Hidden=true\n");
        file.close();
        settings.refreshLaunchAtLogin();
        QVERIFY(!settings.launchAtLogin());

        // Registering again rewrites the entry; then the program disappears.
        settings.setLaunchAtLogin(true);
        QVERIFY(settings.launchAtLogin());
        QVERIFY(QFile::remove(program));
        QCOMPARE(XdgAutostart::status(), LoginItemStatus::notFound);

        settings.setLaunchAtLogin(false);
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!settings.launchAtLogin());
        QVERIFY(!settings.launchToggleError());
        QVERIFY(XdgAutostart::unregisterEntry()); // nothing left to remove still succeeds
    }

    void entriesSwitchedOffOrBrokenReadAsNotRegistered_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<LoginItemStatus>("status");
        QTest::newRow("enabled") << QByteArray("[Desktop Entry]\nType=Application\nExec=/bin/sh\n")
                                 << LoginItemStatus::enabled;
        QTest::newRow("gnome switch off")
            << QByteArray("[Desktop Entry]\nExec=/bin/sh\nX-GNOME-Autostart-enabled=false\n")
            << LoginItemStatus::notRegistered;
        QTest::newRow("other group only") << QByteArray("[Other]\nExec=/bin/sh\n") << LoginItemStatus::notRegistered;
        QTest::newRow("keys of another group do not count")
            << QByteArray("[Desktop Entry]\nExec=/bin/sh\n[Desktop Action x]\nHidden=true\n")
            << LoginItemStatus::enabled;
        QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\n") << LoginItemStatus::notFound;
        QTest::newRow("broken quoting") << QByteArray("[Desktop Entry]\nExec=\"/bin/sh\n") << LoginItemStatus::notFound;
        QTest::newRow("missing program") << QByteArray("[Desktop Entry]\nExec=/nonexistent/quorvel --flag\n")
                                         << LoginItemStatus::notFound;
        QTest::newRow("not executable") << QByteArray("[Desktop Entry]\nExec=/etc/passwd\n")
                                        << LoginItemStatus::notFound;
    }
    void entriesSwitchedOffOrBrokenReadAsNotRegistered()
    {
        QFETCH(QByteArray, text);
        QFETCH(LoginItemStatus, status);
        QVERIFY(QDir().mkpath(XdgAutostart::directory()));
        QFile file(XdgAutostart::entryPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        QCOMPARE(XdgAutostart::status(), status);
    }

    void anUnwritableFolderShowsTheSwitchOnError()
    {
        // A file where the autostart folder should be: no folder can be made, even as root.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(QDir().mkpath(config));
        QFile blocker(config + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        LaunchAtLoginSettings settings(std::make_shared<LaunchAtLoginController>(
            XdgAutostart::makeController([] { return QStringLiteral("/bin/sh"); })));
        settings.setLaunchAtLogin(true);
        QVERIFY(!settings.launchAtLogin());
        QCOMPARE(settings.launchToggleError(), std::optional<bool>(true));
    }

    void withoutXdgConfigHomeTheHomeFolderIsUsed()
    {
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(XdgAutostart::directory(), QDir::homePath() + QStringLiteral("/.config/autostart"));
        qputenv("XDG_CONFIG_HOME", "relative/path");
        QCOMPARE(XdgAutostart::directory(), QDir::homePath() + QStringLiteral("/.config/autostart"));
    }
};

int main(int argc, char **argv)
{
    // Never the user's own autostart folder: HOME is a throw-away folder as well.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    LaunchAtLoginTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launch_at_login.moc"
