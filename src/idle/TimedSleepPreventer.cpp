#include "idle/TimedSleepPreventer.h"

#include "records/DiagnosticLog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <limits>

namespace quorvel {

using DiagnosticLog::Category;
using DiagnosticLog::Level;

// The countdown is a chain of one-second jobs; this handle cancels whichever link is
// pending, and its flag also stops a link that is running right now (a tick's
// publication may lead an observer to stop or change the session).
struct TimedSleepPreventer::Countdown final : ScheduledJob {
    JobHandle pending;
    bool cancelled = false;
    void cancel() override
    {
        cancelled = true;
        cancelAndClear(pending);
    }
    bool isCancelled() const override { return cancelled; }
};

TimedSleepPreventer::TimedSleepPreventer(QPointer<AppStateStore> store, QString caffeinatePath, qint32 parentPID,
                                         std::shared_ptr<UserDefaults> defaults,
                                         std::shared_ptr<EventJournal> eventJournal,
                                         std::shared_ptr<Scheduler> scheduler, ChildProcessFactory makeProcess,
                                         QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_caffeinatePath(caffeinatePath.isEmpty() ? QString::fromLatin1(defaultToolPath) : std::move(caffeinatePath))
    , m_parentPID(parentPID > 0 ? parentPID : qint32(QCoreApplication::applicationPid()))
    , m_defaults(std::move(defaults))
    , m_eventJournal(std::move(eventJournal))
    , m_scheduler(scheduler ? std::move(scheduler) : std::make_shared<QtScheduler>())
    , m_makeProcess(makeProcess ? std::move(makeProcess) : liveChildProcessFactory())
{
}

TimedSleepPreventer::~TimedSleepPreventer()
{
    cancelAndClear(m_countdownTask);
    cancelAndClear(m_terminationFallbackTask);
    // m_process goes with us; its handle kills and reaps a child that still runs.
}

QStringList TimedSleepPreventer::makeArguments(qint32 parentPID, std::optional<qint64> seconds, bool displayAwake)
{
    QStringList arguments{QStringLiteral("-w"), QString::number(parentPID), QStringLiteral("-i")};
    if (displayAwake)
        arguments << QStringLiteral("-d");
    if (seconds)
        arguments << QStringLiteral("-t") << QString::number(*seconds);
    return arguments;
}

qint64 TimedSleepPreventer::childPID() const
{
    return m_process ? m_process->pid() : 0;
}

bool TimedSleepPreventer::childRunning() const
{
    return m_process && m_process->isRunning();
}

void TimedSleepPreventer::record(VemoEventKind kind)
{
    if (m_eventJournal)
        m_eventJournal->append(VemoEvent::make(std::move(kind)));
}

void TimedSleepPreventer::unbind()
{
    if (m_store)
        m_store->setSessionBinding(std::nullopt);
}

// The binding is set before the session starts, so the start's history line can say what
// the session is for.
std::optional<SessionBinding> TimedSleepPreventer::freshBinding() const
{
    return m_store ? m_store->state().sessionBinding : std::nullopt;
}

// --- starting --------------------------------------------------------------------------

void TimedSleepPreventer::startTimed(qint64 seconds)
{
    if (seconds < 1 || m_process)
        return;
    if (!beginFreshStart() || !checkCaffeinateAvailable())
        return;
    m_displayAwakeEnabled = m_defaults && m_defaults->value(QString::fromLatin1(displayAwakePreferenceKey)).toBool();
    if (m_store)
        m_store->setDisplayAwake(DisplayAwake::Off{});
    launchTimed(seconds, true);
}

void TimedSleepPreventer::startPermanent()
{
    if (m_process)
        return;
    if (!beginFreshStart() || !checkCaffeinateAvailable())
        return;
    m_displayAwakeEnabled = m_defaults && m_defaults->value(QString::fromLatin1(displayAwakePreferenceKey)).toBool();
    if (m_store)
        m_store->setDisplayAwake(DisplayAwake::Off{});
    launchPermanent(true);
}

// Admits a fresh start: moves an idle session to `starting` unless closed-lid mode or
// an unresolved leftover forbids it, and goes on only when the session reads `starting`
// afterwards (the coordinator may have set it already). Without a store there is
// nothing to admit against and nowhere to show a session, so nothing starts.
bool TimedSleepPreventer::beginFreshStart()
{
    if (!m_store)
        return false;
    VemoState copy = m_store->state();
    const bool idle = is<TimedSession::Off>(copy.timedSession) || is<TimedSession::Ended>(copy.timedSession)
                      || is<TimedSession::Failed>(copy.timedSession);
    if (idle && !isClamshellRunning(copy.clamshell) && !copy.startupResidual)
        copy.timedSession = TimedSession::Starting{};
    m_store->setState(copy);
    return m_store && is<TimedSession::Starting>(m_store->state().timedSession);
}

bool TimedSleepPreventer::checkCaffeinateAvailable()
{
    const QFileInfo tool(m_caffeinatePath);
    if (tool.isFile() && tool.isExecutable())
        return true;
    if (m_store)
        m_store->setTimedFailed(VemoError::caffeinateUnavailable);
    DiagnosticLog::log(Level::error, Category::timed,
                       QStringLiteral("timed launch failed, reason=caffeinateUnavailable"));
    record(EventKind::TimedFailed{});
    return false;
}

std::unique_ptr<ChildProcess> TimedSleepPreventer::spawn(std::optional<qint64> seconds)
{
    auto child = m_makeProcess(m_caffeinatePath, makeArguments(m_parentPID, seconds, m_displayAwakeEnabled));
    if (!child)
        return nullptr;
    const quint64 serial = ++m_processSerial;
    child->setFinishedHandler([self = QPointer<TimedSleepPreventer>(this), serial](int status) {
        if (self)
            self->handleTermination(serial, status);
    });
    if (!child->start())
        return nullptr;
    return child;
}

void TimedSleepPreventer::launchTimed(qint64 seconds, bool isFreshStart)
{
    auto child = spawn(seconds);
    if (!child) {
        reportLaunchRefused(QStringLiteral("timed launch failed, reason=processLaunchFailed"));
        return;
    }
    m_process = std::move(child);
    m_durationSeconds = seconds;
    m_lastTimedRemainingSeconds = seconds;
    if (m_store)
        m_store->setTimedRunning(seconds);
    syncDisplayAwake();
    if (isFreshStart) {
        DiagnosticLog::log(Level::info, Category::timed,
                           QStringLiteral("timed session started, seconds=%1").arg(seconds));
        record(EventKind::TimedStarted{seconds, freshBinding()});
    } else {
        DiagnosticLog::log(Level::info, Category::timed,
                           QStringLiteral("timed session adjusted (relaunch), seconds=%1").arg(seconds));
    }
    startCountdown();
}

void TimedSleepPreventer::launchPermanent(bool isFreshStart)
{
    auto child = spawn(std::nullopt);
    if (!child) {
        reportLaunchRefused(QStringLiteral("timed permanent launch failed, reason=processLaunchFailed"));
        return;
    }
    m_process = std::move(child);
    m_durationSeconds = 0;
    if (m_store)
        m_store->setTimedSession(TimedSession::RunningPermanent{});
    syncDisplayAwake();
    if (isFreshStart) {
        DiagnosticLog::log(Level::info, Category::timed, QStringLiteral("timed permanent session started"));
        record(EventKind::TimedStarted{0, freshBinding()});
    } else {
        DiagnosticLog::log(Level::info, Category::timed, QStringLiteral("timed session switched to permanent"));
    }
}

void TimedSleepPreventer::reportLaunchRefused(const QString &line)
{
    markLaunchFailed(VemoError::processLaunchFailed);
    DiagnosticLog::log(Level::error, Category::timed, line);
    record(EventKind::TimedFailed{});
}

void TimedSleepPreventer::markLaunchFailed(VemoError error)
{
    const bool displayStarting = m_store && is<DisplayAwake::Starting>(m_store->state().displayAwake);
    if (m_displayAwakeEnabled || displayStarting) {
        if (m_store)
            m_store->setDisplayAwakeFailed(error);
        record(EventKind::DisplayAwakeFailed{});
    } else if (m_store) {
        m_store->setDisplayAwake(DisplayAwake::Off{});
    }
    if (m_store)
        m_store->setTimedFailed(error);
}

// A fresh start has already shown display-awake as off, so only a toggle that the
// coordinator announced (`starting` / `stopping`) is logged and recorded here.
void TimedSleepPreventer::syncDisplayAwake()
{
    std::optional<DisplayAwakeState> before;
    if (m_store)
        before = m_store->state().displayAwake;
    if (m_displayAwakeEnabled) {
        if (m_store)
            m_store->setDisplayAwake(DisplayAwake::On{});
        if (before && is<DisplayAwake::Starting>(*before)) {
            DiagnosticLog::log(Level::info, Category::display, QStringLiteral("display awake joined current session"));
            record(EventKind::DisplayAwakeOn{});
        }
    } else {
        if (m_store)
            m_store->setDisplayAwake(DisplayAwake::Off{});
        if (before && is<DisplayAwake::Stopping>(*before)) {
            DiagnosticLog::log(Level::info, Category::display, QStringLiteral("display awake left current session"));
            record(EventKind::DisplayAwakeOff{});
        }
    }
}

// --- countdown -------------------------------------------------------------------------

// Counts ticks, not wall time, and never ends the session: the tool's own "-t" does.
void TimedSleepPreventer::startCountdown()
{
    cancelAndClear(m_countdownTask);
    auto countdown = std::make_shared<Countdown>();
    m_countdownTask = countdown;
    if (m_durationSeconds >= 1)
        scheduleCountdownStep(countdown, m_durationSeconds);
}

void TimedSleepPreventer::scheduleCountdownStep(const std::shared_ptr<Countdown> &countdown, qint64 r)
{
    // The link holds the countdown weakly: once we drop the handle the chain is over.
    std::weak_ptr<Countdown> weak = countdown;
    QPointer<TimedSleepPreventer> self(this);
    countdown->pending = m_scheduler->after(countdownTick, [self, weak, r] {
        auto countdown = weak.lock();
        if (!self || !countdown || countdown->cancelled)
            return;
        if (self->m_store)
            self->m_store->setTimedRunning(r - 1);
        if (!self || countdown->cancelled || r < 2)
            return;
        self->scheduleCountdownStep(countdown, r - 1);
    });
}

// --- changes to a running session -------------------------------------------------------

void TimedSleepPreventer::adjustRemaining(qint64 by)
{
    if (by == 0 || !childRunning() || !m_store)
        return;
    const auto *running = std::get_if<TimedSession::Running>(&m_store->state().timedSession);
    if (!running)
        return;
    const qint64 remaining = running->remainingSeconds;
    // Taking time from a session with half an hour or less left ends it.
    if (by < 0 && remaining <= shortestAdjusted) {
        stop();
        return;
    }
    // Saturate instead of overflowing on absurd deltas; the clamps below bound it anyway.
    qint64 wanted = 0;
    if (__builtin_add_overflow(remaining, by, &wanted))
        wanted = by > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    if (wanted >= longestAdjusted) {
        wanted = longestAdjusted;
        if (remaining == longestAdjusted)
            return;
    } else if (wanted < shortestAdjusted) {
        wanted = shortestAdjusted;
        if (remaining == shortestAdjusted)
            return;
    } else if (wanted == remaining) {
        return;
    }
    unbind();
    relaunch(wanted);
}

void TimedSleepPreventer::relaunch(qint64 seconds)
{
    m_pendingRelaunchSeconds = seconds;
    m_pendingSwitchToPermanent = false;
    m_isRelaunching = true;
    m_intentionalStop = true;
    cancelAndClear(m_countdownTask);
    if (m_process)
        terminateWithFallback(*m_process, terminateGrace);
}

void TimedSleepPreventer::switchToPermanent()
{
    const auto *running = m_store ? std::get_if<TimedSession::Running>(&m_store->state().timedSession) : nullptr;
    if (running)
        m_lastTimedRemainingSeconds = running->remainingSeconds;
    if (m_isRelaunching) {
        unbind();
        m_pendingRelaunchSeconds.reset();
        m_pendingSwitchToPermanent = true;
        return;
    }
    if (!childRunning() || !running)
        return;
    unbind();
    cancelAndClear(m_countdownTask);
    m_pendingRelaunchSeconds.reset();
    m_pendingSwitchToPermanent = true;
    m_isRelaunching = true;
    m_intentionalStop = true;
    terminateWithFallback(*m_process, terminateGrace);
}

void TimedSleepPreventer::switchToTimed(std::optional<qint64> seconds)
{
    // No lower bound here: a session switched to indefinite while its countdown showed 0
    // still switches back, with 0; what a time of 0 means is up to the tool.
    const qint64 s = seconds.value_or(m_lastTimedRemainingSeconds);
    if (m_isRelaunching) {
        unbind();
        m_pendingSwitchToPermanent = false;
        m_pendingRelaunchSeconds = s;
        return;
    }
    if (childRunning() && m_store && is<TimedSession::RunningPermanent>(m_store->state().timedSession)) {
        unbind();
        relaunch(s);
    }
}

// Display-awake belongs to a running session: switching it relaunches the same session
// (same kind, same remaining time) with or without "-d".
void TimedSleepPreventer::setDisplayAwake(bool enabled)
{
    const auto key = QString::fromLatin1(displayAwakePreferenceKey);
    if (childRunning() && !m_isRelaunching) {
        if (!m_store)
            return;
        const TimedSessionState session = m_store->state().timedSession;
        if (const auto *running = std::get_if<TimedSession::Running>(&session)) {
            m_pendingRelaunchSeconds = running->remainingSeconds;
            m_pendingSwitchToPermanent = false;
        } else if (is<TimedSession::RunningPermanent>(session)) {
            m_pendingRelaunchSeconds.reset();
            m_pendingSwitchToPermanent = true;
        } else {
            return;
        }
        m_pendingDisplayAwake = enabled;
        if (m_defaults)
            m_defaults->setValue(key, enabled);
        m_isRelaunching = true;
        m_intentionalStop = true;
        cancelAndClear(m_countdownTask);
        terminateWithFallback(*m_process, terminateGrace);
    } else if (m_isRelaunching) {
        m_pendingDisplayAwake = enabled;
        if (m_defaults)
            m_defaults->setValue(key, enabled);
    }
}

// --- ending ----------------------------------------------------------------------------

void TimedSleepPreventer::stop(StopCause cause)
{
    if (m_store) {
        VemoState copy = m_store->state();
        if (is<TimedSession::Running>(copy.timedSession) || is<TimedSession::Starting>(copy.timedSession)
            || is<TimedSession::RunningPermanent>(copy.timedSession))
            copy.timedSession = TimedSession::Stopping{};
        m_store->setState(copy);
    }
    m_isRelaunching = false;
    m_pendingRelaunchSeconds.reset();
    m_pendingSwitchToPermanent = false;
    m_pendingDisplayAwake.reset();
    if (m_process) {
        if (m_process->isRunning()) {
            m_intentionalStop = true;
            m_stopEndsNaturally = cause == StopCause::bindingEnded;
            terminateWithFallback(*m_process, terminateGrace);
        }
        return;
    }
    cancelAndClear(m_countdownTask);
    if (m_store)
        m_store->setTimedSession(TimedSession::Off{});
    m_displayAwakeEnabled = false;
    if (m_store)
        m_store->setDisplayAwake(DisplayAwake::Off{});
}

void TimedSleepPreventer::terminateWithFallback(ChildProcess &child, std::chrono::milliseconds grace)
{
    cancelAndClear(m_terminationFallbackTask);
    child.terminate();
    QPointer<TimedSleepPreventer> self(this);
    const ChildProcess *target = &child;
    const quint64 serial = m_processSerial;
    m_terminationFallbackTask = m_scheduler->after(grace, [self, target, serial] {
        if (!self || self->m_process.get() != target || self->m_processSerial != serial
            || !self->m_process->isRunning())
            return;
        DiagnosticLog::log(Level::error, Category::timed,
                           QStringLiteral("caffeinate did not exit on SIGTERM, sending SIGKILL"));
        self->m_process->kill();
    });
}

void TimedSleepPreventer::terminateAndWait(ChildProcess &child, std::chrono::milliseconds grace)
{
    child.terminate();
    const QDeadlineTimer deadline(grace, Qt::PreciseTimer);
    while (child.isRunning() && !deadline.hasExpired()) {
        const auto left = std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime()));
        child.waitForExit(int(std::min(left, quitPollInterval).count()));
    }
    if (child.isRunning()) {
        DiagnosticLog::log(Level::error, Category::timed,
                           QStringLiteral("caffeinate did not exit on SIGTERM, sending SIGKILL"));
        child.kill();
    }
}

void TimedSleepPreventer::handleTermination(quint64 serial, int status)
{
    // A report for a child that is no longer ours (ended at quit, or long replaced) is late.
    if (!m_process || serial != m_processSerial)
        return;

    const bool wasDisplay = m_displayAwakeEnabled;
    const bool nextDisplay = m_pendingDisplayAwake.value_or(m_displayAwakeEnabled);
    const bool wasRelaunching = m_isRelaunching;
    const bool pendingPermanent = m_pendingSwitchToPermanent;
    const std::optional<qint64> pendingSeconds = m_pendingRelaunchSeconds;
    enum class Outcome { stopped, ended, failed };
    const Outcome outcome = m_intentionalStop ? (m_stopEndsNaturally ? Outcome::ended : Outcome::stopped)
                            : status == 0     ? Outcome::ended
                                              : Outcome::failed;

    cancelAndClear(m_terminationFallbackTask);
    m_isRelaunching = false;
    m_intentionalStop = false;
    m_stopEndsNaturally = false;
    m_pendingSwitchToPermanent = false;
    m_pendingRelaunchSeconds.reset();
    m_pendingDisplayAwake.reset();
    m_process.reset();
    cancelAndClear(m_countdownTask);
    m_displayAwakeEnabled = nextDisplay;

    // A relaunch goes ahead whatever the old child's status was.
    if (wasRelaunching) {
        if (pendingPermanent) {
            launchPermanent(false);
            return;
        }
        if (pendingSeconds) {
            launchTimed(*pendingSeconds, false);
            return;
        }
    }

    if (outcome == Outcome::failed) {
        if (wasDisplay) {
            if (m_store)
                m_store->setDisplayAwakeFailed(VemoError::processExitedUnexpectedly);
            record(EventKind::DisplayAwakeFailed{});
        } else if (m_store) {
            m_store->setDisplayAwake(DisplayAwake::Off{});
        }
        if (m_store)
            m_store->setTimedFailed(VemoError::processExitedUnexpectedly);
        DiagnosticLog::log(Level::error, Category::timed,
                           QStringLiteral("timed session failed unexpectedly, status=%1").arg(status));
        record(EventKind::TimedFailed{});
        return;
    }

    m_displayAwakeEnabled = false;
    if (m_store)
        m_store->setDisplayAwake(DisplayAwake::Off{});
    if (wasDisplay)
        record(EventKind::DisplayAwakeOff{});
    if (outcome == Outcome::stopped) {
        if (m_store)
            m_store->setTimedSession(TimedSession::Off{});
        DiagnosticLog::log(Level::info, Category::timed, QStringLiteral("timed session stopped by user"));
        record(EventKind::TimedStoppedManually{});
    } else {
        if (m_store)
            m_store->setTimedSession(TimedSession::Ended{});
        DiagnosticLog::log(Level::info, Category::timed, QStringLiteral("timed session ended naturally"));
        record(EventKind::TimedEndedNaturally{std::nullopt});
    }
}

bool TimedSleepPreventer::cleanup()
{
    cancelAndClear(m_countdownTask);
    cancelAndClear(m_terminationFallbackTask);
    m_isRelaunching = false;
    m_pendingRelaunchSeconds.reset();
    m_pendingSwitchToPermanent = false;
    m_pendingDisplayAwake.reset();
    if (childRunning()) {
        m_intentionalStop = true;
        terminateAndWait(*m_process, terminateGrace);
    }
    // Dropping the handle also drops its end report: quitting leaves the store alone,
    // and the flags read as they would once that report had been handled.
    m_process.reset();
    m_intentionalStop = false;
    m_stopEndsNaturally = false;
    m_displayAwakeEnabled = false;
    return true;
}

} // namespace quorvel
