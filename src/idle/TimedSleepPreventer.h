#pragma once

#include "idle/ChildProcess.h"
#include "records/EventJournal.h"
#include "state/AppStateStore.h"
#include "support/Scheduler.h"
#include "support/UserDefaults.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>
#include <optional>

namespace quorvel {

// Keeps the machine from idle-sleeping by running caffeinate as a child for as long as
// a session lasts. At most one child runs; every change to a running session ends it
// and starts a new one with new arguments, and the end of the old child is what
// launches the new one. All calls, and the child's end report, arrive on the main thread.
class TimedSleepPreventer final : public QObject {
    Q_OBJECT
public:
    static constexpr auto defaultToolPath = "/usr/bin/caffeinate";
    static constexpr qint64 defaultTimedSeconds = 7200;
    static constexpr qint64 adjustmentStep = 1800;
    static constexpr qint64 shortestAdjusted = 1800;
    static constexpr qint64 longestAdjusted = 28800;
    static constexpr std::chrono::milliseconds countdownTick{1000};
    static constexpr std::chrono::milliseconds terminateGrace{500};
    static constexpr std::chrono::milliseconds quitPollInterval{20};
    static constexpr auto displayAwakePreferenceKey = "QuorvelDisplayAwakeLastEnabled";

    // An empty caffeinatePath means the system tool; a parentPID of 0 or less means this
    // application's own process, which is what the tool watches with "-w".
    TimedSleepPreventer(QPointer<AppStateStore> store, QString caffeinatePath, qint32 parentPID,
                        std::shared_ptr<UserDefaults> defaults, std::shared_ptr<EventJournal> eventJournal,
                        std::shared_ptr<Scheduler> scheduler,
                        ChildProcessFactory makeProcess = liveChildProcessFactory(), QObject *parent = nullptr);
    ~TimedSleepPreventer() override;

    // Why a session is asked to end: by the person, or because what it was kept for (a
    // process, a command) has ended, which counts as the session's natural end.
    enum class StopCause { user, bindingEnded };

    void startTimed(qint64 seconds);
    void startPermanent();
    void stop(StopCause cause = StopCause::user);
    void adjustRemaining(qint64 by);
    void switchToPermanent();
    void switchToTimed(std::optional<qint64> seconds = std::nullopt);
    void setDisplayAwake(bool enabled);
    // Ends the child at quit, blocking for at most the terminate grace plus one poll.
    // Leaves the store alone; always reports success.
    bool cleanup();

    // "-w", P, "-i", ["-d"], ["-t", N]; no seconds means an indefinite session.
    static QStringList makeArguments(qint32 parentPID, std::optional<qint64> seconds, bool displayAwake);

    QString caffeinatePath() const { return m_caffeinatePath; }
    qint32 parentPID() const { return m_parentPID; }
    qint64 durationSeconds() const { return m_durationSeconds; }
    qint64 lastTimedRemainingSeconds() const { return m_lastTimedRemainingSeconds; }
    bool displayAwakeEnabled() const { return m_displayAwakeEnabled; }
    bool isRelaunching() const { return m_isRelaunching; }
    // The current child's process id, or 0 when there is none.
    qint64 childPID() const;

private:
    bool beginFreshStart();
    bool checkCaffeinateAvailable();
    void launchTimed(qint64 seconds, bool isFreshStart);
    void launchPermanent(bool isFreshStart);
    std::unique_ptr<ChildProcess> spawn(std::optional<qint64> seconds);
    void relaunch(qint64 seconds);
    void terminateWithFallback(ChildProcess &child, std::chrono::milliseconds grace);
    void terminateAndWait(ChildProcess &child, std::chrono::milliseconds grace);
    void handleTermination(quint64 serial, int status);
    void markLaunchFailed(VemoError error);
    // The platform refused to start the child: failed state, the given error line, timedFailed.
    void reportLaunchRefused(const QString &line);
    void syncDisplayAwake();
    void startCountdown();
    bool childRunning() const;
    void record(VemoEventKind kind);
    // A change made by hand (more, less, indefinite, timed) leaves the session unbound.
    void unbind();
    std::optional<SessionBinding> freshBinding() const;

    struct Countdown;
    void scheduleCountdownStep(const std::shared_ptr<Countdown> &countdown, qint64 r);

    QPointer<AppStateStore> m_store;
    QString m_caffeinatePath;
    qint32 m_parentPID;
    std::shared_ptr<UserDefaults> m_defaults;
    std::shared_ptr<EventJournal> m_eventJournal;
    std::shared_ptr<Scheduler> m_scheduler;
    ChildProcessFactory m_makeProcess;

    std::unique_ptr<ChildProcess> m_process;
    quint64 m_processSerial = 0; // tells the current child's end report from a stale one
    JobHandle m_countdownTask;
    qint64 m_durationSeconds = 0;
    bool m_intentionalStop = false;
    bool m_stopEndsNaturally = false;
    bool m_isRelaunching = false;
    std::optional<qint64> m_pendingRelaunchSeconds;
    bool m_pendingSwitchToPermanent = false;
    bool m_displayAwakeEnabled = false;
    std::optional<bool> m_pendingDisplayAwake;
    JobHandle m_terminationFallbackTask;
    qint64 m_lastTimedRemainingSeconds = defaultTimedSeconds;
};

} // namespace quorvel
