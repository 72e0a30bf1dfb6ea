// The menu popover over a whole simulated application: what each state shows, what each
// click does outside the widgets (children of the stand-in caffeinate, the sandbox's rule
// file, the quit flow), and a language switch while it is open.
//
// Pictures: QUORVEL_POPOVER_SHOTS=<folder> build/tests/gui_tst_popover shots
// renders every state below in English and Chinese, light and dark, as <folder>/<state>-<lang>-<theme>.png.

#include "PopoverRig.h"

#include "closedlid/ClosedLidModule.h"
#include "prefs/Preferences.h"
#include "support/Printers.h"
#include "ui/MenuClamshellSection.h"
#include "ui/MenuIdleWakeRow.h"
#include "ui/MenuInfoPopovers.h"
#include "ui/MenuRootView.h"
#include "ui/MenuSettingToggleRow.h"
#include "ui/MenuSwitch.h"
#include "update/UpdateChecker.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <signal.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// One state of the table and what the popover must show for it.
struct Shown {
    const char *name;
    std::function<void(VemoState &)> apply;
    IdleWakeMode mode;
    bool pickerEnabled;
    QString panel;     // the remaining time, empty when the time panel is absent
    QString minusName; // the minus button's accessible name
    bool plusEnabled;
    int display; // -1 absent, else whether the keep-display-on switch is on
    QString closedLidSubtitle;
    QString trailing; // the trailing element's accessible name, empty for none
};

PowerContext battery(qint64 level)
{
    PowerContext p;
    p.powerSource = PowerSource::battery;
    p.batteryLevel = level;
    return p;
}

const QList<Shown> &shownStates()
{
    using IdleWakeMode::indefinite, IdleWakeMode::off, IdleWakeMode::timed;
    static const QList<Shown> rows = {
        {"fresh-unknown",
         [](VemoState &s) { s.authorization = Authorization::Unknown{}; },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Off",
         {}},
        {"fresh-no-rule",
         [](VemoState &s) { s.authorization = Authorization::Required{}; },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Authorization needed",
         "Authorize Now"},
        {"timed-two-hours",
         [](VemoState &s) { s.timedSession = TimedSession::Running{7200}; },
         timed,
         true,
         "2:00:00",
         "Subtract 30 minutes",
         true,
         0,
         "Off",
         {}},
        {"timed-at-minimum",
         [](VemoState &s) { s.timedSession = TimedSession::Running{1800}; },
         timed,
         true,
         "30:00",
         "Stop",
         true,
         0,
         "Off",
         {}},
        {"timed-above-minimum",
         [](VemoState &s) { s.timedSession = TimedSession::Running{1801}; },
         timed,
         true,
         "30:01",
         "Subtract 30 minutes",
         true,
         0,
         "Off",
         {}},
        {"timed-at-maximum",
         [](VemoState &s) { s.timedSession = TimedSession::Running{28800}; },
         timed,
         true,
         "8:00:00",
         "Subtract 30 minutes",
         false,
         0,
         "Off",
         {}},
        {"indefinite-display-on",
         [](VemoState &s) {
             s.timedSession = TimedSession::RunningPermanent{};
             s.displayAwake = DisplayAwake::On{};
         },
         indefinite,
         true,
         {},
         {},
         false,
         1,
         "Off",
         {}},
        {"starting",
         [](VemoState &s) { s.timedSession = TimedSession::Starting{}; },
         off,
         false,
         {},
         {},
         false,
         -1,
         "Off",
         {}},
        {"stopping",
         [](VemoState &s) { s.timedSession = TimedSession::Stopping{}; },
         off,
         false,
         {},
         {},
         false,
         -1,
         "Off",
         {}},
        {"timed-failed",
         [](VemoState &s) { s.timedSession = TimedSession::Failed{VemoError::caffeinateUnavailable}; },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Off",
         {}},
        {"lid-on-battery",
         [](VemoState &s) {
             s.power = battery(64);
             s.timedSession = TimedSession::Running{3000};
             s.clamshell = Clamshell::RunningOnBattery{64};
         },
         indefinite,
         false,
         {},
         {},
         false,
         -1,
         "On battery · 64% · turns off at 20%",
         "Running on Battery"},
        {"lid-on-adapter",
         [](VemoState &s) { s.clamshell = Clamshell::RunningOnPowerAdapter{}; },
         indefinite,
         false,
         {},
         {},
         false,
         -1,
         "On · Power adapter",
         "On Power Adapter"},
        {"lid-low-battery",
         [](VemoState &s) {
             s.power = battery(23);
             s.clamshell = Clamshell::LowBatteryWarning{23};
         },
         indefinite,
         false,
         {},
         {},
         false,
         -1,
         "Battery low · 23% · turns off at 20%",
         "Running on Battery"},
        {"lid-safety-stopped",
         [](VemoState &s) {
             s.power = battery(18);
             s.clamshell = Clamshell::SafetyStopped{18};
         },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Turned off – battery low",
         "Turned off – battery low"},
        {"lid-safety-stopped-charging",
         [](VemoState &s) {
             s.power.batteryLevel = 18;
             s.clamshell = Clamshell::SafetyStopped{18};
         },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Turned off – battery low",
         {}},
        {"lid-failed",
         [](VemoState &s) { s.clamshell = Clamshell::Failed{VemoError::readbackMismatch}; },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Failed",
         "Retry…"},
        {"lid-authorizing",
         [](VemoState &s) {
             s.clamshell = Clamshell::AuthorizationRequired{};
             s.authorization = Authorization::Granting{};
         },
         off,
         true,
         {},
         {},
         false,
         -1,
         "Authorizing…",
         {}},
        {"leftover-authorized",
         [](VemoState &s) {
             s.startupResidual = true;
             s.authorization = Authorization::Granted{};
         },
         indefinite,
         false,
         {},
         {},
         false,
         -1,
         "Sleep disabled by an earlier session",
         {}},
        {"leftover-unauthorized",
         [](VemoState &s) {
             s.startupResidual = true;
             s.authorization = Authorization::Required{};
         },
         indefinite,
         false,
         {},
         {},
         false,
         -1,
         "Sleep disabled · authorization needed",
         "Sleep Is Disabled"},
    };
    return rows;
}

} // namespace

// Every row starts from a quiet state with the rule in place, on the power adapter.
VemoState stateOf(const Shown &row)
{
    VemoState s;
    s.power.powerSource = PowerSource::powerAdapter;
    s.authorization = Authorization::Granted{};
    row.apply(s);
    return s;
}

// An update feed that knows of a newer release, answering on the next turn of the event loop.
class NewerReleaseFeed final : public UpdateFeedTransport {
public:
    FeedRequestHandle fetch(const QUrl &, std::function<void(FetchResult)> done) override
    {
        QTimer::singleShot(0, [done] {
            done(FetchResponse{R"({"latest":{"version":"9.1.0","build":900,"downloadURL":"Quorvel-9.1.0.dmg"}})", 200});
        });
        return {};
    }
    FeedRequestHandle head(const QUrl &, std::function<void(HeadResult)> done) override
    {
        QTimer::singleShot(0, [done] { done(HeadResponse{200, 1024}); });
        return {};
    }
};

std::unique_ptr<UpdateChecker> checkerWithNewerRelease(SimApp &app)
{
    auto checker =
        std::make_unique<UpdateChecker>(std::make_shared<NewerReleaseFeed>(), QUrl("https://updates.example/quorvel/"),
                                        Clock::system(), app.defaults, BundleInfo{"0.1.0", "1"}, app.scheduler);
    checker->checkNow();
    return checker;
}

QString infoText(const QWidget *popover)
{
    QStringList texts;
    for (const QLabel *label : popover->findChildren<QLabel *>())
        texts << label->text();
    return texts.join('\n');
}

QString lastCaffeinateLine(const SimApp &app)
{
    QFile log(app.sandbox("/sim/caffeinate.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

QString ruleFile(const SimApp &app)
{
    return app.sim.mapPath(QStringLiteral("/etc/sudoers.d/quorvel"));
}

void writeSandbox(const SimApp &app, const char *relative, const QByteArray &content)
{
    QFile file(app.sandbox(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A click on a widget that is there to be clicked.
#define CLICK(widgetExpression)                                                                                        \
    do {                                                                                                               \
        QWidget *clicked = (widgetExpression);                                                                         \
        QVERIFY2(clicked && clicked->isVisible() && clicked->isEnabled(), #widgetExpression);                          \
        QTest::mouseClick(clicked, Qt::LeftButton);                                                                    \
    } while (false)

// The offscreen platform cannot raise or grab; it says so at every popup.
QtMessageHandler previousHandler = nullptr;
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    previousHandler(type, context, message);
}

class PopoverTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(quietOffscreen); }
    void init() { QApplication::setPalette(lightPalette()); }

    void statesShow_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < shownStates().size(); ++i)
            QTest::newRow(shownStates()[i].name) << i;
    }

    void statesShow()
    {
        QFETCH(int, row);
        const Shown &expected = shownStates()[row];
        PopoverRig rig;
        rig.open();
        rig.setState(stateOf(expected));

        auto *picker = rig.find<MenuWakeModePicker>("modePicker");
        QCOMPARE(int(picker->currentMode()), int(expected.mode));
        QVERIFY(picker->segment(expected.mode)->isChecked());
        QCOMPARE(picker->isEnabled(), expected.pickerEnabled);

        auto *panel = rig.find("timePanel");
        QCOMPARE(panel->isVisible(), !expected.panel.isEmpty());
        if (panel->isVisible()) {
            QCOMPARE(rig.find<QLabel>("timePanel.label")->text(), expected.panel);
            auto *minus = rig.find<QPushButton>("timePanel.minus");
            QCOMPARE(minus->accessibleName(), expected.minusName);
            QVERIFY(minus->isEnabled()); // at the minimum it stops the session
            QCOMPARE(rig.find<QPushButton>("timePanel.plus")->isEnabled(), expected.plusEnabled);
        }

        auto *display = rig.find<MenuSettingToggleRow>("displayRow");
        QCOMPARE(display->isVisible(), expected.display >= 0);
        if (display->isVisible())
            QCOMPARE(display->toggle()->isChecked(), expected.display == 1);

        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), expected.closedLidSubtitle);
        auto *trailing = rig.find<QAbstractButton>("closedLidRow.trailing");
        QCOMPARE(trailing ? trailing->accessibleName() : QString(), expected.trailing);

        QVERIFY(!rig.find("updateRow")->isVisible());
        rig.setState(VemoState{}); // nothing for the clean-up to undo
    }

    void choosingTimedFromOffStartsTwoHours()
    {
        PopoverRig rig;
        rig.open();
        CLICK(rig.find("modePicker.timed"));
        QCOMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        const qint64 child = rig.app.app->timedController().childPID();
        QTRY_COMPARE(lastCaffeinateLine(rig.app),
                     QStringLiteral("%1 -w %2 -i -t 7200").arg(child).arg(QCoreApplication::applicationPid()));
        QCOMPARE(rig.app.kinds(), QStringList{QStringLiteral("timedStarted")});
        QVERIFY(rig.find("timePanel")->isVisible());
        QVERIFY(rig.find("displayRow")->isVisible());
    }

    // The picker shows the choice at once and the real session once it has switched.
    void switchingBetweenTimedAndIndefinite()
    {
        PopoverRig rig;
        rig.open();
        auto *picker = rig.find<MenuWakeModePicker>("modePicker");
        CLICK(rig.find("modePicker.timed"));
        QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QLatin1String("-t 7200")));

        CLICK(picker->segment(IdleWakeMode::indefinite));
        QCOMPARE(picker->currentMode(), IdleWakeMode::indefinite);
        QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::RunningPermanent{}));
        QTRY_VERIFY(
            lastCaffeinateLine(rig.app).endsWith(QStringLiteral("-w %1 -i").arg(QCoreApplication::applicationPid())));
        QVERIFY(!rig.find("timePanel")->isVisible());

        CLICK(picker->segment(IdleWakeMode::timed));
        QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QLatin1String("-i -t 7200")));
        QCOMPARE(picker->currentMode(), IdleWakeMode::timed);
        QVERIFY(!rig.popover.rootView()->idleRow()->requestedMode());

        CLICK(picker->segment(IdleWakeMode::off));
        QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Off{}));
        QCOMPARE(picker->currentMode(), IdleWakeMode::off);
    }

    void timePanelClicks_data()
    {
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<QString>("button");
        QTest::addColumn<qint64>("after"); // 0: the session has stopped
        QTest::newRow("minus at the minimum stops") << qint64(1800) << "timePanel.minus" << qint64(0);
        QTest::newRow("minus above it") << qint64(5400) << "timePanel.minus" << qint64(3600);
        QTest::newRow("minus just above it") << qint64(2000) << "timePanel.minus" << qint64(1800);
        QTest::newRow("plus up to the maximum") << qint64(28000) << "timePanel.plus" << qint64(28800);
    }

    void timePanelClicks()
    {
        QFETCH(qint64, remaining);
        QFETCH(QString, button);
        QFETCH(qint64, after);
        PopoverRig rig;
        LogCapture log;
        rig.open();
        CLICK(rig.find("modePicker.timed"));
        const qint64 first = rig.app.app->timedController().childPID();
        QTRY_VERIFY(lastCaffeinateLine(rig.app).startsWith(QString::number(first)));
        rig.store().setTimedRunning(remaining);

        CLICK(rig.find(button));
        if (after == 0) {
            QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Off{}));
            QVERIFY(log.messages().contains(QStringLiteral("timed session stopped by user")));
            QCOMPARE(::kill(pid_t(first), 0), -1);
            QVERIFY(!rig.find("timePanel")->isVisible());
        } else {
            QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Running{after}));
            QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QStringLiteral("-t %1").arg(after)));
            QCOMPARE(rig.find<QLabel>("timePanel.label")->text(), Presentation::timerText(after));
        }
    }

    // Where the picker is disabled its choices go nowhere, even if one arrives anyway.
    void choicesThatAreIgnored_data()
    {
        QTest::addColumn<int>("row");
        for (const char *name : {"starting", "stopping", "lid-on-adapter", "leftover-authorized"}) {
            for (int i = 0; i < shownStates().size(); ++i)
                if (qstrcmp(shownStates()[i].name, name) == 0)
                    QTest::newRow(name) << i;
        }
    }

    void choicesThatAreIgnored()
    {
        QFETCH(int, row);
        PopoverRig rig;
        rig.open();
        rig.setState(stateOf(shownStates()[row]));
        auto *picker = rig.find<MenuWakeModePicker>("modePicker");
        const IdleWakeMode shown = picker->currentMode();
        QVERIFY(!picker->isEnabled());
        QSignalSpy changes(&rig.store(), &AppStateStore::changed);
        for (IdleWakeMode mode : {IdleWakeMode::off, IdleWakeMode::timed, IdleWakeMode::indefinite}) {
            QTest::mouseClick(picker->segment(mode), Qt::LeftButton);
            emit picker->selected(mode);
        }
        QCOMPARE(changes.count(), 0);
        QCOMPARE(picker->currentMode(), shown);
        QVERIFY(!QFile::exists(rig.app.sandbox("/sim/caffeinate.log")));
        rig.setState(VemoState{});
    }

    void keepDisplayOnRelaunchesWithTheFlag()
    {
        PopoverRig rig;
        rig.open();
        CLICK(rig.find("modePicker.timed"));
        auto *row = rig.find<MenuSettingToggleRow>("displayRow");
        CLICK(row->toggle());
        QTRY_COMPARE(rig.app.state().displayAwake, DisplayAwakeState(DisplayAwake::On{}));
        QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QLatin1String("-i -d -t 7200")));
        QVERIFY(row->toggle()->isChecked());
    }

    // A leftover without the rule: the popover's "Authorize Now" runs the administrator
    // dialog (the stand-in approves) and the rule lands in the sandbox.
    void authorizingALeftoverInstallsTheRule()
    {
        PopoverRig rig;
        rig.open();
        rig.store().setStartupResidual(true, std::nullopt);
        CLICK(rig.find("closedLidRow.trailing"));
        auto *info = rig.popover.rootView()->clamshellSection()->actionPopover();
        QVERIFY(info && info->isVisible());
        QCOMPARE(info->title(), QStringLiteral("Sleep Is Disabled"));
        CLICK(rig.find("closedLidPopover.authorizeNow"));
        QVERIFY(is<Authorization::Granted>(rig.app.state().authorization));
        QVERIFY(QFileInfo(ruleFile(rig.app)).isFile());
        QVERIFY(!rig.popover.isVisible()); // out of the way of the dialog
        QTRY_VERIFY(!rig.popover.rootView()->clamshellSection()->showingAction());
        rig.store().setStartupResidual(false, std::nullopt);
    }

    void authorizationPopoverButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("answer"); // to the authorization alert
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("running");
        QTest::newRow("authorize now, declined at the alert")
            << "closedLidPopover.authorizeNow" << alertSecondButton << true << false;
        QTest::newRow("authorize now, consented")
            << "closedLidPopover.authorizeNow" << alertFirstButton << true << true;
        QTest::newRow("cancel") << "closedLidPopover.cancel" << alertFirstButton << false << false;
    }

    // Switching on without the rule offers authorization. "Authorize now" asks first: declined,
    // closed-lid mode is back to off; consented, the administrator dialog installs the rule and
    // the mode starts. "Cancel" asks nothing.
    void authorizationPopoverButtons()
    {
        QFETCH(QString, button);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, running);
        PopoverRig rig;
        rig.app.alertAnswer = answer;
        rig.open();
        CLICK(rig.find<MenuSettingToggleRow>("closedLidRow")->toggle());
        QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::AuthorizationRequired{}));
        QVERIFY(!rig.find<MenuSettingToggleRow>("closedLidRow")->toggle()->isChecked());
        CLICK(rig.find("closedLidRow.trailing"));
        QCOMPARE(rig.popover.rootView()->clamshellSection()->actionPopover()->title(),
                 QStringLiteral("Authorize Closed-Lid Mode?"));
        CLICK(rig.find(button));
        QCOMPARE(rig.app.alerts.size(), int(asked));
        if (asked)
            QCOMPARE(rig.app.alerts.first().titleKey, QStringLiteral("authorizationRequiredAlert"));
        QCOMPARE(rig.app.state().clamshell,
                 running ? ClamshellState(Clamshell::RunningOnPowerAdapter{}) : ClamshellState(Clamshell::Off{}));
        QCOMPARE(QFile::exists(ruleFile(rig.app)), running);
        QCOMPARE(rig.app.sleepSetting(), running ? QStringLiteral("1") : QString());
    }

    void retryAfterADeniedDialog()
    {
        PopoverRig rig;
        rig.open();
        writeSandbox(rig.app, "/sim/osascript-answer", "cancel");
        CLICK(rig.find<MenuSettingToggleRow>("closedLidRow")->toggle());
        rig.app.app->closedLidModule()->authorizeAndStart();
        QVERIFY(is<Authorization::Denied>(rig.app.state().authorization));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("Failed"));
        CLICK(rig.find("closedLidRow.trailing"));
        QCOMPARE(rig.popover.rootView()->clamshellSection()->actionPopover()->title(),
                 QStringLiteral("Couldn’t Turn On Closed-Lid Mode"));

        QVERIFY(QFile::remove(rig.app.sandbox("/sim/osascript-answer")));
        CLICK(rig.find("closedLidPopover.retry"));
        QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(rig.app.sleepSetting(), QStringLiteral("1"));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("On · Power adapter"));
    }

    // The rule removed behind the app's back shows as soon as the menu opens again.
    void openingRereadsTheAuthorization()
    {
        PopoverRig rig;
        rig.app.app->closedLidModule()->authorizationManager().grant();
        rig.open();
        QVERIFY(is<Authorization::Granted>(rig.app.state().authorization));
        rig.popover.close();
        QVERIFY(QFile::remove(ruleFile(rig.app)));
        rig.open();
        QVERIFY(is<Authorization::Required>(rig.app.state().authorization));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("Authorization needed"));
    }

    void quitFromTheFooter_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("confirmed") << alertFirstButton;
        QTest::newRow("cancelled") << alertSecondButton;
    }

    void quitFromTheFooter()
    {
        QFETCH(int, answer);
        PopoverRig rig;
        rig.open();
        CLICK(rig.find("modePicker.timed"));
        const qint64 child = rig.app.app->timedController().childPID();
        QTRY_VERIFY(lastCaffeinateLine(rig.app).startsWith(QString::number(child)));
        rig.app.quitAnswer = answer;
        CLICK(rig.find("footer.quit"));
        QCOMPARE(rig.app.quitAlerts.size(), 1);
        QCOMPARE(rig.app.quitAlerts.first().messageText, QStringLiteral("Quit Quorvel?"));
        QVERIFY(!rig.popover.isVisible());
        const bool confirmed = answer == alertFirstButton;
        QCOMPARE(rig.app.terminations, int(confirmed));
        QCOMPARE(::kill(pid_t(child), 0) == 0, !confirmed);
        if (!confirmed) // a cancelled quit leaves the session as it was
            QVERIFY(is<TimedSession::Running>(rig.app.state().timedSession));
    }

    void settingsFromTheFooterAndTheBatteryPopover()
    {
        PopoverRig rig;
        rig.open();
        CLICK(rig.find("footer.settings"));
        QCOMPARE(rig.settingsOpened, 1);
        QVERIFY(!rig.popover.isVisible());

        rig.open();
        VemoState s = rig.app.state();
        s.power = battery(64);
        s.clamshell = Clamshell::RunningOnBattery{64};
        rig.setState(s);
        CLICK(rig.find("closedLidRow.trailing"));
        auto *info = rig.popover.rootView()->clamshellSection()->actionPopover();
        QCOMPARE(info->title(), QStringLiteral("Running on Battery"));
        // The threshold follows the preference while the popover is open.
        Preferences::setAutoExitThreshold(*rig.app.defaults, 35);
        rig.store().applyBatteryLevel(63);
        QTRY_VERIFY(infoText(info).contains(QLatin1String("35%")));
        CLICK(rig.find("closedLidPopover.settings"));
        QCOMPARE(rig.settingsOpened, 2);
        rig.setState(VemoState{});
    }

    // An open popover, and the small one over it, change language in place.
    void languageChangesWhileOpen()
    {
        PopoverRig rig;
        rig.open();
        rig.store().setStartupResidual(true, std::nullopt);
        CLICK(rig.find("closedLidRow.trailing"));
        auto *info = rig.popover.rootView()->clamshellSection()->actionPopover();
        QWidget *window = rig.popover.window();

        rig.language.setPreference(LanguagePreference::zhHans);
        QTRY_COMPARE(rig.find<QAbstractButton>("footer.quit")->text(), QStringLiteral("退出"));
        QCOMPARE(rig.find<QLabel>("keepAwake.heading")->text(), QStringLiteral("保持唤醒"));
        QCOMPARE(rig.find<QAbstractButton>("modePicker.timed")->text(), QStringLiteral("定时"));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("睡眠已停用 · 需要授权才能更改"));
        QCOMPARE(rig.find<MenuWakeModePicker>("modePicker")->accessibleName(), QStringLiteral("唤醒模式"));
        QTRY_COMPARE(info->title(), QStringLiteral("系统睡眠已停用"));
        QVERIFY(info->isVisible());
        QCOMPARE(rig.popover.window(), window);

        rig.language.setPreference(LanguagePreference::en);
        QTRY_COMPARE(rig.find<QAbstractButton>("footer.quit")->text(), QStringLiteral("Quit"));
        QTRY_COMPARE(info->title(), QStringLiteral("Sleep Is Disabled"));

        // A closed popover follows too, and opens in the new language.
        rig.popover.close();
        rig.language.setPreference(LanguagePreference::zhHans);
        QApplication::processEvents();
        rig.open();
        QTRY_COMPARE(rig.find<QAbstractButton>("footer.settings")->text(), QStringLiteral("设置"));
        rig.language.setPreference(LanguagePreference::en);
        rig.store().setStartupResidual(false, std::nullopt);
    }

    // Without a tray the same content is an ordinary window, which actions leave open.
    void withoutATrayItIsAWindow()
    {
        PopoverRig rig;
        rig.popover.showAsWindow();
        QCOMPARE(rig.popover.windowType(), Qt::Window);
        QVERIFY(rig.find("modePicker.timed")->isVisible());
        CLICK(rig.find("footer.settings"));
        QCOMPARE(rig.settingsOpened, 1);
        QVERIFY(rig.popover.isVisible());

        rig.open();
        QCOMPARE(rig.popover.windowType(), Qt::Popup);
        QTest::keyClick(&rig.popover, Qt::Key_Escape);
        QVERIFY(!rig.popover.isVisible());
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 1280, 800); // the available area; a 320 x 400 popover
        QTest::newRow("centred under the item") << QRect(600, 0, 22, 22) << QRect(450, 26, 320, 400);
        QTest::newRow("kept off the right edge") << QRect(1250, 0, 22, 22) << QRect(960, 26, 320, 400);
        QTest::newRow("kept off the left edge") << QRect(2, 0, 22, 22) << QRect(0, 26, 320, 400);
        QTest::newRow("above a bottom panel") << QRect(1200, 778, 22, 22) << QRect(960, 374, 320, 400);
        QTest::newRow("taller than the room either side") << QRect(600, 390, 22, 22) << QRect(450, 0, 320, 400);
    }

    void placement()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, expected);
        QCOMPARE(MenuPopover::placement(anchor, QSize(320, 400), QRect(0, 0, 1280, 800)), expected);
    }

    void updateRowOnlyWhileAnUpdateIsAvailable()
    {
        PopoverRig rig;
        rig.open();
        QCOMPARE(rig.popover.width(), 320);
        const int closedHeight = rig.popover.height();
        auto checker = checkerWithNewerRelease(rig.app);
        rig.popover.setUpdateChecker(checker.get());
        QVERIFY(!rig.find("updateRow")->isVisible()); // still checking
        QTRY_VERIFY(std::holds_alternative<UpdateCheck::Available>(checker->state()));
        QVERIFY(rig.find("updateRow")->isVisible());
        QCOMPARE(rig.find<QLabel>("updateRow.text")->text(), QStringLiteral("Quorvel 9.1.0 is available"));
        QTRY_VERIFY(rig.popover.height() > closedHeight);
    }

    // Pictures of every state, with the popover its trailing element opens; skipped unless
    // QUORVEL_POPOVER_SHOTS names a folder.
    void shots()
    {
        const QString folder = qEnvironmentVariable("QUORVEL_POPOVER_SHOTS");
        if (folder.isEmpty())
            QSKIP("set QUORVEL_POPOVER_SHOTS to a folder to render the pictures");
        QVERIFY(QDir().mkpath(folder));
        auto save = [&](QWidget *widget, const QString &name) {
            QApplication::processEvents();
            QVERIFY2(widget->grab().save(folder + '/' + name + ".png"), qPrintable(name));
        };
        for (int i = 0; i <= shownStates().size(); ++i) {
            const bool update = i == shownStates().size();
            const QString name =
                update ? QStringLiteral("update-available") : QString::fromLatin1(shownStates()[i].name);
            PopoverRig rig;
            rig.popover.setPreview(true);
            std::unique_ptr<UpdateChecker> checker;
            if (update) {
                checker = checkerWithNewerRelease(rig.app);
                rig.popover.setUpdateChecker(checker.get());
                QTRY_VERIFY(std::holds_alternative<UpdateCheck::Available>(checker->state()));
            }
            rig.open();
            rig.setState(update ? stateOf(shownStates()[2]) : stateOf(shownStates()[i]));
            for (auto language : {LanguagePreference::en, LanguagePreference::zhHans}) {
                rig.language.setPreference(language);
                for (bool dark : {false, true}) {
                    QApplication::setPalette(dark ? darkPalette() : lightPalette());
                    const QString suffix = QStringLiteral("-%1-%2").arg(
                        language == LanguagePreference::en ? "en" : "zh", dark ? "dark" : "light");
                    save(&rig.popover, name + suffix);
                    if (auto *trailing = rig.find<QAbstractButton>("closedLidRow.trailing")) {
                        trailing->click();
                        auto *info = rig.popover.rootView()->clamshellSection()->actionPopover();
                        QVERIFY(info);
                        save(info, name + "-popover" + suffix);
                        info->hide();
                    }
                }
            }
            rig.setState(VemoState{});
        }
    }
};

QTEST_MAIN(PopoverTest)
#include "tst_popover.moc"
