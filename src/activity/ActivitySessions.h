#pragma once

#include "records/VemoEvent.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QTimeZone>
#include <optional>

namespace quorvel::activity {

// What kept the computer awake: an idle-sleep session (timed, indefinite or bound to a job) or
// closed-lid mode.
enum class SessionKind { idleSleep, closedLid };

enum class SessionMode {
    timed,
    indefinite,
    boundToCommand,
    boundToProcess,
    untilTime,
    closedLidOnAdapter,
    closedLidOnBattery,
    // An idle-sleep session that failed before it was ever recorded as started.
    notStarted,
};

enum class SessionEnding {
    ongoing, // no end yet: still running when the history was read
    endedByItself,
    stoppedByUser,
    batterySafety,
    endedAtQuit,
    failed,
    // The app went away without a word (killed, crashed, power lost); the session is taken to
    // end at the next launch, the first moment anything is known again.
    appEndedUnexpectedly,
    // As above, and the next launch found the closed-lid setting still in force and took it
    // over, or put it back.
    leftOverTakenOver,
    leftOverRestored,
};

struct Session {
    SessionKind kind = SessionKind::idleSleep;
    SessionMode mode = SessionMode::timed;
    QDateTime start; // UTC
    QDateTime end;   // UTC; invalid while ongoing
    SessionEnding ending = SessionEnding::ongoing;
    qint64 requestedSeconds = 0; // timed: the length asked for at the start
    std::optional<SessionBinding> binding;
    std::optional<qint64> batteryLevel; // closed-lid on battery: the charge at the start
    std::optional<qint64> safetyLevel;  // battery safety: the charge that stopped it
    bool displayKeptOn = false;         // the display was kept on during some of it

    // Whole seconds from start to end, or to `now` while ongoing; never negative.
    qint64 seconds(const QDateTime &now) const;
    bool isAttention() const { return ending == SessionEnding::batterySafety || ending == SessionEnding::failed; }
    bool operator==(const Session &) const = default;
};

struct History {
    QList<Session> sessions; // by start, oldest first
    QDateTime firstEvent;    // the oldest event taken into account; invalid without any
    QDateTime lastEvent;     // the newest
    int skippedEvents = 0;   // repeated events, and ends or starts that fit no session
};

// Pairs each start event with its end, in the order the events were written. A timestamp that
// runs backwards (the clock was set back) is taken as the one before it, so no duration is
// negative; an event whose id was already seen, an end without a start and a second start of a
// session already running are skipped. Display changes only mark the session they fall in.
// Pure: the same events give the same sessions.
History deriveSessions(const QList<VemoEvent> &events);

// For a history read while Quorvel is not running: what the events leave open ended with the
// app, at the last moment anything was recorded, rather than growing until now.
void endOpenSessions(History &history);

struct DayTotal {
    QDate date;
    qint64 idleSleepSeconds = 0;
    qint64 closedLidSeconds = 0;
    bool operator==(const DayTotal &) const = default;
};

// The last `days` calendar days in `zone` up to and including `lastDay`, oldest first, each
// with the time kept awake by each kind within it: a session across midnight counts in both
// days, and a day is as long as the clock makes it (23 or 25 hours on a daylight-saving
// change). Ongoing sessions count up to `now`.
QList<DayTotal> dailyTotals(const QList<Session> &sessions, QDate lastDay, int days, const QTimeZone &zone,
                            const QDateTime &now);

// The sessions that overlap [from, to), newest first.
QList<Session> sessionsBetween(const QList<Session> &sessions, const QDateTime &from, const QDateTime &to,
                               const QDateTime &now);

struct PeriodTotals {
    qint64 idleSleepSeconds = 0;
    qint64 closedLidSeconds = 0;
    int sessions = 0;
    int safetyStops = 0;
    int failures = 0;
    bool operator==(const PeriodTotals &) const = default;
};
PeriodTotals totals(const QList<DayTotal> &days, const QList<Session> &shown);

} // namespace quorvel::activity
