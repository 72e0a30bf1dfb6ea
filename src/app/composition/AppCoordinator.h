#pragma once

#include "app/composition/PlatformNotes.h"
#include "app/composition/SessionEndNotices.h"
#include "closedlid/ClosedLidModule.h"
#include "closedlid/SystemCommands.h"
#include "idle/SessionBinder.h"
#include "idle/TimedSleepPreventer.h"
#include "power/PowerMonitor.h"
#include "prefs/LaunchAtLoginController.h"
#include "records/EventJournal.h"
#include "state/AppStateStore.h"
#include "update/BundleInfo.h"
#include "update/UpdateChecker.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace quorvel {

struct LivePlatform;

// A caffeinate process that was already running at start-up.
struct ResidualProcess {
    qint32 pid = 0;
    QString command;
    bool operator==(const ResidualProcess &) const = default;
};

// pgrep -l output: "<pid> <name>" per line; lines that are not of that shape are skipped.
QList<ResidualProcess> parsePgrepOutput(const QString &output);

// The quit confirmations: final texts in the interface language, warning style, the
// "exclamationmark.triangle.fill" symbol, two buttons (first answers 1000).
struct QuitAlert {
    static constexpr auto iconName = "exclamationmark.triangle.fill";
    QString messageText;
    QString informativeText;
    QString firstButton;
    QString secondButton;
    bool operator==(const QuitAlert &) const = default;
};
using QuitAlertPresenter = std::function<int(const QuitAlert &)>;

// The one top-level object: owns the object graph, runs start-up, admits the user's
// idle-sleep commands and handles quitting with its clean-up. Main thread only.
class AppCoordinator final {
public:
    // What the coordinator is built from; makeLive() fills it with the platform's values,
    // tests with their own.
    struct Parts {
        std::unique_ptr<AppStateStore> store;
        std::shared_ptr<EventJournal> eventJournal;
        std::unique_ptr<TimedSleepPreventer> timedController;
        std::unique_ptr<PowerMonitor> powerMonitor;
        std::shared_ptr<LaunchAtLoginController> launchAtLogin;
        std::unique_ptr<UpdateChecker> updateChecker;
        // The checker as the closed-lid module sees it: only its pending jobs, cancelled at quit.
        std::unique_ptr<PendingUpdateJobs> updateJobs;
        QuitAlertPresenter alertPresenter;
        std::function<void()> terminator;
        CommandRunner runner; // for pgrep at start-up
        BundleInfo bundle;
        PlatformNotes notes;
        // Watching the processes a session is kept for; without it no session can be bound.
        ProcessWatching processWatching;
        // The desktop notices of endings nobody asked for; none without it.
        std::unique_ptr<SessionEndNotices> sessionEndNotices;
    };

    explicit AppCoordinator(Parts parts);
    ~AppCoordinator();
    AppCoordinator(const AppCoordinator &) = delete;
    AppCoordinator &operator=(const AppCoordinator &) = delete;

    // Builds the whole graph for the platform chosen once for this process (macOS, or the
    // simulated platform elsewhere), or for the given platform values.
    static std::unique_ptr<AppCoordinator> makeLive();
    static std::unique_ptr<AppCoordinator> makeLive(LivePlatform platform);

    void setClosedLidModule(std::unique_ptr<ClosedLidModule> module);
    // The quit confirmations go through this presenter; a front end may wrap it (the terminal
    // shell prints each alert before it is answered).
    const QuitAlertPresenter &quitAlertPresenter() const { return m_parts.alertPresenter; }
    void setQuitAlertPresenter(QuitAlertPresenter presenter) { m_parts.alertPresenter = std::move(presenter); }

    void start();
    void detectResidualCaffeinate();
    // The start-up job after launch: leftover caffeinate processes, then closed-lid leftovers.
    void runStartupChecks();

    void startTimed(qint64 seconds);
    void startPermanent();
    void stopTimed();
    void setDisplayAwake(bool enabled);

    void requestQuit();
    void cleanupAll();
    void handleWillTerminate();
    void handleWillPowerOff();
    // A termination signal (SIGTERM, SIGINT, SIGHUP): nobody can be asked, so the clean-up runs
    // at once and the application ends as after a confirmed quit.
    void handleTerminationSignal(const QString &signalName);

    AppStateStore &store() { return *m_parts.store; }
    EventJournal &eventJournal() { return *m_parts.eventJournal; }
    TimedSleepPreventer &timedController() { return *m_parts.timedController; }
    PowerMonitor &powerMonitor() { return *m_parts.powerMonitor; }
    LaunchAtLoginController &launchAtLogin() { return *m_parts.launchAtLogin; }
    UpdateChecker *updateChecker() { return m_parts.updateChecker.get(); }
    ClosedLidModule *closedLidModule() { return m_closedLidModule.get(); }
    const PlatformNotes &platformNotes() const { return m_parts.notes; }
    SessionBinder &sessionBinder() { return *m_binder; }

    bool lastCleanupWasClean() const { return m_lastCleanupWasClean; }
    QList<ModuleId> lastCleanupFailedModules() const { return m_lastCleanupFailedModules; }

private:
    bool isBlocked(const VemoState &state) const;
    // Cleans up and terminates; `sleepWarningShown` tells whether the user has already agreed
    // to leave sleep disabled.
    void quitNow(bool sleepWarningShown);
    bool ask(const QuitAlert &alert) const;
    void record(VemoEventKind kind, std::optional<SystemEvidence> evidence = std::nullopt);

    Parts m_parts;
    std::unique_ptr<SessionBinder> m_binder;
    // Declared after the parts it points into, so it goes first at destruction.
    std::unique_ptr<ClosedLidModule> m_closedLidModule;
    bool m_lastCleanupWasClean = true;
    QList<ModuleId> m_lastCleanupFailedModules;
    bool m_cleanupEventEmitted = false;
    bool m_appQuitLogged = false;
};

} // namespace quorvel
