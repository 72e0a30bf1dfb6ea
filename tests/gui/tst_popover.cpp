// The menu popover over a whole simulated application: what each state shows, what each
// click does outside the widgets (children of the stand-in caffeinate, the sandbox's rule
// file, the quit flow), and a language switch while it is open.

#include "PopoverRig.h"

#include "closedlid/ClosedLidModule.h"
#include "prefs/Localization.h"
#include "prefs/Preferences.h"
#include "support/Printers.h"
#include "ui/MenuClamshellSection.h"
#include "ui/MenuIdleWakeRow.h"
#include "ui/MenuInfoPopovers.h"
#include "ui/MenuRootView.h"
#include "ui/MenuSettingToggleRow.h"
#include "ui/MenuStyle.h"
#include "ui/MenuSwitch.h"
#include "ui/Presentation.h"
#include "ui/SecondaryWindows.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <signal.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

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

MenuInfoPopover *actionPopover(const PopoverRig &rig)
{
    return rig.popover.rootView()->clamshellSection()->actionPopover();
}

// The offscreen platform cannot raise or grab; it says so at every popup.
QtMessageHandler previousHandler = nullptr;
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        previousHandler(type, context, message);
}

} // namespace

// A click on a widget that is there to be clicked.
#define CLICK(widgetExpression)                                                                                        \
    do {                                                                                                               \
        QWidget *clicked = (widgetExpression);                                                                         \
        QVERIFY2(clicked && clicked->isVisible() && clicked->isEnabled(), #widgetExpression);                          \
        QTest::mouseClick(clicked, Qt::LeftButton);                                                                    \
    } while (false)

class PopoverTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(quietOffscreen); }

    void statesShow_data()
    {
        QTest::addColumn<IdleWakeMode>("mode");
        QTest::addColumn<bool>("pickerEnabled");
        QTest::addColumn<QString>("panel");     // the remaining time, empty when the time panel is absent
        QTest::addColumn<QString>("minusName"); // the minus button's accessible name
        QTest::addColumn<bool>("plusEnabled");
        QTest::addColumn<int>("display"); // -1 absent, else whether the keep-display-on switch is on
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("trailing"); // the trailing element's accessible name, empty for none
        using IdleWakeMode::indefinite, IdleWakeMode::off, IdleWakeMode::timed;
        const QString none, subtract = QStringLiteral("Subtract 30 minutes"),
                            battery = QStringLiteral("Running on Battery");
        QTest::newRow("fresh-unknown") << off << true << none << none << false << -1 << "Off" << none;
        QTest::newRow("fresh-no-rule") << off << true << none << none << false << -1 << "Authorization needed"
                                       << "Authorize Now";
        QTest::newRow("timed-two-hours") << timed << true << "2:00:00" << subtract << true << 0 << "Off" << none;
        QTest::newRow("timed-at-minimum") << timed << true << "30:00"
                                          << "Stop" << true << 0 << "Off" << none;
        QTest::newRow("timed-above-minimum") << timed << true << "30:01" << subtract << true << 0 << "Off" << none;
        QTest::newRow("timed-at-maximum") << timed << true << "8:00:00" << subtract << false << 0 << "Off" << none;
        QTest::newRow("indefinite-display-on") << indefinite << true << none << none << false << 1 << "Off" << none;
        QTest::newRow("starting") << off << false << none << none << false << -1 << "Off" << none;
        QTest::newRow("stopping") << off << false << none << none << false << -1 << "Off" << none;
        QTest::newRow("timed-failed") << off << true << none << none << false << -1 << "Off" << none;
        QTest::newRow("lid-on-battery") << indefinite << false << none << none << false << -1
                                        << "On battery · 64% · turns off at 20%" << battery;
        QTest::newRow("lid-on-adapter") << indefinite << false << none << none << false << -1 << "On · Power adapter"
                                        << "On Power Adapter";
        QTest::newRow("lid-low-battery") << indefinite << false << none << none << false << -1
                                         << "Battery low · 23% · turns off at 20%" << battery;
        QTest::newRow("lid-safety-stopped") << off << true << none << none << false << -1 << "Turned off – battery low"
                                            << "Turned off – battery low";
        QTest::newRow("lid-safety-stopped-charging")
            << off << true << none << none << false << -1 << "Turned off – battery low" << none;
        QTest::newRow("lid-failed") << off << true << none << none << false << -1 << "Failed"
                                    << "Retry…";
        QTest::newRow("lid-authorizing") << off << true << none << none << false << -1 << "Authorizing…" << none;
        QTest::newRow("leftover-authorized")
            << indefinite << false << none << none << false << -1 << "Sleep disabled by an earlier session" << none;
        QTest::newRow("leftover-unauthorized")
            << indefinite << false << none << none << false << -1 << "Sleep disabled · authorization needed"
            << "Sleep Is Disabled";
    }

    // What each state shows; where the picker is disabled its choices go nowhere, even if one
    // arrives anyway.
    void statesShow()
    {
        QFETCH(IdleWakeMode, mode);
        QFETCH(bool, pickerEnabled);
        QFETCH(QString, panel);
        QFETCH(QString, minusName);
        QFETCH(bool, plusEnabled);
        QFETCH(int, display);
        QFETCH(QString, subtitle);
        QFETCH(QString, trailing);
        PopoverRig rig;
        rig.open();
        rig.setState(menuState(QString::fromLatin1(QTest::currentDataTag())));

        auto *picker = rig.find<MenuWakeModePicker>("modePicker");
        QCOMPARE(picker->currentMode(), mode);
        QVERIFY(picker->segment(mode)->isChecked());
        QCOMPARE(picker->isEnabled(), pickerEnabled);

        QCOMPARE(rig.find("timePanel")->isVisible(), !panel.isEmpty());
        if (!panel.isEmpty()) {
            QCOMPARE(rig.find<QLabel>("timePanel.label")->text(), panel);
            auto *minus = rig.find<QPushButton>("timePanel.minus");
            QCOMPARE(minus->accessibleName(), minusName);
            QVERIFY(minus->isEnabled()); // at the minimum it stops the session
            QCOMPARE(rig.find<QPushButton>("timePanel.plus")->isEnabled(), plusEnabled);
        }
        auto *displayRow = rig.find<MenuSettingToggleRow>("displayRow");
        QCOMPARE(displayRow->isVisible(), display >= 0);
        if (display >= 0)
            QCOMPARE(displayRow->toggle()->isChecked(), display == 1);
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), subtitle);
        auto *trailingButton = rig.find<QAbstractButton>("closedLidRow.trailing");
        QCOMPARE(trailingButton ? trailingButton->accessibleName() : QString(), trailing);
        QVERIFY(!rig.find("updateRow")->isVisible());

        if (!pickerEnabled) {
            QSignalSpy changes(&rig.store(), &AppStateStore::changed);
            for (IdleWakeMode choice : {IdleWakeMode::off, IdleWakeMode::timed, IdleWakeMode::indefinite}) {
                QTest::mouseClick(picker->segment(choice), Qt::LeftButton);
                emit picker->selected(choice);
            }
            QCOMPARE(changes.count(), 0);
            QCOMPARE(picker->currentMode(), mode);
            QVERIFY(!QFile::exists(rig.app.sandbox("/sim/caffeinate.log")));
        }
        rig.setState(VemoState{}); // nothing for the clean-up to undo
    }

    // Timed from off starts two hours; the picker shows a choice at once and the real session
    // once it has switched; keeping the display on relaunches the child with the flag.
    void choosingModes()
    {
        PopoverRig rig;
        rig.open();
        auto *picker = rig.find<MenuWakeModePicker>("modePicker");
        const qint64 self = QCoreApplication::applicationPid();
        CLICK(picker->segment(IdleWakeMode::timed));
        QCOMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        const qint64 child = rig.app.app->timedController().childPID();
        QTRY_COMPARE(lastCaffeinateLine(rig.app), QStringLiteral("%1 -w %2 -i -t 7200").arg(child).arg(self));
        QCOMPARE(rig.app.kinds(), QStringList{QStringLiteral("timedStarted")});
        QVERIFY(rig.find("timePanel")->isVisible());

        CLICK(picker->segment(IdleWakeMode::indefinite));
        QCOMPARE(picker->currentMode(), IdleWakeMode::indefinite);
        QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::RunningPermanent{}));
        QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QStringLiteral("-w %1 -i").arg(self)));
        QVERIFY(!rig.find("timePanel")->isVisible());

        CLICK(picker->segment(IdleWakeMode::timed));
        QTRY_COMPARE(rig.app.state().timedSession, TimedSessionState(TimedSession::Running{7200}));
        QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QLatin1String("-i -t 7200")));
        QCOMPARE(picker->currentMode(), IdleWakeMode::timed);
        QVERIFY(!rig.popover.rootView()->idleRow()->requestedMode());

        auto *display = rig.find<MenuSettingToggleRow>("displayRow");
        CLICK(display->toggle());
        QTRY_COMPARE(rig.app.state().displayAwake, DisplayAwakeState(DisplayAwake::On{}));
        QTRY_VERIFY(lastCaffeinateLine(rig.app).endsWith(QLatin1String("-i -d -t 7200")));
        QVERIFY(display->toggle()->isChecked());

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

    void authorizationPopover_data()
    {
        QTest::addColumn<bool>("leftover"); // else closed-lid mode switched on without the rule
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("answer"); // to the authorization alert
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<bool>("running");
        const QString authorize = QStringLiteral("closedLidPopover.authorizeNow"),
                      offer = QStringLiteral("Authorize Closed-Lid Mode?");
        QTest::newRow("leftover: the administrator dialog at once")
            << true << "Sleep Is Disabled" << authorize << alertSecondButton << false << true << false;
        QTest::newRow("authorize now, declined at the alert")
            << false << offer << authorize << alertSecondButton << true << false << false;
        QTest::newRow("authorize now, consented")
            << false << offer << authorize << alertFirstButton << true << true << true;
        QTest::newRow("cancel") << false << offer << "closedLidPopover.cancel" << alertFirstButton << false << false
                                << false;
    }

    // A leftover's "Authorize Now" runs the administrator dialog (the stand-in approves) at once.
    // Switching on without the rule offers authorization: "Authorize now" asks first and, on
    // consent, installs the rule and starts the mode; declined or "Cancel", the mode is off.
    void authorizationPopover()
    {
        QFETCH(bool, leftover);
        QFETCH(QString, title);
        QFETCH(QString, button);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, granted);
        QFETCH(bool, running);
        PopoverRig rig;
        rig.app.alertAnswer = answer;
        rig.open();
        auto *lidToggle = rig.find<MenuSettingToggleRow>("closedLidRow")->toggle();
        if (leftover) {
            rig.store().setStartupResidual(true, std::nullopt);
        } else {
            CLICK(lidToggle);
            QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::AuthorizationRequired{}));
            QVERIFY(!lidToggle->isChecked());
        }
        CLICK(rig.find("closedLidRow.trailing"));
        QCOMPARE(actionPopover(rig)->title(), title);
        CLICK(rig.find(button));
        QCOMPARE(rig.app.alerts.size(), int(asked));
        if (asked)
            QCOMPARE(rig.app.alerts.first().titleKey, QStringLiteral("authorizationRequiredAlert"));
        QCOMPARE(is<Authorization::Granted>(rig.app.state().authorization), granted);
        QCOMPARE(QFile::exists(ruleFile(rig.app)), granted);
        QCOMPARE(rig.app.state().clamshell,
                 running ? ClamshellState(Clamshell::RunningOnPowerAdapter{}) : ClamshellState(Clamshell::Off{}));
        QCOMPARE(rig.app.sleepSetting(), running ? QStringLiteral("1") : QString());
        QTRY_VERIFY(!rig.popover.rootView()->clamshellSection()->showingAction());
        if (leftover) {
            QVERIFY(!rig.popover.isVisible()); // out of the way of the dialog
            rig.store().setStartupResidual(false, std::nullopt);
        }
    }

    void subtitleCuts_data()
    {
        QTest::addColumn<LanguagePreference>("language");
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("widthOf");
        QTest::addColumn<int>("extra"); // pixels beside the width of `widthOf`
        QTest::addColumn<QString>("shown");
        const QString en = "On battery · 64% · turns off at 20%", zh = "使用电池 · 64% · 降至 20% 时关闭";
        const auto english = LanguagePreference::en, chinese = LanguagePreference::zhHans;
        QTest::newRow("en whole") << english << en << en << 0 << en;
        QTest::newRow("en a pixel short") << english << en << en << -1 << "On battery · 64%…";
        QTest::newRow("en two parts") << english << en << "On battery · 64%…" << 0 << "On battery · 64%…";
        QTest::newRow("en one part") << english << en << "On battery · 64%…" << -1 << "On battery…";
        QTest::newRow("en one word") << english << en << "On battery…" << -1 << "On…";
        QTest::newRow("en nothing") << english << en << "…" << -1 << "";
        QTest::newRow("zh a pixel short") << chinese << zh << zh << -1 << "使用电池 · 64%…";
        QTest::newRow("zh one part") << chinese << zh << "使用电池 · 64%…" << -1 << "使用电池…";
        QTest::newRow("zh characters") << chinese << zh << "使用电池…" << -1 << "使用电…";
    }

    // A subtitle too long for its row loses whole parts, never half a number; the label keeps the
    // whole text. Every width from nothing to the whole text cuts between words (or Chinese
    // characters), never inside a word or number.
    void subtitleCuts()
    {
        QFETCH(LanguagePreference, language);
        QFETCH(QString, widthOf);
        QFETCH(int, extra);
        QFETCH(QString, shown);
        LanguageController languages(std::make_shared<MemoryUserDefaults>());
        languages.setPreference(language);
        MenuStyle::ElidedLabel label;
        MenuStyle::setPixelSize(&label, MenuStyle::subtitlePixelSize);
        label.setText(Localization::text("closedLidRunningBatteryStatus", {"64", "20"}));
        QFETCH(QString, whole);
        QCOMPARE(label.text(), whole); // the translation as the row shows it
        const QFontMetrics metrics = label.fontMetrics();
        label.resize(metrics.horizontalAdvance(widthOf) + extra, label.sizeHint().height());
        QCOMPARE(label.shownText(), shown);

        const auto inWord = [](QChar c) {
            return c == '%' || (c.isLetterOrNumber() && c.script() != QChar::Script_Han);
        };
        for (int width = 0; width <= metrics.horizontalAdvance(label.text()); ++width) {
            const QString cut = MenuStyle::elideAtParts(label.text(), metrics, width);
            QVERIFY(metrics.horizontalAdvance(cut) <= width);
            if (cut == label.text() || cut.isEmpty())
                continue;
            QVERIFY2(cut.endsWith(u'…') && label.text().startsWith(cut.chopped(1)), qPrintable(cut));
            const QString kept = cut.chopped(1);
            QVERIFY2(kept.isEmpty() || !(inWord(kept.back()) && inWord(label.text().at(kept.size()))), qPrintable(cut));
        }
    }

    // Authorized from the settings window while the row waits for it: the row is off again and
    // its switch starts the mode, with no second question.
    void grantInSettingsFreesTheSwitch()
    {
        PopoverRig rig;
        rig.open();
        auto *row = rig.find<MenuSettingToggleRow>("closedLidRow");
        CLICK(row->toggle());
        QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::AuthorizationRequired{}));
        SecondaryWindows windows(*rig.app.app, rig.language, rig.app.defaults);
        windows.showSettings();
        QTest::mouseClick(windows.settingsWindow()->findChild<QWidget *>("authorizeNowButton"), Qt::LeftButton);
        QVERIFY(is<Authorization::Granted>(rig.app.state().authorization));
        QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::Off{}));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("Off"));
        QVERIFY(row->toggle()->isEnabled() && !row->toggle()->isChecked());
        QCOMPARE(rig.app.alerts.size(), 0);
        rig.open();
        CLICK(row->toggle());
        QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(rig.app.sleepSetting(), QStringLiteral("1"));
        rig.app.app->closedLidModule()->setClamshell(false);
    }

    void retryAfterADeniedDialog()
    {
        PopoverRig rig;
        rig.open();
        QFile answer(rig.app.sandbox("/sim/osascript-answer"));
        QVERIFY(answer.open(QIODevice::WriteOnly) && answer.write("cancel") == 6);
        answer.close();
        CLICK(rig.find<MenuSettingToggleRow>("closedLidRow")->toggle());
        rig.app.app->closedLidModule()->authorizeAndStart();
        QVERIFY(is<Authorization::Denied>(rig.app.state().authorization));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("Failed"));
        CLICK(rig.find("closedLidRow.trailing"));
        QCOMPARE(actionPopover(rig)->title(), QStringLiteral("Couldn’t Turn On Closed-Lid Mode"));

        QVERIFY(answer.remove());
        CLICK(rig.find("closedLidPopover.retry"));
        QCOMPARE(rig.app.state().clamshell, ClamshellState(Clamshell::RunningOnPowerAdapter{}));
        QCOMPARE(rig.app.sleepSetting(), QStringLiteral("1"));
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("On · Power adapter"));
    }

    // Where the desktop keeps the lid to itself the row offers nothing to switch or retry,
    // also after a try from elsewhere failed; a mode that runs after all is shown as running.
    void closedLidUnavailableWhereTheDesktopHoldsTheLid()
    {
        PlatformNotes notes;
        notes.needsAuthorization = false;
        notes.closedLidUnavailable = LocalizationKey{"closedLidUnavailableKde"};
        PopoverRig rig(notes);
        rig.open();
        auto *row = rig.find<MenuSettingToggleRow>("closedLidRow");
        for (const bool failed : {false, true}) {
            VemoState state = rig.store().state();
            state.clamshell = failed ? ClamshellState(Clamshell::Failed{VemoError::systemCommandFailed})
                                     : ClamshellState(Clamshell::Off{});
            rig.setState(state);
            QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("Not available on KDE Plasma"));
            QVERIFY(!row->toggle()->isEnabled());
            QVERIFY(!rig.find("closedLidRow.trailing"));
            QCOMPARE(row->toolTip(), qtTrId("closedLidUnavailableKdeHint"));
        }
        VemoState running = rig.store().state();
        running.clamshell = Clamshell::RunningOnPowerAdapter{};
        rig.setState(running);
        QCOMPARE(rig.find<QLabel>("closedLidRow.subtitle")->text(), QStringLiteral("On · Power adapter"));
        QVERIFY(row->toggle()->isEnabled());
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
        rig.setState(menuState(QStringLiteral("lid-on-battery")));
        CLICK(rig.find("closedLidRow.trailing"));
        MenuInfoPopover *info = actionPopover(rig);
        QCOMPARE(info->title(), QStringLiteral("Running on Battery"));
        // The threshold follows the preference while the popover is open.
        Preferences::setAutoExitThreshold(*rig.app.defaults, 35);
        rig.store().applyBatteryLevel(63);
        QTRY_VERIFY(std::ranges::any_of(info->findChildren<QLabel *>(),
                                        [](const QLabel *label) { return label->text().contains("35%"); }));
        CLICK(rig.find("closedLidPopover.settings"));
        QCOMPARE(rig.settingsOpened, 2);
        rig.setState(VemoState{});
    }

    // An open popover, and the small one over it, change language in place; a closed one
    // opens in the new language.
    void languageChangesWhileOpen()
    {
        PopoverRig rig;
        rig.open();
        rig.store().setStartupResidual(true, std::nullopt);
        CLICK(rig.find("closedLidRow.trailing"));
        MenuInfoPopover *info = actionPopover(rig);
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
        QTest::addColumn<QRect>("expected"); // a 320 x 400 popover in a 1280 x 800 available area
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
        UpdateChecker &checker = rig.offerUpdate();
        QVERIFY(!rig.find("updateRow")->isVisible()); // still checking
        QTRY_VERIFY(std::holds_alternative<UpdateCheck::Available>(checker.state()));
        QVERIFY(rig.find("updateRow")->isVisible());
        QCOMPARE(rig.find<QLabel>("updateRow.text")->text(), QStringLiteral("Quorvel 9.1.0 is available"));
        QTRY_VERIFY(rig.popover.height() > closedHeight);
    }
};

QTEST_MAIN(PopoverTest)
#include "tst_popover.moc"
