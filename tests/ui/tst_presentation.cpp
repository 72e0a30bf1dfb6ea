#include "prefs/Localization.h"
#include "ui/Presentation.h"

#include <QTest>

using namespace quorvel;
using namespace quorvel::Presentation;

using IdleRow = ToggleRowModel<IdleRowStatus>;
using DisplayRow = ToggleRowModel<DisplayRowStatus>;
using LidRow = ToggleRowModel<ClosedLidRowStatus>;
using Blockers = QList<QuitBlocker>;

Q_DECLARE_METATYPE(quorvel::VemoState)
Q_DECLARE_METATYPE(IdleRow)
Q_DECLARE_METATYPE(DisplayRow)
Q_DECLARE_METATYPE(LidRow)
Q_DECLARE_METATYPE(Blockers)
Q_DECLARE_METATYPE(quorvel::Presentation::MenuBarAttention)
Q_DECLARE_METATYPE(quorvel::Presentation::MenuBarImage)

// Readable failures: "on=1 enabled=0 status=#5 tone=2 action=#0".
namespace quorvel::Presentation {
template <class Status> char *toString(const ToggleRowModel<Status> &row)
{
    int status = 0;
    if constexpr (std::is_enum_v<Status>)
        status = int(row.status);
    else
        status = int(row.status.index());
    return qstrdup(QStringLiteral("on=%1 enabled=%2 status=#%3 tone=%4 action=#%5")
                       .arg(row.control.isOn)
                       .arg(row.control.isEnabled)
                       .arg(status)
                       .arg(int(row.tone))
                       .arg(row.action.index())
                       .toUtf8());
}
char *toString(const MenuBarImage &image)
{
    return qstrdup(QByteArray::number(int(image.icon)) + "/" + QByteArray::number(int(image.mark)));
}
} // namespace quorvel::Presentation
namespace quorvel {
char *toString(const LocalizationKey &key)
{
    return qstrdup(key.id);
}
} // namespace quorvel

namespace {

// Builds states for the tables; every setter returns the builder so a row reads as one line.
struct StateBuilder {
    VemoState s;
    StateBuilder &timed(TimedSessionState t) { return s.timedSession = t, *this; }
    StateBuilder &display(DisplayAwakeState d) { return s.displayAwake = d, *this; }
    StateBuilder &lid(ClamshellState c) { return s.clamshell = c, *this; }
    StateBuilder &auth(AuthorizationState a) { return s.authorization = a, *this; }
    StateBuilder &residual() { return s.startupResidual = true, *this; }
    StateBuilder &error(VemoError e) { return s.lastError = e, *this; }
    StateBuilder &battery(std::optional<qint64> level)
    {
        s.power.powerSource = PowerSource::battery;
        s.power.batteryLevel = level;
        return *this;
    }
    StateBuilder &adapter() { return s.power.powerSource = PowerSource::powerAdapter, *this; }
    operator VemoState() const { return s; }
};
StateBuilder state()
{
    return {};
}

const MenuRowAction none = MenuRowActions::None{};
constexpr auto someError = VemoError::systemCommandFailed;

} // namespace

class PresentationTest : public QObject {
    Q_OBJECT

private slots:
    void idleRow_data()
    {
        using namespace IdleRowStatuses;
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<IdleRow>("row");
        QTest::addColumn<QByteArray>("subtitle");
        const MenuRowAction adjust = MenuRowActions::AdjustTimed{};

        QTest::newRow("fresh") << VemoState(state()) << IdleRow{{false, true}, Off{}, RowTone::neutral, none}
                               << QByteArray("notActive");
        QTest::newRow("ended") << VemoState(state().timed(TimedSession::Ended{}))
                               << IdleRow{{false, true}, Off{}, RowTone::neutral, none} << QByteArray("notActive");
        QTest::newRow("running") << VemoState(state().timed(TimedSession::Running{2700}))
                                 << IdleRow{{true, true}, Remaining{2700}, RowTone::active, adjust}
                                 << QByteArray("keepingAwake");
        QTest::newRow("running, display on")
            << VemoState(state().timed(TimedSession::Running{60}).display(DisplayAwake::On{}))
            << IdleRow{{true, true}, Remaining{60}, RowTone::active, adjust} << QByteArray("activeDisplayOn");
        QTest::newRow("indefinite") << VemoState(state().timed(TimedSession::RunningPermanent{}))
                                    << IdleRow{{true, true}, Permanent{}, RowTone::active, adjust}
                                    << QByteArray("keepingAwake");
        QTest::newRow("starting") << VemoState(state().timed(TimedSession::Starting{}))
                                  << IdleRow{{true, false}, Starting{}, RowTone::busy, none} << QByteArray("turningOn");
        QTest::newRow("stopping") << VemoState(state().timed(TimedSession::Stopping{}))
                                  << IdleRow{{true, false}, Stopping{}, RowTone::busy, none}
                                  << QByteArray("turningOff");
        QTest::newRow("failed") << VemoState(state().timed(TimedSession::Failed{VemoError::processLaunchFailed}))
                                << IdleRow{{false, true}, Failed{}, RowTone::error, none} << QByteArray("turnOnFailed");
        // Closed-lid mode and a leftover override the session's own status.
        QTest::newRow("closed-lid on battery over a running session")
            << VemoState(state().timed(TimedSession::Running{100}).lid(Clamshell::RunningOnBattery{64}))
            << IdleRow{{true, false}, ViaClosedLid{}, RowTone::active, none} << QByteArray("viaClosedLidMode");
        QTest::newRow("closed-lid warning over a failed session")
            << VemoState(state().timed(TimedSession::Failed{someError}).lid(Clamshell::LowBatteryWarning{22}))
            << IdleRow{{true, false}, ViaClosedLid{}, RowTone::active, none} << QByteArray("viaClosedLidMode");
        QTest::newRow("leftover") << VemoState(state().timed(TimedSession::Running{100}).residual())
                                  << IdleRow{{true, false}, Residual{}, RowTone::active, none}
                                  << QByteArray("viaClosedLidMode");
        // Closed-lid states that are not running leave the session in charge.
        QTest::newRow("closed-lid safety-stopped")
            << VemoState(state().timed(TimedSession::Running{100}).lid(Clamshell::SafetyStopped{18}))
            << IdleRow{{true, true}, Remaining{100}, RowTone::active, adjust} << QByteArray("keepingAwake");
        QTest::newRow("closed-lid starting")
            << VemoState(state().timed(TimedSession::Off{}).lid(Clamshell::Starting{}))
            << IdleRow{{false, true}, Off{}, RowTone::neutral, none} << QByteArray("notActive");
    }
    void idleRow()
    {
        QFETCH(VemoState, state);
        QFETCH(IdleRow, row);
        QFETCH(QByteArray, subtitle);
        QCOMPARE(idleWakeRow(state), row);
        QCOMPARE(idleRowSubtitleKey(state), LocalizationKey{subtitle.constData()});
    }

    void displayRow_data()
    {
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<DisplayRow>("row");
        QTest::addColumn<QByteArray>("subtitle");
        using S = DisplayRowStatus;

        QTest::newRow("fresh: off and disabled")
            << VemoState(state()) << DisplayRow{{false, false}, S::systemDefault, RowTone::neutral, none}
            << QByteArray("systemDefault");
        QTest::newRow("off during a session")
            << VemoState(state().timed(TimedSession::Running{10}))
            << DisplayRow{{false, true}, S::systemDefault, RowTone::neutral, none} << QByteArray("systemDefault");
        QTest::newRow("off during an indefinite session under a leftover")
            << VemoState(state().timed(TimedSession::RunningPermanent{}).residual())
            << DisplayRow{{false, false}, S::systemDefault, RowTone::neutral, none} << QByteArray("systemDefault");
        QTest::newRow("off during a session under closed-lid mode")
            << VemoState(state().timed(TimedSession::Running{10}).lid(Clamshell::RunningOnPowerAdapter{}))
            << DisplayRow{{false, false}, S::systemDefault, RowTone::neutral, none} << QByteArray("systemDefault");
        QTest::newRow("starting") << VemoState(
            state().timed(TimedSession::Running{10}).display(DisplayAwake::Starting{}))
                                  << DisplayRow{{true, false}, S::switching, RowTone::busy, none}
                                  << QByteArray("switching");
        QTest::newRow("stopping") << VemoState(state().display(DisplayAwake::Stopping{}))
                                  << DisplayRow{{true, false}, S::switching, RowTone::busy, none}
                                  << QByteArray("switching");
        QTest::newRow("on without a session")
            << VemoState(state().display(DisplayAwake::On{}))
            << DisplayRow{{true, true}, S::wakeSession, RowTone::active, none} << QByteArray("wakeSession");
        QTest::newRow("failed during a session")
            << VemoState(state().timed(TimedSession::RunningPermanent{}).display(DisplayAwake::Failed{someError}))
            << DisplayRow{{false, true}, S::couldNotTurnOn, RowTone::error, none} << QByteArray("couldNotTurnOn");
        QTest::newRow("failed after the session")
            << VemoState(state().display(DisplayAwake::Failed{someError}))
            << DisplayRow{{false, false}, S::couldNotTurnOn, RowTone::error, none} << QByteArray("couldNotTurnOn");
    }
    void displayRow()
    {
        QFETCH(VemoState, state);
        QFETCH(DisplayRow, row);
        QFETCH(QByteArray, subtitle);
        QCOMPARE(displayWakeRow(state), row);
        QCOMPARE(displayRowSubtitleKey(row.status), LocalizationKey{subtitle.constData()});
    }

    void closedLidRow_data()
    {
        using namespace ClosedLidRowStatuses;
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<qint64>("threshold");
        QTest::addColumn<LidRow>("row");
        QTest::addColumn<QByteArray>("subtitle");
        const MenuRowAction authorize = MenuRowActions::Authorize{};
        const MenuRowAction stopInfo = MenuRowActions::SafetyStopInfo{};
        auto retry = [](bool enabled) { return MenuRowAction(MenuRowActions::Retry{enabled}); };
        auto info = [](bool onBattery) { return MenuRowAction(MenuRowActions::BatteryInfo{onBattery}); };

        QTest::newRow("fresh") << VemoState(state()) << qint64(20)
                               << LidRow{{false, true}, Off{}, RowTone::neutral, none} << QByteArray("offState");
        QTest::newRow("leftover, authorized")
            << VemoState(state().residual().auth(Authorization::Granted{})) << qint64(20)
            << LidRow{{true, true}, ResidualAuthorized{}, RowTone::busy, none} << QByteArray("sleepBlocked");
        QTest::newRow("leftover, authorized, restore failed")
            << VemoState(state().residual().auth(Authorization::Granted{}).error(VemoError::clamshellRestoreFailed))
            << qint64(20) << LidRow{{true, true}, ResidualAuthorized{}, RowTone::busy, none}
            << QByteArray("restoreFailed");
        QTest::newRow("leftover, denied")
            << VemoState(state().residual().auth(Authorization::Denied{})) << qint64(20)
            << LidRow{{true, false}, ResidualUnauthorized{}, RowTone::error, MenuRowActions::ResidualNeedsAuth{}}
            << QByteArray("readOnlyNoAuth");
        QTest::newRow("leftover while closed-lid runs")
            << VemoState(state().residual().lid(Clamshell::RunningOnPowerAdapter{})) << qint64(20)
            << LidRow{{true, true}, OnAdapter{}, RowTone::active, info(false)}
            << QByteArray("closedLidRunningPowerStatus");
        QTest::newRow("on battery") << VemoState(state().lid(Clamshell::RunningOnBattery{64}).battery(64)) << qint64(20)
                                    << LidRow{{true, true}, OnBattery{64}, RowTone::active, info(true)}
                                    << QByteArray("closedLidRunningBatteryStatus");
        QTest::newRow("low battery") << VemoState(state().lid(Clamshell::LowBatteryWarning{23}).battery(23))
                                     << qint64(20) << LidRow{{true, true}, LowBattery{23}, RowTone::warning, info(true)}
                                     << QByteArray("closedLidRunningLowBatteryStatus");
        QTest::newRow("safety-stopped, battery below T")
            << VemoState(state().lid(Clamshell::SafetyStopped{18}).battery(18)) << qint64(20)
            << LidRow{{false, false}, SafetyStopped{18}, RowTone::warning, stopInfo} << QByteArray("autoExited");
        QTest::newRow("safety-stopped, battery at T")
            << VemoState(state().lid(Clamshell::SafetyStopped{20}).battery(20)) << qint64(20)
            << LidRow{{false, false}, SafetyStopped{20}, RowTone::warning, stopInfo} << QByteArray("autoExited");
        QTest::newRow("safety-stopped, battery above T")
            << VemoState(state().lid(Clamshell::SafetyStopped{18}).battery(25)) << qint64(20)
            << LidRow{{false, true}, SafetyStopped{18}, RowTone::warning, none} << QByteArray("autoExited");
        QTest::newRow("safety-stopped, on adapter")
            << VemoState(state().lid(Clamshell::SafetyStopped{18}).adapter()) << qint64(60)
            << LidRow{{false, true}, SafetyStopped{18}, RowTone::warning, none} << QByteArray("autoExited");
        QTest::newRow("failed on battery, unknown level counts as 100")
            << VemoState(state().lid(Clamshell::Failed{someError}).battery(std::nullopt)) << qint64(60)
            << LidRow{{false, false}, Failed{}, RowTone::error, retry(true)} << QByteArray("failed");
        QTest::newRow("failed on battery at T")
            << VemoState(state().lid(Clamshell::Failed{someError}).battery(20)) << qint64(20)
            << LidRow{{false, false}, Failed{}, RowTone::error, retry(false)} << QByteArray("failed");
        QTest::newRow("on adapter") << VemoState(state().lid(Clamshell::RunningOnPowerAdapter{}).adapter())
                                    << qint64(20) << LidRow{{true, true}, OnAdapter{}, RowTone::active, info(false)}
                                    << QByteArray("closedLidRunningPowerStatus");
        QTest::newRow("starting") << VemoState(state().lid(Clamshell::Starting{})) << qint64(20)
                                  << LidRow{{true, false}, Transitioning{}, RowTone::busy, none}
                                  << QByteArray("ellipsis");
        QTest::newRow("stopping") << VemoState(state().lid(Clamshell::Stopping{})) << qint64(20)
                                  << LidRow{{true, false}, Transitioning{}, RowTone::busy, none}
                                  << QByteArray("ellipsis");
        QTest::newRow("needs authorization, revoked before")
            << VemoState(state().lid(Clamshell::AuthorizationRequired{}).auth(Authorization::Revoked{})) << qint64(20)
            << LidRow{{false, true}, AuthorizationNeeded{}, RowTone::warning, authorize}
            << QByteArray("authorizationNeeded");
        QTest::newRow("needs authorization, granting")
            << VemoState(state().lid(Clamshell::AuthorizationRequired{}).auth(Authorization::Granting{})) << qint64(20)
            << LidRow{{false, false}, Authorizing{}, RowTone::busy, none} << QByteArray("authorizing");
        QTest::newRow("needs authorization, denied")
            << VemoState(state().lid(Clamshell::AuthorizationRequired{}).auth(Authorization::Denied{})) << qint64(20)
            << LidRow{{false, false}, Failed{}, RowTone::error, retry(true)} << QByteArray("failed");
        QTest::newRow("needs authorization, failed on battery at T")
            << VemoState(state()
                             .lid(Clamshell::AuthorizationRequired{})
                             .auth(Authorization::Failed{VemoError::authorizationInstallFailed})
                             .battery(10))
            << qint64(20) << LidRow{{false, false}, Failed{}, RowTone::error, retry(true)} << QByteArray("failed");
        QTest::newRow("off, revoked") << VemoState(state().auth(Authorization::Revoked{})) << qint64(20)
                                      << LidRow{{false, true}, AuthorizationRevoked{}, RowTone::neutral, none}
                                      << QByteArray("authorizationRevokedState");
        QTest::newRow("off, required") << VemoState(state().auth(Authorization::Required{})) << qint64(20)
                                       << LidRow{{false, true}, AuthorizationNeeded{}, RowTone::warning, authorize}
                                       << QByteArray("authorizationNeeded");
        QTest::newRow("off, failed") << VemoState(state().auth(Authorization::Failed{someError})) << qint64(20)
                                     << LidRow{{false, true}, Off{}, RowTone::neutral, none} << QByteArray("offState");
    }
    void closedLidRow()
    {
        QFETCH(VemoState, state);
        QFETCH(qint64, threshold);
        QFETCH(LidRow, row);
        QFETCH(QByteArray, subtitle);
        QCOMPARE(Presentation::closedLidRow(state, threshold), row);
        QCOMPARE(closedLidSubtitleKey(row.status, state), LocalizationKey{subtitle.constData()});
    }

    void closedLidStatusTextFillsLevelAndThresholdInTheCurrentLanguage()
    {
        using namespace ClosedLidRowStatuses;
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
        QCOMPARE(closedLidStatusText(OnBattery{64}, 20), QStringLiteral("On battery · 64% · turns off at 20%"));
        QCOMPARE(closedLidStatusText(LowBattery{23}, 35), QStringLiteral("Battery low · 23% · turns off at 35%"));
        QCOMPARE(closedLidStatusText(OnAdapter{}, 20), QStringLiteral("On · Power adapter"));
        QCOMPARE(closedLidStatusText(SafetyStopped{18}, 20), std::nullopt);
        QCOMPARE(closedLidStatusText(ResidualAuthorized{}, 20), std::nullopt);

        QVERIFY(Localization::installCatalogue(Localization::Catalogue::simplifiedChinese));
        QCOMPARE(closedLidStatusText(OnBattery{64}, 20), QStringLiteral("使用电池 · 64% · 降至 20% 时关闭"));
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
    }

    void menuBar_data()
    {
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<MenuBarAttention>("attention");
        QTest::addColumn<MenuBarImage>("image");
        QTest::addColumn<QString>("badge"); // empty: no badge
        QTest::addColumn<QByteArray>("toolTip");
        using A = MenuBarAttention;
        using I = MenuBarIcon;
        using M = MenuBarSessionMark;
        const QString triangle = QStringLiteral("exclamationmark.triangle.fill");

        QTest::newRow("fresh") << VemoState(state()) << A::none << MenuBarImage{I::idle, M::none} << QString()
                               << QByteArray("runningOnSystemPolicy");
        QTest::newRow("timed") << VemoState(state().timed(TimedSession::Running{2700})) << A::none
                               << MenuBarImage{I::active, M::timed} << QStringLiteral("timer")
                               << QByteArray("preventingIdleSleep");
        QTest::newRow("indefinite wins over display-awake")
            << VemoState(state().timed(TimedSession::RunningPermanent{}).display(DisplayAwake::On{})) << A::none
            << MenuBarImage{I::active, M::indefinite} << QStringLiteral("infinity")
            << QByteArray("permanentlyPreventing");
        QTest::newRow("display-awake alone")
            << VemoState(state().display(DisplayAwake::On{})) << A::none << MenuBarImage{I::display, M::none}
            << QString() << QByteArray("keepingRunning");
        QTest::newRow("closed-lid with a session")
            << VemoState(state().timed(TimedSession::Running{50}).lid(Clamshell::RunningOnBattery{64})) << A::none
            << MenuBarImage{I::lidMode, M::none} << QString() << QByteArray("keepingRunning");
        QTest::newRow("closed-lid with display-awake")
            << VemoState(state().display(DisplayAwake::On{}).lid(Clamshell::RunningOnPowerAdapter{})) << A::none
            << MenuBarImage{I::lidMode, M::none} << QString() << QByteArray("keepingRunning");
        QTest::newRow("closed-lid alone")
            << VemoState(state().lid(Clamshell::RunningOnPowerAdapter{})) << A::none
            << MenuBarImage{I::lidMode, M::none} << QString() << QByteArray("closedLidRunning");
        QTest::newRow("leftover") << VemoState(state().residual()) << A::startupResidual
                                  << MenuBarImage{I::lidMode, M::none} << triangle << QByteArray("needsAttention");
        QTest::newRow("leftover beats low battery")
            << VemoState(state().residual().lid(Clamshell::LowBatteryWarning{22})) << A::startupResidual
            << MenuBarImage{I::lidMode, M::none} << triangle << QByteArray("needsAttention");
        QTest::newRow("low battery") << VemoState(state().lid(Clamshell::LowBatteryWarning{22})) << A::lowBattery
                                     << MenuBarImage{I::lidMode, M::none} << triangle << QByteArray("lowBattery");
        QTest::newRow("safety stop beats the session mark")
            << VemoState(state().timed(TimedSession::Running{100}).lid(Clamshell::SafetyStopped{18}))
            << A::safetyStopped << MenuBarImage{I::active, M::timed} << QStringLiteral("stop.circle.fill")
            << QByteArray("autoExited");
        QTest::newRow("failed") << VemoState(state().lid(Clamshell::Failed{someError})) << A::failed
                                << MenuBarImage{I::idle, M::none} << triangle << QByteArray("needsAttention");
        QTest::newRow("authorization required while granting")
            << VemoState(state().lid(Clamshell::AuthorizationRequired{}).auth(Authorization::Granting{}))
            << A::authorizationRequired << MenuBarImage{I::idle, M::none}
            << QStringLiteral("exclamationmark.circle.fill") << QByteArray("authorizationRequired");
    }
    void menuBar()
    {
        QFETCH(VemoState, state);
        QFETCH(MenuBarAttention, attention);
        QFETCH(MenuBarImage, image);
        QFETCH(QString, badge);
        QFETCH(QByteArray, toolTip);
        QCOMPARE(menuBarAttention(state), attention);
        QCOMPARE(menuBarIcon(state), image);
        QCOMPARE(badgeSymbol(attention, image.mark).value_or(QString()), badge);
        QCOMPARE(toolTipKey(attention, state), LocalizationKey{toolTip.constData()});
    }

    void menuBarCountdown_data()
    {
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<QString>("text"); // empty: none
        auto running = [](qint64 r) { return state().timed(TimedSession::Running{r}); };
        QTest::newRow("45 minutes keep the hours") << VemoState(running(2700)) << QStringLiteral("0:45:00");
        QTest::newRow("one second short of an hour") << VemoState(running(3599)) << QStringLiteral("0:59:59");
        QTest::newRow("one hour") << VemoState(running(3600)) << QStringLiteral("1:00:00");
        QTest::newRow("3 h 05 min 09 s") << VemoState(running(11109)) << QStringLiteral("3:05:09");
        QTest::newRow("hours beyond two digits") << VemoState(running(360000)) << QStringLiteral("100:00:00");
        QTest::newRow("negative") << VemoState(running(-5)) << QStringLiteral("0:00:00");
        QTest::newRow("indefinite") << VemoState(state().timed(TimedSession::RunningPermanent{})) << QString();
        QTest::newRow("under closed-lid mode")
            << VemoState(running(2700).lid(Clamshell::RunningOnBattery{64})) << QString();
        QTest::newRow("under a leftover") << VemoState(running(2700).residual()) << QString();
        QTest::newRow("beside a safety-stopped closed-lid")
            << VemoState(running(61).lid(Clamshell::SafetyStopped{18})) << QStringLiteral("0:01:01");
    }
    void menuBarCountdown()
    {
        QFETCH(VemoState, state);
        QFETCH(QString, text);
        QCOMPARE(Presentation::menuBarCountdown(state).value_or(QString()), text);
    }

    void timerText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("45 minutes") << qint64(2700) << QStringLiteral("45:00");
        QTest::newRow("under a minute") << qint64(59) << QStringLiteral("0:59");
        QTest::newRow("just under an hour") << qint64(3599) << QStringLiteral("59:59");
        QTest::newRow("one hour") << qint64(3600) << QStringLiteral("1:00:00");
        QTest::newRow("1 h 01 min 01 s") << qint64(3661) << QStringLiteral("1:01:01");
        QTest::newRow("eight hours") << qint64(28800) << QStringLiteral("8:00:00");
        QTest::newRow("negative") << qint64(-5) << QStringLiteral("0:00");
    }
    void timerText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(Presentation::timerText(seconds), text);
    }

    void quitBlockers_data()
    {
        using QuitBlockers::Timed, QuitBlockers::TimedPermanent;
        using namespace ClamshellQuitKinds;
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<Blockers>("blockers");
        QTest::newRow("fresh") << VemoState(state()) << Blockers{};
        QTest::newRow("timed") << VemoState(state().timed(TimedSession::Running{2700})) << Blockers{Timed{2700}};
        QTest::newRow("indefinite with display-awake")
            << VemoState(state().timed(TimedSession::RunningPermanent{}).display(DisplayAwake::On{}))
            << Blockers{TimedPermanent{}};
        QTest::newRow("display-awake alone") << VemoState(state().display(DisplayAwake::On{})) << Blockers{};
        QTest::newRow("session still starting") << VemoState(state().timed(TimedSession::Starting{})) << Blockers{};
        QTest::newRow("timed, then closed-lid on battery")
            << VemoState(state().timed(TimedSession::Running{90}).lid(Clamshell::RunningOnBattery{64}))
            << Blockers{Timed{90}, QuitBlockers::Clamshell{OnBattery{64}}};
        QTest::newRow("closed-lid warning") << VemoState(state().lid(Clamshell::LowBatteryWarning{22}))
                                            << Blockers{QuitBlockers::Clamshell{LowBattery{22}}};
        QTest::newRow("indefinite, then closed-lid on adapter")
            << VemoState(state().timed(TimedSession::RunningPermanent{}).lid(Clamshell::RunningOnPowerAdapter{}))
            << Blockers{TimedPermanent{}, QuitBlockers::Clamshell{OnAdapter{}}};
        QTest::newRow("closed-lid safety-stopped")
            << VemoState(state().lid(Clamshell::SafetyStopped{18})) << Blockers{};
        QTest::newRow("leftover alone") << VemoState(state().residual()) << Blockers{};
    }
    void quitBlockers()
    {
        QFETCH(VemoState, state);
        QFETCH(Blockers, blockers);
        QVERIFY(Presentation::quitBlockers(state) == blockers);
        QCOMPARE(quitDialog(state).has_value(), !blockers.isEmpty());
    }

    void quitDialogIsLookedUpWhenAsked()
    {
        const VemoState running = state().timed(TimedSession::Running{10});
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
        const QuitDialogContent english{QStringLiteral("Quit Quorvel?"),
                                        {QStringLiteral("Quitting turns off every mode and restores your Mac’s "
                                                        "normal sleep settings.")},
                                        QStringLiteral("Quit"),
                                        QStringLiteral("Cancel")};
        QCOMPARE(quitDialog(running), english);

        QVERIFY(Localization::installCatalogue(Localization::Catalogue::simplifiedChinese));
        const auto chinese = quitDialog(running);
        QVERIFY(chinese);
        QCOMPARE(chinese->title, QStringLiteral("要退出 Quorvel 吗？"));
        QCOMPARE(chinese->confirmLabel, QStringLiteral("退出"));
        QCOMPARE(chinese->cancelLabel, QStringLiteral("取消"));
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
    }
};

QTEST_GUILESS_MAIN(PresentationTest)
#include "tst_presentation.moc"
