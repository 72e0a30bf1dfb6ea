#include "prefs/Localization.h"
#include "ui/Presentation.h"

#include <QTest>

using namespace quorvel;
using namespace quorvel::Presentation;
namespace TS = TimedSession;
namespace DA = DisplayAwake;
namespace CS = Clamshell;
namespace AU = Authorization;
Q_DECLARE_METATYPE(quorvel::VemoState)

namespace {

// A state built by chained setters, so that a row fits on one line.
struct S {
    VemoState s;
    S &run(qint64 remaining) { return s.timedSession = TS::Running{remaining}, *this; }
    S &timed(TimedSessionState t) { return s.timedSession = t, *this; }
    S &display(DisplayAwakeState d) { return s.displayAwake = d, *this; }
    S &lid(ClamshellState c) { return s.clamshell = c, *this; }
    S &auth(AuthorizationState a) { return s.authorization = a, *this; }
    S &residual(std::optional<VemoError> e = {}) { return s.startupResidual = true, s.lastError = e, *this; }
    S &power(auto level, PowerSource p = PowerSource::battery) { return s.power = {p, level, {}, {}, {}}, *this; }
    operator VemoState() const { return s; }
};

const auto names = [](const char *list) { return QString::fromLatin1(list).split(' '); };
const QStringList idleNames = names("remaining off starting permanent stopping viaClosedLid residual failed");
const QStringList displayNames = names("systemDefault switching wakeSession couldNotTurnOn");
const QStringList lidNames = names("onBattery lowBattery safetyStopped off transitioning onAdapter authorizationNeeded "
                                   "authorizing failed authorizationRevoked residualAuthorized residualUnauthorized");
const QStringList tones = names("neutral busy active warning error");
const QStringList actions = names("none retry batteryInfo adjustTimed authorize safetyStopInfo residualNeedsAuth");
const QStringList attentions = names("none startupResidual lowBattery safetyStopped authorizationRequired failed");
const QStringList icons = names("idle display active lidMode"), marks = names("none timed indefinite");
const QStringList blockers = names("timed timedPermanent lid display"), kinds = names("onAdapter onBattery lowBattery");

// A case name with its one payload value in brackets: "remaining(2700)", "lid(onBattery(64))".
template <class V> QString named(const V &v, const QStringList &names)
{
    const auto payload = [](const auto &x) -> QString {
        if constexpr (requires { std::decay_t<decltype(x)>{{}}; }) {
            const auto &[value] = x;
            if constexpr (requires { value.index(); })
                return '(' + named(value, kinds) + ')';
            return '(' + QVariant::fromValue(value).toString() + ')';
        }
        return QString();
    };
    return names[v.index()] + std::visit(payload, v);
}

// Switch ("on"/"off", in brackets when it cannot be flipped), status, tone, action unless none, subtitle key.
template <class Status> QString row(const ToggleRowModel<Status> &r, const QString &status, LocalizationKey subtitle)
{
    const QString control = QLatin1String(r.control.isOn ? "on" : "off");
    QStringList words{r.control.isEnabled ? control : '[' + control + ']', status, tones[int(r.tone)]};
    if (r.action.index() != 0)
        words << named(r.action, actions);
    return (words << subtitle.id).join(' ');
}

// Every part of the menu for one state, in English; the auto-exit threshold is 20 throughout.
QMap<QString, QString> describe(const VemoState &s)
{
    const auto idle = idleWakeRow(s);
    const auto display = displayWakeRow(s);
    const auto lid = closedLidRow(s, 20);
    const auto attention = menuBarAttention(s);
    const auto icon = menuBarIcon(s);
    QStringList quit;
    for (const QuitBlocker &b : quitBlockers(s))
        quit << named(b, blockers);
    const auto lidText = closedLidStatusText(lid.status, 20);
    const auto *running = std::get_if<TS::Running>(&s.timedSession);
    return {
        {"idle", row(idle, named(idle.status, idleNames), idleRowSubtitleKey(s))},
        {"display", row(display, displayNames[int(display.status)], displayRowSubtitleKey(display.status))},
        {"lid", row(lid, named(lid.status, lidNames), closedLidSubtitleKey(lid.status, s))
                    + (lidText ? " \"" + *lidText + '"' : QString())},
        {"bar", QStringList{attentions[int(attention)], icons[int(icon.icon)] + '/' + marks[int(icon.mark)],
                            badgeSymbol(attention, icon.mark).value_or("-"), toolTipKey(attention, s).id,
                            menuBarCountdown(s).value_or("-")}
                    .join(' ')},
        {"countdown", menuBarCountdown(s).value_or("-") + ' ' + (running ? timerText(running->remainingSeconds) : "-")},
        {"quit", quit.isEmpty() ? QStringLiteral("-") : quit.join(' ')},
    };
}

} // namespace

class PresentationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(Localization::installCatalogue(Localization::Catalogue::english)); }

    // Each row names the parts it checks: "part=words; part=words". TRIANGLE is the warning badge.
    void states_data()
    {
        QTest::addColumn<VemoState>("state");
        QTest::addColumn<QString>("expected");
        auto add = [](const char *name, const VemoState &s, QString expected) {
            QTest::newRow(name) << s << expected.replace("TRIANGLE", "exclamationmark.triangle.fill");
        };
        add("fresh", S(),
            "idle=off off neutral notActive; display=[off] systemDefault neutral systemDefault; "
            "lid=off off neutral offState; bar=none idle/none - runningOnSystemPolicy -; quit=-");
        add("timed", S().run(2700),
            "idle=on remaining(2700) active adjustTimed keepingAwake; display=off systemDefault neutral systemDefault; "
            "bar=none active/timed timer preventingIdleSleep 0:45:00; quit=timed(2700)");
        add("indefinite, display on", S().timed(TS::RunningPermanent{}).display(DA::On{}),
            "idle=on permanent active adjustTimed activeDisplayOn; display=on wakeSession active wakeSession; "
            "bar=none active/indefinite infinity permanentlyPreventing -; quit=timedPermanent");
        add("display on", S().display(DA::On{}),
            "display=on wakeSession active wakeSession; bar=none display/none - keepingRunning -; quit=-");
        add("lid on battery, timed", S().run(50).lid(CS::RunningOnBattery{64}).power(64),
            "idle=[on] viaClosedLid active viaClosedLidMode; display=[off] systemDefault neutral systemDefault; "
            "lid=on onBattery(64) active batteryInfo(true) closedLidRunningBatteryStatus \"On battery · 64% · "
            "turns off at 20%\"; bar=none lidMode/none - keepingRunning -; quit=timed(50) lid(onBattery(64))");
        add("lid on adapter", S().lid(CS::RunningOnPowerAdapter{}),
            "lid=on onAdapter active batteryInfo(false) closedLidRunningPowerStatus \"On · Power adapter\"; "
            "bar=none lidMode/none - closedLidRunning -; quit=lid(onAdapter)");
        add("lid low, timed failed", S().timed(TS::Failed{}).lid(CS::LowBatteryWarning{22}).power(22),
            "idle=[on] viaClosedLid active viaClosedLidMode; lid=on lowBattery(22) warning batteryInfo(true) "
            "closedLidRunningLowBatteryStatus \"Battery low · 22% · turns off at 20%\"; "
            "bar=lowBattery lidMode/none TRIANGLE lowBattery -; quit=lid(lowBattery(22))");
        add("leftover, timed", S().run(100).residual(),
            "idle=[on] residual active viaClosedLidMode; display=[off] systemDefault neutral systemDefault; "
            "lid=[on] residualUnauthorized error residualNeedsAuth readOnlyNoAuth; "
            "bar=startupResidual lidMode/none TRIANGLE needsAttention -; quit=timed(100)");
        add("leftover, granted", S().residual().auth(AU::Granted{}), "lid=on residualAuthorized busy sleepBlocked");
        add("restore failed", S().residual(VemoError::clamshellRestoreFailed).auth(AU::Granted{}),
            "lid=on residualAuthorized busy restoreFailed");
        add("safety below T, timed", S().run(100).lid(CS::SafetyStopped{18}).power(18),
            "idle=on remaining(100) active adjustTimed keepingAwake; lid=[off] safetyStopped(18) warning "
            "safetyStopInfo autoExited; bar=safetyStopped active/timed stop.circle.fill autoExited 0:01:40");
        add("safety at T", S().lid(CS::SafetyStopped{20}).power(20),
            "lid=[off] safetyStopped(20) warning safetyStopInfo autoExited");
        add("safety above T", S().lid(CS::SafetyStopped{18}).power(25), "lid=off safetyStopped(18) warning autoExited");
        add("safety on adapter", S().lid(CS::SafetyStopped{18}).power(18, PowerSource::powerAdapter),
            "lid=off safetyStopped(18) warning autoExited");
        add("failed, level unknown", S().lid(CS::Failed{}).power(std::nullopt),
            "lid=[off] failed error retry(true) failed; bar=failed idle/none TRIANGLE needsAttention -; quit=-");
        add("failed at T", S().lid(CS::Failed{}).power(20), "lid=[off] failed error retry(false) failed");
        add("lid starting", S().lid(CS::Starting{}), "lid=[on] transitioning busy ellipsis");
        add("auth granting", S().lid(CS::AuthorizationRequired{}).auth(AU::Granting{}),
            "lid=[off] authorizing busy authorizing; "
            "bar=authorizationRequired idle/none exclamationmark.circle.fill authorizationRequired -");
        add("auth denied", S().lid(CS::AuthorizationRequired{}).auth(AU::Denied{}),
            "lid=[off] failed error retry(true) failed");
        add("revoked", S().auth(AU::Revoked{}), "lid=off authorizationRevoked neutral authorizationRevokedState");
        add("required", S().auth(AU::Required{}), "lid=off authorizationNeeded warning authorize authorizationNeeded");
        // A restore that did not prove itself outranks every other notice, and keeps the row on.
        VemoState unproven = S().lid(CS::LowBatteryWarning{22}).power(22);
        unproven.lastError = VemoError::clamshellRestoreFailed;
        add("lid low, restore failed", unproven,
            "lid=on lowBattery(22) warning batteryInfo(true) closedLidRunningLowBatteryStatus \"Battery low · 22% · "
            "turns off at 20%\"; bar=failed lidMode/none TRIANGLE needsAttention -");
        add("starting", S().timed(TS::Starting{}), "idle=[on] starting busy turningOn");
        add("failed", S().timed(TS::Failed{VemoError::processExitedUnexpectedly}),
            "idle=off failed error turnOnFailed; bar=none idle/none - runningOnSystemPolicy -");
        add("no caffeinate", S().timed(TS::Failed{VemoError::caffeinateUnavailable}),
            "idle=off failed error turnOnFailed; bar=failed idle/none TRIANGLE needsAttention -");
        add("display failed", S().display(DA::Failed{}), "display=[off] couldNotTurnOn error couldNotTurnOn");
        // Menu-bar countdown, then the adjustment panel's timer.
        add("-5 s", S().run(-5), "countdown=0:00:00 0:00");
        add("59 s", S().run(59), "countdown=0:00:59 0:59");
        add("2700 s", S().run(2700), "countdown=0:45:00 45:00");
        add("3600 s", S().run(3600), "countdown=1:00:00 1:00:00");
        add("360000 s", S().run(360000), "countdown=100:00:00 100:00:00");
    }
    void states()
    {
        QFETCH(VemoState, state);
        QFETCH(QString, expected);
        QStringList actual;
        for (const QString &part : expected.split(QStringLiteral("; ")))
            actual << part.section('=', 0, 0) + '=' + describe(state).value(part.section('=', 0, 0), "?");
        QCOMPARE(actual.join(QStringLiteral("; ")), expected);
        QCOMPARE(quitDialog(state).has_value(), !quitBlockers(state).isEmpty());
    }

    void quitDialogIsLookedUpInTheInterfaceLanguage()
    {
        const auto dialog = quitDialog(S().run(10)).value();
        QCOMPARE(dialog.title + '|' + dialog.confirmLabel + '|' + dialog.cancelLabel, "Quit Quorvel?|Quit|Cancel");
        QCOMPARE(dialog.bodyLines,
                 QStringList{"Quitting turns off every mode and restores your Mac’s normal sleep settings."});
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::simplifiedChinese));
        QCOMPARE(quitDialog(S().run(10))->title, QStringLiteral("要退出 Quorvel 吗？"));
        QVERIFY(Localization::installCatalogue(Localization::Catalogue::english));
    }
};

QTEST_GUILESS_MAIN(PresentationTest)
#include "tst_presentation.moc"
