#include "activity/ActivitySessions.h"

#include <QSet>
#include <algorithm>

namespace quorvel::activity {

namespace {

template <class T> const T *as(const VemoEventKind &kind)
{
    return std::get_if<T>(&kind);
}

SessionMode idleMode(const EventKind::TimedStarted &started)
{
    if (started.binding) {
        switch (started.binding->kind) {
        case SessionBinding::Kind::command: return SessionMode::boundToCommand;
        case SessionBinding::Kind::process: return SessionMode::boundToProcess;
        case SessionBinding::Kind::until: return SessionMode::untilTime;
        }
    }
    return started.durationSeconds > 0 ? SessionMode::timed : SessionMode::indefinite;
}

SessionEnding lidEnding(ClamshellStopReason reason)
{
    switch (reason) {
    case ClamshellStopReason::manual: return SessionEnding::stoppedByUser;
    case ClamshellStopReason::safety: return SessionEnding::batterySafety;
    case ClamshellStopReason::quit: return SessionEnding::endedAtQuit;
    case ClamshellStopReason::failed: return SessionEnding::failed;
    }
    return SessionEnding::stoppedByUser;
}

// Walks the events once, keeping at most one open session of each kind.
class Derivation {
public:
    void take(const VemoEvent &event)
    {
        if (!event.timestamp.isValid() || m_seen.contains(event.id)) {
            ++m_history.skippedEvents;
            return;
        }
        m_seen.insert(event.id);
        QDateTime at = event.timestamp.toUTC();
        if (m_last.isValid() && at < m_last)
            at = m_last;
        m_last = at;
        m_history.lastEvent = at;
        if (!m_history.firstEvent.isValid())
            m_history.firstEvent = at;
        const VemoEventKind &kind = event.kind;

        if (as<EventKind::AppLaunched>(kind)) {
            launched(at);
        } else if (const auto *started = as<EventKind::TimedStarted>(kind)) {
            if (m_idle)
                return skip();
            Session session;
            session.kind = SessionKind::idleSleep;
            session.mode = idleMode(*started);
            session.start = at;
            session.requestedSeconds = started->durationSeconds;
            session.binding = started->binding;
            m_idle = session;
        } else if (as<EventKind::TimedEndedNaturally>(kind)) {
            endIdle(at, SessionEnding::endedByItself);
        } else if (as<EventKind::TimedStoppedManually>(kind)) {
            endIdle(at, SessionEnding::stoppedByUser);
        } else if (as<EventKind::TimedFailed>(kind)) {
            if (!m_idle) {
                // A start that failed before anything ran: worth a line, it is why the
                // computer slept anyway.
                Session attempt;
                attempt.mode = SessionMode::notStarted;
                attempt.start = at;
                m_idle = attempt;
            }
            endIdle(at, SessionEnding::failed);
        } else if (as<EventKind::DisplayAwakeOn>(kind)) {
            if (m_idle)
                m_idle->displayKeptOn = true;
        } else if (const auto *lid = as<EventKind::ClamshellStarted>(kind)) {
            if (m_lid)
                return skip();
            Session session;
            session.kind = SessionKind::closedLid;
            session.mode = lid->onPowerAdapter ? SessionMode::closedLidOnAdapter : SessionMode::closedLidOnBattery;
            session.start = at;
            session.batteryLevel = lid->batteryLevel;
            m_lid = session;
            if (m_residualOpen)
                m_residualTakenOver = true;
        } else if (const auto *stopped = as<EventKind::ClamshellStopped>(kind)) {
            if (!m_lid)
                return skip();
            finish(m_lid, at, lidEnding(stopped->reason));
        } else if (const auto *safety = as<EventKind::SafetyStopTriggered>(kind)) {
            if (m_lid)
                m_lid->safetyLevel = safety->level;
        } else if (as<EventKind::StartupResidualDetected>(kind)) {
            m_residualOpen = true;
            m_residualTakenOver = false;
        } else if (as<EventKind::StartupResidualRestoredByUser>(kind)) {
            if (m_residualOpen && m_leftover >= 0)
                m_history.sessions[m_leftover].ending =
                    m_residualTakenOver ? SessionEnding::leftOverTakenOver : SessionEnding::leftOverRestored;
            m_residualOpen = false;
            m_leftover = -1;
        } else if (const auto *partial = as<EventKind::CleanupPartial>(kind)) {
            // The idle session always ends with the app; closed-lid mode whose restore failed
            // stays in force and is found again as a leftover at the next launch.
            m_lidRestoreFailed = partial->failedModules.contains(ModuleId::clamshell);
            quitting(at);
        } else if (as<EventKind::CleanupCompleted>(kind)) {
            m_lidRestoreFailed = false;
            quitting(at);
        } else if (as<EventKind::AppQuit>(kind)) {
            quitting(at);
        }
    }

    History result()
    {
        if (m_idle)
            m_history.sessions.append(*m_idle);
        if (m_lid)
            m_history.sessions.append(*m_lid);
        std::stable_sort(m_history.sessions.begin(), m_history.sessions.end(),
                         [](const Session &a, const Session &b) { return a.start < b.start; });
        return m_history;
    }

private:
    void skip() { ++m_history.skippedEvents; }

    void finish(std::optional<Session> &open, const QDateTime &at, SessionEnding ending)
    {
        open->end = at;
        open->ending = ending;
        m_history.sessions.append(*open);
        open.reset();
    }

    void endIdle(const QDateTime &at, SessionEnding ending)
    {
        if (!m_idle)
            return skip();
        finish(m_idle, at, ending);
    }

    void quitting(const QDateTime &at)
    {
        if (m_idle)
            finish(m_idle, at, SessionEnding::endedAtQuit);
        if (m_lid && !m_lidRestoreFailed)
            finish(m_lid, at, SessionEnding::endedAtQuit);
    }

    void launched(const QDateTime &at)
    {
        m_leftover = -1;
        m_residualOpen = false;
        m_lidRestoreFailed = false;
        if (m_idle)
            finish(m_idle, at, SessionEnding::appEndedUnexpectedly);
        if (m_lid) {
            finish(m_lid, at, SessionEnding::appEndedUnexpectedly);
            m_leftover = int(m_history.sessions.size()) - 1;
        }
    }

    History m_history;
    QSet<QUuid> m_seen;
    QDateTime m_last;
    std::optional<Session> m_idle;
    std::optional<Session> m_lid;
    int m_leftover = -1; // the closed-lid session the last launch cut short, by index
    bool m_residualOpen = false;
    bool m_residualTakenOver = false;
    bool m_lidRestoreFailed = false;
};

qint64 overlapSeconds(const QDateTime &start, const QDateTime &end, const QDateTime &from, const QDateTime &to)
{
    const QDateTime a = std::max(start, from);
    const QDateTime b = std::min(end, to);
    return a < b ? (a.msecsTo(b) + 500) / 1000 : 0;
}

QDateTime endOr(const Session &session, const QDateTime &now)
{
    if (session.end.isValid())
        return session.end;
    return std::max(session.start, now);
}

} // namespace

qint64 Session::seconds(const QDateTime &now) const
{
    return std::max<qint64>(0, (start.msecsTo(endOr(*this, now)) + 500) / 1000);
}

History deriveSessions(const QList<VemoEvent> &events)
{
    Derivation derivation;
    for (const VemoEvent &event : events)
        derivation.take(event);
    return derivation.result();
}

void endOpenSessions(History &history)
{
    for (Session &session : history.sessions) {
        if (session.ending != SessionEnding::ongoing)
            continue;
        session.end = std::max(session.start, history.lastEvent);
        session.ending = SessionEnding::appEndedUnexpectedly;
    }
}

QList<DayTotal> dailyTotals(const QList<Session> &sessions, QDate lastDay, int days, const QTimeZone &zone,
                            const QDateTime &now)
{
    QList<DayTotal> result;
    for (int i = days - 1; i >= 0; --i) {
        DayTotal day;
        day.date = lastDay.addDays(-i);
        const QDateTime from = day.date.startOfDay(zone);
        const QDateTime to = day.date.addDays(1).startOfDay(zone);
        for (const Session &session : sessions) {
            const qint64 seconds = overlapSeconds(session.start, endOr(session, now), from, to);
            (session.kind == SessionKind::closedLid ? day.closedLidSeconds : day.idleSleepSeconds) += seconds;
        }
        result.append(day);
    }
    return result;
}

QList<Session> sessionsBetween(const QList<Session> &sessions, const QDateTime &from, const QDateTime &to,
                               const QDateTime &now)
{
    QList<Session> shown;
    for (auto it = sessions.crbegin(); it != sessions.crend(); ++it) {
        const QDateTime end = endOr(*it, now);
        // A failed start lasts no time at all and still belongs to its moment.
        if (it->start < to && (end > from || (end == it->start && it->start >= from)))
            shown.append(*it);
    }
    return shown;
}

PeriodTotals totals(const QList<DayTotal> &days, const QList<Session> &shown)
{
    PeriodTotals sum;
    for (const DayTotal &day : days) {
        sum.idleSleepSeconds += day.idleSleepSeconds;
        sum.closedLidSeconds += day.closedLidSeconds;
    }
    sum.sessions = int(shown.size());
    for (const Session &session : shown) {
        if (session.ending == SessionEnding::batterySafety)
            ++sum.safetyStops;
        else if (session.ending == SessionEnding::failed)
            ++sum.failures;
    }
    return sum;
}

} // namespace quorvel::activity
