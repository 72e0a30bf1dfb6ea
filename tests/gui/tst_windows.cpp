// The settings and about windows over a whole application graph on the simulated platform:
// real widgets (offscreen), the stand-in administrator dialog, real preference writes into an
// in-memory domain, the interface language switched while a window is open.

#include "WindowsFixture.h"
#include "composition/SimApp.h"
#include "update/HttpTestServer.h"

#include "closedlid/SudoersAuthorization.h"
#include "prefs/LanguageController.h"
#include "prefs/Localization.h"
#include "ui/AboutView.h"
#include "ui/ExternalLinkButton.h"
#include "ui/SecondaryWindows.h"
#include "ui/SettingsAuthorization.h"
#include "ui/SettingsRows.h"
#include "ui/SettingsUpdateRow.h"
#include "ui/SettingsView.h"
#include "update/NetworkUpdateFeedTransport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace quorvel;
using namespace quorvel::test;
using Tone = SettingsStyle::Tone;

Q_DECLARE_METATYPE(quorvel::AuthorizationState)
Q_DECLARE_METATYPE(quorvel::BundleInfo)

namespace {

// The graph, the language controller and the windows, as the application delegate holds them,
// with preferences stored before anything reads them.
struct Rig {
    SimApp sim;
    bool seeded;
    LanguageController language;
    SecondaryWindows windows;

    explicit Rig(const QVariantMap &stored = {})
        : seeded(seed(sim, stored))
        , language(sim.defaults)
        , windows(*sim.app, language, sim.defaults)
    {
    }
    static bool seed(SimApp &sim, const QVariantMap &stored)
    {
        for (auto it = stored.begin(); it != stored.end(); ++it)
            sim.defaults->setValue(it.key(), it.value());
        return true;
    }
    QWidget *settings()
    {
        windows.showSettings();
        QWidget *window = windows.settingsWindow();
        if (!QTest::qWaitForWindowExposed(window))
            qWarning("settings window not exposed");
        return window;
    }
    VemoState state() const { return sim.state(); }
};

QByteArray reply(int status, const QByteArray &body = {}, const QByteArray &headers = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers
           + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void thresholdRow_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("press"); // -1 minus, +1 plus, 0 none
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("minusEnabled");
        QTest::addColumn<bool>("plusEnabled");
        QTest::addColumn<QVariant>("storedAfter");
        QTest::newRow("nothing stored") << QVariant() << 0 << 20 << true << true << QVariant();
        QTest::newRow("lowest") << QVariant(5) << 0 << 5 << false << true << QVariant(5);
        QTest::newRow("highest") << QVariant(60) << 0 << 60 << true << false << QVariant(60);
        QTest::newRow("10, minus") << QVariant(10) << -1 << 5 << false << true << QVariant(5);
        QTest::newRow("55, plus") << QVariant(55) << 1 << 60 << true << false << QVariant(60);
        QTest::newRow("unset, plus") << QVariant() << 1 << 25 << true << true << QVariant(25);
        QTest::newRow("above range reads 60") << QVariant(99) << 0 << 60 << true << false << QVariant(99);
        QTest::newRow("text of an INI file") << QVariant("35") << -1 << 30 << true << true << QVariant(30);
        QTest::newRow("not a number reads 20") << QVariant("lots") << 0 << 20 << true << true << QVariant("lots");
    }
    void thresholdRow()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, press);
        QFETCH(int, shown);
        QFETCH(bool, minusEnabled);
        QFETCH(bool, plusEnabled);
        QFETCH(QVariant, storedAfter);
        const QString key = QStringLiteral("QuorvelClamshellAutoExitThreshold");
        Rig rig(stored.isValid() ? QVariantMap{{key, stored}} : QVariantMap{});
        QWidget *window = rig.settings();
        auto *minus = named<QToolButton>(window, "thresholdMinus");
        auto *plus = named<QToolButton>(window, "thresholdPlus");
        if (press)
            QTest::mouseClick(press < 0 ? minus : plus, Qt::LeftButton);

        QCOMPARE(named<QLabel>(window, "thresholdValue")->text(), QStringLiteral("%1%").arg(shown));
        QCOMPARE(minus->isEnabled(), minusEnabled);
        QCOMPARE(plus->isEnabled(), plusEnabled);
        QCOMPARE(rig.sim.defaults->value(key), storedAfter);
        if (press) // stored as a number, as the safety stop reads it
            QCOMPARE(rig.sim.defaults->value(key).typeId(), QMetaType::Int);
        // The hint names the auto-exit level and the top of the warning band.
        QCOMPARE(named<QLabel>(window, "thresholdHint")->text(),
                 Localization::format(qtTrId("lowBatteryThresholdHint"),
                                      {QString::number(shown), QString::number(shown + 5)}));
    }

    void authorizationStates_data()
    {
        QTest::addColumn<AuthorizationState>("authorization");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("tone");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("help");
        QTest::addColumn<bool>("revoke");
        QTest::addColumn<bool>("authorize");
        auto add = [](const char *name, AuthorizationState state, const char *symbol, Tone tone, const char *status,
                      const char *help, bool revoke, bool authorize) {
            QTest::newRow(name) << state << QString(symbol) << int(tone) << QString(status) << QString(help) << revoke
                                << authorize;
        };
        add("unknown", Authorization::Unknown{}, "shield.fill", Tone::secondary, "notDetected", "authorizeOnFirstUse",
            false, true);
        add("required", Authorization::Required{}, "shield.fill", Tone::secondary, "authorizationRequired",
            "authorizeOnFirstUse", false, true);
        add("granting", Authorization::Granting{}, "lock.rotation", Tone::blue, "authorizing", "pleaseWait", false,
            false);
        add("granted", Authorization::Granted{}, "checkmark.shield.fill", Tone::green, "authorized",
            "authorizedClosedLidAvailable", true, false);
        add("denied", Authorization::Denied{}, "exclamationmark.triangle.fill", Tone::red, "denied", "reauthorize",
            false, true);
        add("revoked", Authorization::Revoked{}, "xmark.shield.fill", Tone::orange, "revoked", "reauthorize", false,
            true);
        add("failed", Authorization::Failed{VemoError::authorizationInstallFailed}, "exclamationmark.triangle.fill",
            Tone::red, "authorizationFailed", "reauthorize", false, true);
    }
    void authorizationStates()
    {
        QFETCH(AuthorizationState, authorization);
        QFETCH(QString, symbol);
        QFETCH(int, tone);
        QFETCH(QString, status);
        QFETCH(QString, help);
        QFETCH(bool, revoke);
        QFETCH(bool, authorize);
        Rig rig;
        QWidget *window = rig.settings();
        rig.sim.app->store().setAuthorization(authorization);

        auto *icon = named<SettingsRowIcon>(window, "authorizationIcon");
        QCOMPARE(icon->symbol(), symbol);
        QCOMPARE(int(icon->tone()), tone);
        auto *label = named<QLabel>(window, "authorizationStatus");
        QCOMPARE(label->text(), qtTrId(qPrintable(status)));
        QCOMPARE(label->toolTip(), qtTrId(qPrintable(help)));
        QVERIFY(named(window, "authorizationInfoButton")->isVisibleTo(window));
        QCOMPARE(named(window, "revokeAuthorizationButton")->isVisibleTo(window), revoke);
        QCOMPARE(named(window, "authorizeNowButton")->isVisibleTo(window), authorize);
    }

    // Authorize installs the rule through the stand-in administrator dialog; revoke removes it
    // and cannot be pressed twice while it runs.
    void authorizeThenRevoke()
    {
        Rig rig;
        QWidget *window = rig.settings();
        QVERIFY(is<Authorization::Required>(rig.state().authorization)); // read back when shown
        const QString rule = rig.sim.sim.mapPath(SudoersAuthorization::ruleFilePath);
        QVERIFY(!QFile::exists(rule));

        QTest::mouseClick(named<QPushButton>(window, "authorizeNowButton"), Qt::LeftButton);
        QVERIFY(is<Authorization::Granted>(rig.state().authorization));
        QVERIFY(QFile::exists(rule));
        QCOMPARE(named<QLabel>(window, "authorizationStatus")->text(), qtTrId("authorized"));
        QVERIFY(!named(window, "authorizeNowButton")->isVisibleTo(window));

        auto *revoke = named<QPushButton>(window, "revokeAuthorizationButton");
        auto *view = named<SettingsView>(window, "settingsView");
        QVERIFY(revoke->isVisibleTo(window));
        QTest::mouseClick(revoke, Qt::LeftButton);
        QVERIFY(view->isRevoking());
        QVERIFY(!revoke->isEnabled());
        QCOMPARE(revoke->text(), qtTrId("revoking"));
        QTest::mouseClick(revoke, Qt::LeftButton); // disabled: nothing happens
        QTRY_VERIFY(!view->isRevoking());
        QVERIFY(is<Authorization::Revoked>(rig.state().authorization));
        QVERIFY(!QFile::exists(rule));
        QVERIFY(!revoke->isVisibleTo(window));
        QVERIFY(named(window, "authorizeNowButton")->isVisibleTo(window));
    }

    void explanationToggles()
    {
        Rig rig;
        QWidget *window = rig.settings();
        auto *info = named<QToolButton>(window, "authorizationInfoButton");
        auto *view = named<SettingsView>(window, "settingsView");
        QTest::mouseClick(info, Qt::LeftButton);
        QVERIFY(view->showingAuthorizationExplanation());
        const auto notes = view->authorizationRows()->explanationPopover()->findChildren<QLabel *>();
        QStringList texts;
        for (QLabel *note : notes)
            texts << note->text();
        QVERIFY(texts.contains(qtTrId("aboutClosedLidAuthorization")));
        for (const char *key : {"closedLidOneTimeAuth", "revokeReauthNotice", "authDialogFollowsSystem"})
            QVERIFY2(texts.contains(qtTrId(key)), key);
        QTest::mouseClick(info, Qt::LeftButton);
        QVERIFY(!view->showingAuthorizationExplanation());
    }

    void leftoverLine_data()
    {
        QTest::addColumn<bool>("residual");
        QTest::addColumn<AuthorizationState>("authorization");
        QTest::addColumn<bool>("shown");
        QTest::newRow("leftover, no rule") << true << AuthorizationState(Authorization::Required{}) << true;
        QTest::newRow("leftover, denied") << true << AuthorizationState(Authorization::Denied{}) << true;
        QTest::newRow("leftover, authorized") << true << AuthorizationState(Authorization::Granted{}) << false;
        QTest::newRow("no leftover") << false << AuthorizationState(Authorization::Required{}) << false;
    }
    void leftoverLine()
    {
        QFETCH(bool, residual);
        QFETCH(AuthorizationState, authorization);
        QFETCH(bool, shown);
        Rig rig;
        QWidget *window = rig.settings();
        rig.sim.app->store().setAuthorization(authorization);
        rig.sim.app->store().setStartupResidual(residual, std::nullopt);
        auto *line = named<QLabel>(window, "residualNeedsAuth");
        QCOMPARE(line->isVisibleTo(window), shown);
        QCOMPARE(line->text(), qtTrId("closedLidPreventionNeedsAuth"));
    }

    void launchAtLogin_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("after");
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("approval");
        QTest::addColumn<QString>("error");
        const int off = int(LoginItemStatus::notRegistered), on = int(LoginItemStatus::enabled);
        QTest::newRow("on") << off << true << on << true << false << "";
        QTest::newRow("on, needs approval")
            << off << true << int(LoginItemStatus::requiresApproval) << false << true << "";
        QTest::newRow("on fails") << off << false << off << false << false << "launchAtLoginOnFailed";
        QTest::newRow("off fails") << on << false << on << true << false << "launchAtLoginOffFailed";
        QTest::newRow("off") << on << true << off << false << false << "";
    }
    void launchAtLogin()
    {
        QFETCH(int, before);
        QFETCH(bool, succeeds);
        QFETCH(int, after);
        QFETCH(bool, on);
        QFETCH(bool, approval);
        QFETCH(QString, error);
        Rig rig;
        auto status = LoginItemStatus(before);
        auto change = [&] {
            if (succeeds)
                status = LoginItemStatus(after);
            return succeeds;
        };
        rig.sim.app->launchAtLogin() = LaunchAtLoginController([&] { return status; }, change, change);
        QWidget *window = rig.settings();
        auto *toggle = named<SettingsSwitch>(window, "launchAtLoginSwitch");
        QCOMPARE(toggle->isChecked(), before == int(LoginItemStatus::enabled));

        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(toggle->isChecked(), on);
        QVERIFY(toggle->isEnabled());
        auto *approve = named<ExternalLinkButton>(window, "openSystemSettingsButton");
        QCOMPARE(approve->isVisibleTo(window), approval);
        auto *errorText = named<QLabel>(window, "launchAtLoginError");
        QCOMPARE(errorText->isVisibleTo(window), !error.isEmpty());
        if (!error.isEmpty())
            QCOMPARE(errorText->text(), qtTrId(qPrintable(error)));
        if (approval) {
            UrlCatcher opened;
            QTest::mouseClick(approve, Qt::LeftButton);
            QCOMPARE(opened.opened, QList<QUrl>{loginItemsSettingsUrl()});
        }
    }

    void storedSwitches()
    {
        Rig rig({{QStringLiteral("QuorvelMenuBarCountdownText"), QStringLiteral("true")}});
        QWidget *window = rig.settings();
        auto *updates = named<SettingsSwitch>(window, "autoCheckUpdatesSwitch");
        auto *countdown = named<SettingsSwitch>(window, "menuBarCountdownSwitch");
        QVERIFY(updates->isChecked()); // absent reads as on
        QVERIFY(countdown->isChecked());
        QTest::mouseClick(updates, Qt::LeftButton);
        QTest::mouseClick(countdown, Qt::LeftButton);
        QCOMPARE(rig.sim.defaults->value("QuorvelUpdateAutoCheckEnabled"), QVariant(false));
        QCOMPARE(rig.sim.defaults->value("QuorvelMenuBarCountdownText"), QVariant(false));
    }

    void linksOpenTheirPages()
    {
        UrlCatcher opened;
        Rig rig;
        QWidget *settings = rig.settings();
        QTest::mouseClick(named(settings, "learnMoreLink"), Qt::LeftButton);
        std::unique_ptr<QWidget> about(SecondaryWindows::buildAboutWindow());
        for (const char *name : {"helpLink", "homepageLink", "privacyLink"})
            QTest::mouseClick(named(about.get(), name), Qt::LeftButton);
        QCOMPARE(opened.opened,
                 (QList<QUrl>{QUrl("https://quorvel.app/quorvel/help/#closed-lid-mode"),
                              QUrl("https://quorvel.app/quorvel/help/"), QUrl("https://quorvel.app/quorvel/"),
                              QUrl("https://quorvel.app/quorvel/privacy/")}));
    }

    void updateRow_data()
    {
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<bool>("offered");
        QTest::newRow("newer release") << reply(200, R"({"latest":{"version":"9.1","build":3,"downloadURL":"Q.dmg"}})")
                                       << true;
        QTest::newRow("no manifest") << reply(404) << false;
    }
    void updateRow()
    {
        QFETCH(QByteArray, manifest);
        QFETCH(bool, offered);
        HttpTestServer server;
        server.route("GET /quorvel/version.json", {manifest});
        server.route("HEAD /quorvel/Q.dmg", {"HTTP/1.1 200 OK\r\nContent-Length: 2048\r\n\r\n"});
        UpdateChecker checker(std::make_shared<NetworkUpdateFeedTransport>(), server.url("/quorvel/"), Clock::system(),
                              std::make_shared<MemoryUserDefaults>(), BundleInfo{"1.0", "1"},
                              std::make_shared<FakeScheduler>());
        SettingsUpdateRow row(&checker);
        row.show();
        auto *status = named<QLabel>(&row, "updateStatus");
        auto *button = named<QPushButton>(&row, "updateButton");
        QVERIFY(status->text().isEmpty());
        QCOMPARE(button->text(), qtTrId("checkForUpdates"));

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(status->text(), qtTrId("updateChecking"));
        QTRY_VERIFY(!is<UpdateCheck::Checking>(checker.state()));
        QCOMPARE(status->text(), offered ? Localization::format(qtTrId("updateAvailableFormat"), {"9.1"})
                                         : qtTrId("updateCheckFailed"));
        QCOMPARE(button->text(), qtTrId(offered ? "updateDownload" : "checkForUpdates"));
        if (offered) {
            UrlCatcher opened({QStringLiteral("http")});
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(opened.opened, QList<QUrl>{server.url("/quorvel/Q.dmg")});
        }
    }

    // Started in Chinese; English chosen in the open window changes its texts there and then,
    // without a new window, and is stored; and back.
    void languageSwitchesAtOnce()
    {
        Rig rig({{QStringLiteral("QuorvelLanguagePreference"), QStringLiteral("zh-Hans")}});
        QWidget *window = rig.settings();
        auto *picker = named<QComboBox>(window, "languagePicker");
        auto *status = named<QLabel>(window, "authorizationStatus");
        auto *hint = named<QLabel>(window, "thresholdHint");
        const QPoint at = window->pos();
        QCOMPARE(window->windowTitle(), QStringLiteral("设置"));
        QCOMPARE(picker->currentIndex(), 1);
        QCOMPARE(status->text(), QStringLiteral("尚未授权"));

        picker->setFocus();
        QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(rig.sim.defaults->value("QuorvelLanguagePreference"), QVariant("en"));
        QCOMPARE(rig.sim.defaults->value("AppleLanguages"), QVariant(QStringList{"en"}));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(status->text(), QStringLiteral("Authorization required"));
        QCOMPARE(hint->text(), QStringLiteral("Closed-lid mode turns off at 20% and warns you from 25%."));
        QCOMPARE(picker->itemText(0), QStringLiteral("Follow System"));
        QCOMPARE(picker->currentIndex(), 2);
        QCOMPARE(rig.windows.settingsWindow(), window);
        QCOMPARE(window->pos(), at);

        QTest::keyClick(picker, Qt::Key_Up);
        QCOMPARE(rig.sim.defaults->value("QuorvelLanguagePreference"), QVariant("zh-Hans"));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("设置"));
        QCOMPARE(picker->itemText(0), QStringLiteral("跟随系统"));
        QCOMPARE(hint->text(), qtTrId("lowBatteryThresholdHint").replace("%1", "20").replace("%2", "25"));
    }

    void oneWindowEach()
    {
        Rig rig;
        QWidget *first = rig.settings();
        rig.windows.showSettings();
        QCOMPARE(rig.windows.settingsWindow(), first);

        first->close(); // deleted once the loop turns
        QTRY_VERIFY(!rig.windows.settingsWindow());
        QWidget *second = rig.settings();
        QVERIFY(second);
        QVERIFY(second->isVisible());

        second->hide(); // still there, but hidden: not brought back
        QPointer<QWidget> hidden(second);
        rig.windows.showSettings();
        QVERIFY(rig.windows.settingsWindow() != second);
        QTRY_VERIFY(!hidden);

        rig.windows.showAbout();
        QWidget *about = rig.windows.aboutWindow();
        rig.windows.showAbout();
        QCOMPARE(rig.windows.aboutWindow(), about);
        QCOMPARE(about->windowTitle(), qtTrId("aboutApp"));
        QCOMPARE(rig.windows.settingsWindow()->windowTitle(), qtTrId("settings"));
    }

    void fixedSize_data()
    {
        QTest::addColumn<QSize>("hint");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QSize>("fixed");
        QTest::newRow("settings, small content") << QSize(300, 150) << QSize(360, 180) << QSize(360, 180);
        QTest::newRow("settings, large content") << QSize(520, 700) << QSize(360, 180) << QSize(520, 700);
        QTest::newRow("about, narrow content") << QSize(200, 260) << QSize(340, 200) << QSize(340, 260);
    }
    void fixedSize()
    {
        QFETCH(QSize, hint);
        QFETCH(QSize, minimum);
        QFETCH(QSize, fixed);
        struct Content final : QWidget {
            QSize hint;
            QSize sizeHint() const override { return hint; }
        } content;
        content.hint = hint;
        SecondaryWindows::fitToContent(&content, minimum);
        QCOMPARE(content.minimumSize(), fixed);
        QCOMPARE(content.maximumSize(), fixed);
    }

    void realWindowsAreFixed()
    {
        Rig rig;
        rig.windows.showAbout();
        for (QWidget *window : {rig.settings(), rig.windows.aboutWindow()}) {
            QCOMPARE(window->minimumSize(), window->maximumSize());
            QCOMPARE(window->size(), window->minimumSize());
        }
        QVERIFY(rig.windows.aboutWindow()->width() >= 340 && rig.windows.aboutWindow()->height() >= 200);
        QVERIFY(rig.windows.settingsWindow()->width() >= 360 && rig.windows.settingsWindow()->height() >= 180);
    }

    void aboutVersionLine_data()
    {
        QTest::addColumn<BundleInfo>("bundle");
        QTest::addColumn<QString>("line");
        QTest::newRow("no version keys") << BundleInfo{} << "v1.0.0 (1)";
        QTest::newRow("2.1.0 build 57") << BundleInfo{"2.1.0", "57"} << "v2.1.0 (57)";
    }
    void aboutVersionLine()
    {
        QFETCH(BundleInfo, bundle);
        QFETCH(QString, line);
        std::unique_ptr<QWidget> about(SecondaryWindows::buildAboutWindow(bundle));
        QCOMPARE(named<QLabel>(about.get(), "aboutVersion")->text(), line);
    }

    // Pictures to look at, only when QUORVEL_WINDOW_SHOTS names a folder: both windows in both
    // languages and palettes, the settings window in every authorization state.
    void renderShots()
    {
        const QString folder = qEnvironmentVariable("QUORVEL_WINDOW_SHOTS");
        if (folder.isEmpty())
            QSKIP("QUORVEL_WINDOW_SHOTS is not set");
        QDir().mkpath(folder);
        const QPalette light = QApplication::style()->standardPalette();
        const std::pair<const char *, AuthorizationState> states[] = {
            {"unknown", Authorization::Unknown{}},
            {"required", Authorization::Required{}},
            {"granting", Authorization::Granting{}},
            {"granted", Authorization::Granted{}},
            {"denied", Authorization::Denied{}},
            {"revoked", Authorization::Revoked{}},
            {"failed", Authorization::Failed{VemoError::authorizationInstallFailed}}};
        for (const auto &[language, preference] :
             {std::pair{"en", LanguagePreference::en}, std::pair{"zh", LanguagePreference::zhHans}}) {
            for (const bool dark : {false, true}) {
                QApplication::setPalette(dark ? darkPalette() : light);
                const QString suffix = QStringLiteral("-%1-%2.png").arg(language, dark ? "dark" : "light");
                Rig rig;
                rig.language.setPreference(preference);
                QWidget *window = rig.settings();
                for (const auto &[name, state] : states) {
                    rig.sim.app->store().setAuthorization(state);
                    QTest::qWait(20);
                    QVERIFY(window->grab().save(folder + "/settings-" + name + suffix));
                }
                // The notes that come and go: a leftover without a rule, a refused login item.
                rig.sim.app->store().setAuthorization(Authorization::Required{});
                rig.sim.app->store().setStartupResidual(true, std::nullopt);
                rig.sim.app->launchAtLogin() = LaunchAtLoginController([] { return LoginItemStatus::requiresApproval; },
                                                                       [] { return false; }, [] { return false; });
                QTest::mouseClick(named(window, "launchAtLoginSwitch"), Qt::LeftButton);
                QTest::qWait(20);
                QVERIFY(window->grab().save(folder + "/settings-notes" + suffix));
                QTest::mouseClick(named(window, "authorizationInfoButton"), Qt::LeftButton);
                auto *view = named<SettingsView>(window, "settingsView");
                QTest::qWait(20);
                QVERIFY(view->authorizationRows()->explanationPopover()->grab().save(folder + "/explanation" + suffix));
                rig.windows.showAbout();
                QTest::qWait(20);
                QVERIFY(rig.windows.aboutWindow()->grab().save(folder + "/about" + suffix));
            }
        }
        QApplication::setPalette(light);
    }

    // Last: runs the application's event loop. Closing every window leaves it running.
    void closingTheLastWindowKeepsTheAppRunning()
    {
        QApplication::setQuitOnLastWindowClosed(false); // as the application sets it
        Rig rig;
        rig.windows.showSettings();
        rig.windows.showAbout();
        QTimer::singleShot(0, [&] {
            rig.windows.settingsWindow()->close();
            rig.windows.aboutWindow()->close();
        });
        QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
        QCOMPARE(QApplication::exec(), 7);
        QVERIFY(!rig.windows.settingsWindow());
        QVERIFY(!rig.windows.aboutWindow());
        QCOMPARE(rig.sim.terminations, 0);
    }
};

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
