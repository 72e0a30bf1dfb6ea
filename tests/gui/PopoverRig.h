#pragma once

// A menu popover over a whole simulated application (composition/SimApp.h): real stand-in
// tools, a virtual-time scheduler, scripted quit answers, English until told otherwise.
// Also the entry point for pictures: set one of the named states, grab the popover.

#include "composition/SimApp.h"

#include "prefs/LanguageController.h"
#include "ui/MenuPopover.h"
#include "update/UpdateChecker.h"

#include <QTimer>

namespace quorvel::test {

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

struct PopoverRig {
    SimApp app;
    LanguageController language{app.defaults};
    int settingsOpened = 0;
    MenuPopover popover{*app.app, language, [this] { ++settingsOpened; }};
    std::unique_ptr<UpdateChecker> checker;

    explicit PopoverRig(PlatformNotes notes = {})
        : app(R"({"source":"ac","lowPower":false})", notes)
    {
        language.setPreference(LanguagePreference::en);
    }

    // Opens it under a status item at the top of the screen; the authorization is re-read.
    void open() { popover.showUnder(QRect(600, 0, 22, 22)); }

    template <class T = QWidget> T *find(const QString &name) const { return popover.findChild<T *>(name); }

    AppStateStore &store() { return app.app->store(); }

    void setState(const VemoState &state) { store().setState(state); }

    // Hands the popover a checker that is about to learn of a newer release.
    UpdateChecker &offerUpdate()
    {
        checker = std::make_unique<UpdateChecker>(std::make_shared<NewerReleaseFeed>(),
                                                  QUrl("https://updates.example/quorvel/"), Clock::system(),
                                                  app.defaults, BundleInfo{"0.1.0", "1"}, app.scheduler);
        popover.setUpdateChecker(checker.get());
        checker->checkNow();
        return *checker;
    }
};

// The states the popover is tested and pictured in, by name: each starts from a quiet state
// with the rule in place, on the power adapter.
inline const QList<std::pair<const char *, std::function<void(VemoState &)>>> &menuStates()
{
    using namespace TimedSession;
    using namespace Clamshell;
    const auto battery = [](qint64 level) { return PowerContext{PowerSource::battery, level, {}, {}, {}}; };
    static const QList<std::pair<const char *, std::function<void(VemoState &)>>> states = {
        {"fresh-unknown", [](VemoState &s) { s.authorization = Authorization::Unknown{}; }},
        {"fresh-no-rule", [](VemoState &s) { s.authorization = Authorization::Required{}; }},
        {"timed-two-hours", [](VemoState &s) { s.timedSession = Running{7200}; }},
        {"timed-at-minimum", [](VemoState &s) { s.timedSession = Running{1800}; }},
        {"timed-above-minimum", [](VemoState &s) { s.timedSession = Running{1801}; }},
        {"timed-at-maximum", [](VemoState &s) { s.timedSession = Running{28800}; }},
        {"indefinite-display-on",
         [](VemoState &s) { s.timedSession = RunningPermanent{}, s.displayAwake = DisplayAwake::On{}; }},
        {"starting", [](VemoState &s) { s.timedSession = TimedSession::Starting{}; }},
        {"stopping", [](VemoState &s) { s.timedSession = TimedSession::Stopping{}; }},
        {"timed-failed", [](VemoState &s) { s.timedSession = TimedSession::Failed{VemoError::caffeinateUnavailable}; }},
        {"lid-on-battery",
         [=](VemoState &s) {
             s.power = battery(64), s.timedSession = Running{3000}, s.clamshell = RunningOnBattery{64};
         }},
        {"lid-on-adapter", [](VemoState &s) { s.clamshell = RunningOnPowerAdapter{}; }},
        {"lid-low-battery", [=](VemoState &s) { s.power = battery(23), s.clamshell = LowBatteryWarning{23}; }},
        {"lid-safety-stopped", [=](VemoState &s) { s.power = battery(18), s.clamshell = SafetyStopped{18}; }},
        {"lid-safety-stopped-charging",
         [](VemoState &s) { s.power.batteryLevel = 18, s.clamshell = SafetyStopped{18}; }},
        {"lid-failed", [](VemoState &s) { s.clamshell = Clamshell::Failed{VemoError::readbackMismatch}; }},
        {"lid-authorizing",
         [](VemoState &s) { s.clamshell = AuthorizationRequired{}, s.authorization = Authorization::Granting{}; }},
        {"leftover-authorized", [](VemoState &s) { s.startupResidual = true; }},
        {"leftover-unauthorized",
         [](VemoState &s) { s.startupResidual = true, s.authorization = Authorization::Required{}; }},
    };
    return states;
}

inline VemoState menuState(const QString &name)
{
    VemoState s;
    s.power.powerSource = PowerSource::powerAdapter;
    s.authorization = Authorization::Granted{};
    for (const auto &[stateName, apply] : menuStates())
        if (name == QLatin1String(stateName))
            apply(s);
    return s;
}

} // namespace quorvel::test
