// The settings and about windows over a whole application graph on the simulated platform:
// real widgets (offscreen), the stand-in administrator dialog, real preference writes into an
// in-memory domain, the interface language switched while a window is open.

#include "WindowsFixture.h"
#include "composition/SimApp.h"
#include "update/HttpTestServer.h"

#include "closedlid/SudoersAuthorization.h"
#include "prefs/LanguageController.h"
#include "prefs/Localization.h"
#include "ui/SecondaryWindows.h"
#include "ui/SettingsAuthorization.h"
#include "ui/SettingsRows.h"
#include "ui/SettingsUpdateRow.h"
#include "ui/SettingsView.h"
#include "update/NetworkUpdateFeedTransport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

using namespace quorvel;
using namespace quorvel::test;
using Tone = SettingsStyle::Tone;

namespace {

// A row of the tables below.
struct ThresholdCase {
    QVariant stored;
    int press, shown; // press: -1 minus, +1 plus, 0 none
    bool minusEnabled, plusEnabled;
    QVariant storedAfter;
};
struct AuthorizationCase {
    const char *name;
    AuthorizationState state;
    const char *symbol;
    Tone tone;
    const char *status, *help;
};

// The graph, the language controller and the windows, as the application delegate holds them,
// with preferences stored before anything reads them.
struct Rig {
    SimApp sim;
    bool seeded;
    LanguageController language;
    SecondaryWindows windows;

    explicit Rig(const QVariantMap &stored = {}, PlatformNotes notes = {})
        : sim(R"({"source":"ac","lowPower":false})", notes)
        , seeded([&] {
            for (auto it = stored.begin(); it != stored.end(); ++it)
                sim.defaults->setValue(it.key(), it.value());
            return true;
        }())
        , language(sim.defaults)
        , windows(*sim.app, language, sim.defaults)
    {
    }
    QWidget *settings()
    {
        windows.showSettings();
        (void)QTest::qWaitForWindowExposed(windows.settingsWindow()); // at once offscreen
        return windows.settingsWindow();
    }
};

bool shown(QWidget *window, const char *name)
{
    return named(window, name)->isVisibleTo(window);
}

} // namespace

Q_DECLARE_METATYPE(ThresholdCase)
Q_DECLARE_METATYPE(AuthorizationCase)

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void thresholdRow_data()
    {
        QTest::addColumn<ThresholdCase>("row");
        QTest::newRow("nothing stored") << ThresholdCase{{}, 0, 20, true, true, {}};
        QTest::newRow("lowest") << ThresholdCase{5, 0, 5, false, true, 5};
        QTest::newRow("highest") << ThresholdCase{60, 0, 60, true, false, 60};
        QTest::newRow("10, minus") << ThresholdCase{10, -1, 5, false, true, 5};
        QTest::newRow("unset, plus") << ThresholdCase{{}, 1, 25, true, true, 25};
        QTest::newRow("text of an INI file") << ThresholdCase{"35", -1, 30, true, true, 30};
    }
    void thresholdRow()
    {
        QFETCH(ThresholdCase, row);
        const QString key = QStringLiteral("QuorvelClamshellAutoExitThreshold");
        Rig rig(row.stored.isValid() ? QVariantMap{{key, row.stored}} : QVariantMap{});
        QWidget *window = rig.settings();
        QWidget *minus = named(window, "thresholdMinus");
        QWidget *plus = named(window, "thresholdPlus");
        if (row.press)
            QTest::mouseClick(row.press < 0 ? minus : plus, Qt::LeftButton);

        QCOMPARE(named<QLabel>(window, "thresholdValue")->text(), QStringLiteral("%1%").arg(row.shown));
        QCOMPARE(minus->isEnabled(), row.minusEnabled);
        QCOMPARE(plus->isEnabled(), row.plusEnabled);
        QCOMPARE(rig.sim.defaults->value(key), row.storedAfter);
        if (row.press) // stored as a number, as the safety stop reads it
            QCOMPARE(rig.sim.defaults->value(key).typeId(), QMetaType::Int);
        // The hint names the auto-exit level and the top of the warning band.
        QCOMPARE(named<QLabel>(window, "thresholdHint")->text(),
                 Localization::format(qtTrId("lowBatteryThresholdHint"),
                                      {QString::number(row.shown), QString::number(row.shown + 5)}));
    }

    void authorizationStates_data()
    {
        QTest::addColumn<AuthorizationCase>("row");
        namespace A = Authorization;
        const AuthorizationCase rows[] = {
            {"unknown", A::Unknown{}, "shield.fill", Tone::secondary, "notDetected", "authorizeOnFirstUse"},
            {"required", A::Required{}, "shield.fill", Tone::secondary, "authorizationRequired", "authorizeOnFirstUse"},
            {"granting", A::Granting{}, "lock.rotation", Tone::blue, "authorizing", "pleaseWait"},
            {"granted", A::Granted{}, "checkmark.shield.fill", Tone::green, "authorized",
             "authorizedClosedLidAvailable"},
            {"denied", A::Denied{}, "exclamationmark.triangle.fill", Tone::red, "denied", "reauthorize"},
            {"revoked", A::Revoked{}, "xmark.shield.fill", Tone::orange, "revoked", "reauthorize"},
            {"failed", A::Failed{VemoError::authorizationInstallFailed}, "exclamationmark.triangle.fill", Tone::red,
             "authorizationFailed", "reauthorize"},
        };
        for (const AuthorizationCase &row : rows)
            QTest::newRow(row.name) << row;
    }
    // Each state's icon, status, tool tip and buttons; and the leftover line, which shows only
    // while a leftover waits and the rule is not in place.
    void authorizationStates()
    {
        QFETCH(AuthorizationCase, row);
        Rig rig;
        QWidget *window = rig.settings();
        rig.sim.app->store().setAuthorization(row.state);

        auto *icon = named<SettingsRowIcon>(window, "authorizationIcon");
        QCOMPARE(icon->symbol(), QString::fromLatin1(row.symbol));
        QCOMPARE(icon->tone(), row.tone);
        auto *label = named<QLabel>(window, "authorizationStatus");
        QCOMPARE(label->text(), qtTrId(row.status));
        QCOMPARE(label->toolTip(), qtTrId(row.help));
        // Revoke only once granted; authorize unless granted or on the way there.
        const bool granted = is<Authorization::Granted>(row.state);
        QVERIFY(shown(window, "authorizationInfoButton"));
        QCOMPARE(shown(window, "revokeAuthorizationButton"), granted);
        QCOMPARE(shown(window, "authorizeNowButton"), !granted && !is<Authorization::Granting>(row.state));

        QVERIFY(!shown(window, "residualNeedsAuth"));
        rig.sim.app->store().setStartupResidual(true, std::nullopt);
        QCOMPARE(shown(window, "residualNeedsAuth"), !granted);
        QCOMPARE(named<QLabel>(window, "residualNeedsAuth")->text(), qtTrId("closedLidPreventionNeedsAuth"));
    }

    // The information button toggles the explanation; authorize installs the rule through the
    // stand-in administrator dialog; revoke removes it and cannot be pressed twice while it runs.
    void authorizationButtons()
    {
        Rig rig;
        QWidget *window = rig.settings();
        auto *view = named<SettingsView>(window, "settingsView");
        QTest::mouseClick(named(window, "authorizationInfoButton"), Qt::LeftButton);
        QVERIFY(view->showingAuthorizationExplanation());
        const auto notes = view->authorizationRows()->explanationPopover()->findChildren<QLabel *>();
        for (const char *key :
             {"aboutClosedLidAuthorization", "closedLidOneTimeAuth", "revokeReauthNotice", "authDialogFollowsSystem"})
            QVERIFY2(std::ranges::any_of(notes, [&](const QLabel *note) { return note->text() == qtTrId(key); }), key);
        QTest::mouseClick(named(window, "authorizationInfoButton"), Qt::LeftButton);
        QVERIFY(!view->showingAuthorizationExplanation());

        QVERIFY(is<Authorization::Required>(rig.sim.state().authorization)); // read back when shown
        const QString rule = rig.sim.sim.mapPath(SudoersAuthorization::ruleFilePath);
        QTest::mouseClick(named(window, "authorizeNowButton"), Qt::LeftButton);
        QVERIFY(is<Authorization::Granted>(rig.sim.state().authorization));
        QVERIFY(QFile::exists(rule));
        QCOMPARE(named<QLabel>(window, "authorizationStatus")->text(), qtTrId("authorized"));

        auto *revoke = named<QPushButton>(window, "revokeAuthorizationButton");
        QTest::mouseClick(revoke, Qt::LeftButton);
        QVERIFY(view->isRevoking());
        QVERIFY(!revoke->isEnabled());
        QCOMPARE(revoke->text(), qtTrId("revoking"));
        QTest::mouseClick(revoke, Qt::LeftButton); // disabled: nothing happens
        QTRY_VERIFY(!view->isRevoking());
        QVERIFY(is<Authorization::Revoked>(rig.sim.state().authorization));
        QVERIFY(!QFile::exists(rule));
    }

    // Where the locks are the user's own there is nothing to grant or revoke, and whatever
    // state the authorization reads, the section only says so (and, where the desktop keeps
    // the lid, what to set there).
    void authorizationNotNeeded_data()
    {
        QTest::addColumn<bool>("kde");
        QTest::newRow("GNOME") << false;
        QTest::newRow("KDE") << true;
    }
    void authorizationNotNeeded()
    {
        QFETCH(bool, kde);
        PlatformNotes notes;
        notes.needsAuthorization = false;
        if (kde)
            notes.closedLidUnavailable = LocalizationKey{"closedLidUnavailableKde"};
        Rig rig({}, notes);
        QWidget *window = rig.settings();
        rig.sim.app->store().setAuthorization(Authorization::Required{});
        QCOMPARE(named<QLabel>(window, "authorizationStatus")->text(), qtTrId("noAuthorizationNeeded"));
        for (const char *button : {"authorizeNowButton", "revokeAuthorizationButton", "authorizationInfoButton"})
            QVERIFY2(!shown(window, button), button);
        QCOMPARE(shown(window, "residualNeedsAuth"), kde);
        if (kde)
            QCOMPARE(named<QLabel>(window, "residualNeedsAuth")->text(), qtTrId("closedLidUnavailableKdeHint"));
        rig.language.setPreference(LanguagePreference::zhHans);
        QTRY_COMPARE(named<QLabel>(window, "authorizationStatus")->text(),
                     QStringLiteral("无需管理员权限。模式停止或 Quorvel 退出时，锁定即会解除。"));
    }

    // The switch, the approval button and the error text follow the login item as it answers:
    // a refused change, a change that works, one that waits for the user's approval.
    void launchAtLogin()
    {
        Rig rig;
        auto status = LoginItemStatus::enabled, next = LoginItemStatus::enabled;
        bool succeeds = false;
        auto change = [&] {
            if (succeeds)
                status = next;
            return succeeds;
        };
        rig.sim.app->launchAtLogin() = LaunchAtLoginController([&] { return status; }, change, change);
        QWidget *window = rig.settings();
        auto *toggle = named<SettingsSwitch>(window, "launchAtLoginSwitch");
        auto *error = named<QLabel>(window, "launchAtLoginError");
        QVERIFY(toggle->isChecked());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(toggle->isChecked());
        QVERIFY(error->isVisibleTo(window));
        QCOMPARE(error->text(), qtTrId("launchAtLoginOffFailed"));

        succeeds = true;
        next = LoginItemStatus::notRegistered;
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!toggle->isChecked());
        QVERIFY(!error->isVisibleTo(window));

        next = LoginItemStatus::requiresApproval;
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!toggle->isChecked());
        QVERIFY(shown(window, "openSystemSettingsButton"));
        UrlCatcher opened;
        QTest::mouseClick(named(window, "openSystemSettingsButton"), Qt::LeftButton);
        QCOMPARE(opened.opened, QList<QUrl>{loginItemsSettingsUrl()});

        next = LoginItemStatus::enabled;
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(toggle->isChecked() && toggle->isEnabled());
        QVERIFY(!shown(window, "openSystemSettingsButton"));
    }

    // The switches write their preferences; the links open their pages; the about window's
    // version line falls back to 1.0.0 (1) without version keys.
    void switchesLinksAndVersion()
    {
        UrlCatcher opened;
        Rig rig({{QStringLiteral("QuorvelMenuBarCountdownText"), QStringLiteral("true")}});
        QWidget *settings = rig.settings();
        // Each starts on (the update checks as nothing is stored), so a click stores false.
        QTest::mouseClick(named(settings, "autoCheckUpdatesSwitch"), Qt::LeftButton);
        QTest::mouseClick(named(settings, "menuBarCountdownSwitch"), Qt::LeftButton);
        QTest::mouseClick(named(settings, "notifyWhenSessionEndsSwitch"), Qt::LeftButton);
        QCOMPARE(rig.sim.defaults->value("QuorvelUpdateAutoCheckEnabled"), QVariant(false));
        QCOMPARE(rig.sim.defaults->value("QuorvelMenuBarCountdownText"), QVariant(false));
        QCOMPARE(rig.sim.defaults->value("QuorvelNotifyWhenSessionEnds"), QVariant(false));

        QTest::mouseClick(named(settings, "learnMoreLink"), Qt::LeftButton);
        std::unique_ptr<QWidget> about(SecondaryWindows::buildAboutWindow(BundleInfo{}));
        QCOMPARE(named<QLabel>(about.get(), "aboutVersion")->text(), QStringLiteral("v1.0.0 (1)"));
        for (const char *name : {"helpLink", "homepageLink", "privacyLink"})
            QTest::mouseClick(named(about.get(), name), Qt::LeftButton);
        QCOMPARE(opened.opened,
                 (QList<QUrl>{QUrl("https://quorvel.app/quorvel/help/#closed-lid-mode"),
                              QUrl("https://quorvel.app/quorvel/help/"), QUrl("https://quorvel.app/quorvel/"),
                              QUrl("https://quorvel.app/quorvel/privacy/")}));
        about.reset(SecondaryWindows::buildAboutWindow(BundleInfo{"2.1.0", "57"}));
        QCOMPARE(named<QLabel>(about.get(), "aboutVersion")->text(), QStringLiteral("v2.1.0 (57)"));
    }

    // A failed check offers to check again; a newer release offers its download.
    void updateRow()
    {
        const QByteArray manifest = R"({"latest":{"version":"9.1","build":3,"downloadURL":"Q.dmg"}})";
        HttpTestServer server;
        server.route("GET /quorvel/version.json", {"HTTP/1.1 404 X\r\nContent-Length: 0\r\n\r\n",
                                                   "HTTP/1.1 200 OK\r\nContent-Length: "
                                                       + QByteArray::number(manifest.size()) + "\r\n\r\n" + manifest});
        server.route("HEAD /quorvel/Q.dmg", {"HTTP/1.1 200 OK\r\nContent-Length: 2048\r\n\r\n"});
        UpdateChecker checker(std::make_shared<NetworkUpdateFeedTransport>(), server.url("/quorvel/"), Clock::system(),
                              std::make_shared<MemoryUserDefaults>(), BundleInfo{"1.0", "1"},
                              std::make_shared<FakeScheduler>());
        SettingsUpdateRow row(&checker);
        row.show();
        auto *status = named<QLabel>(&row, "updateStatus");
        auto *button = named<QPushButton>(&row, "updateButton");
        for (const bool offered : {false, true}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(status->text(), qtTrId("updateChecking"));
            QTRY_VERIFY(!is<UpdateCheck::Checking>(checker.state()));
            QCOMPARE(status->text(), offered ? Localization::format(qtTrId("updateAvailableFormat"), {"9.1"})
                                             : qtTrId("updateCheckFailed"));
            QCOMPARE(button->text(), qtTrId(offered ? "updateDownload" : "checkForUpdates"));
        }
        UrlCatcher opened;
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(opened.opened, QList<QUrl>{server.url("/quorvel/Q.dmg")});
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
        QCOMPARE(window->windowTitle(), QStringLiteral("设置"));

        QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(rig.sim.defaults->value("QuorvelLanguagePreference"), QVariant("en"));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(status->text(), QStringLiteral("Authorization required"));
        QCOMPARE(hint->text(), QStringLiteral("Closed-lid mode turns off at 20% and warns you from 25%."));
        QCOMPARE(picker->itemText(0), QStringLiteral("Follow System"));
        QCOMPARE(picker->currentIndex(), 2);
        QCOMPARE(rig.windows.settingsWindow(), window);

        QTest::keyClick(picker, Qt::Key_Up);
        QCOMPARE(rig.sim.defaults->value("QuorvelLanguagePreference"), QVariant("zh-Hans"));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("设置"));
        QCOMPARE(hint->text(), qtTrId("lowBatteryThresholdHint").replace("%1", "20").replace("%2", "25"));
    }

    // One window of each kind, kept when closed: reopening shows the same one, fitted again and
    // fixed at its content's size, never below its minimum. It opens without a focus ring on
    // its first control; the keyboard brings one.
    void oneWindowEach()
    {
        Rig rig;
        QWidget *first = rig.settings();
        rig.windows.showSettings();
        QCOMPARE(rig.windows.settingsWindow(), first);
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(QApplication::focusWidget(), first);

        first->close();
        QCoreApplication::processEvents();
        QCOMPARE(rig.windows.settingsWindow(), first);
        QVERIFY(!first->isVisible());
        QCOMPARE(rig.settings(), first);
        QVERIFY(first->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(QApplication::focusWidget(), first);
        QTest::keyClick(first, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() && QApplication::focusWidget() != first);
        QVERIFY(first->testAttribute(Qt::WA_KeyboardFocusChange));

        rig.windows.showAbout();
        QWidget *about = rig.windows.aboutWindow();
        about->close();
        rig.windows.showAbout();
        QCOMPARE(rig.windows.aboutWindow(), about);
        for (QWidget *window : {rig.windows.settingsWindow(), about}) {
            QCOMPARE(window->minimumSize(), window->maximumSize());
            QCOMPARE(window->size(), window->minimumSize());
        }
        QVERIFY(about->width() >= 340 && about->height() >= 200);

        // A note that appears grows the window as much as it needs; one that goes does not
        // shrink it while it is open.
        const QSize before = first->size();
        rig.sim.app->store().setStartupResidual(true, std::nullopt);
        QTRY_VERIFY(first->height() >= first->sizeHint().height());
        const QSize grown = first->size();
        QVERIFY(grown.height() >= before.height());
        rig.sim.app->store().setStartupResidual(false, std::nullopt);
        QCoreApplication::processEvents();
        QCOMPARE(first->size(), grown);
    }

    // A window takes its content's size, raised to its minimum, and keeps it.
    void fixedSize()
    {
        struct Content final : QWidget {
            QSize hint;
            QSize sizeHint() const override { return hint; }
        };
        // The content's size hint, the minimum (settings, settings, about), the size that results.
        const QSize cases[][3] = {{{300, 150}, {360, 180}, {360, 180}},
                                  {{520, 700}, {360, 180}, {520, 700}},
                                  {{200, 260}, {340, 200}, {340, 260}}};
        for (const auto &[hint, minimum, fixed] : cases) {
            Content content;
            content.hint = hint;
            SecondaryWindows::fitToContent(&content, minimum);
            QCOMPARE(content.minimumSize(), fixed);
            QCOMPARE(content.maximumSize(), fixed);
        }
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
        QVERIFY(!rig.windows.settingsWindow()->isVisible() && !rig.windows.aboutWindow()->isVisible());
        QCOMPARE(rig.sim.terminations, 0);
    }
};

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
