#pragma once

#include "activity/ActivitySessions.h"

#include <QJsonObject>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace quorvel::activity {

// The period the window shows, and what `ctl history` shows without --days.
inline constexpr int shownDays = 14;
inline constexpr int longestDays = 365;

// The history file as the window and `ctl history` read it: its newest events (as many as the
// journal keeps), in one pass from the end of the file.
struct LoadedHistory {
    QList<VemoEvent> events;
    bool reachesStart = true; // every line of the file was read: nothing older exists
};
LoadedHistory loadHistory(const QString &path, int capacity = 1000);

// Everything shown for one period, computed once from the sessions.
struct Report {
    int days = shownDays;
    QList<DayTotal> daily;   // oldest first, today last
    QList<Session> sessions; // overlapping the period, newest first
    PeriodTotals totals;
    QDateTime historySince; // the oldest event read
    bool historyComplete = true;
    QDateTime now;
    QTimeZone zone;
};
Report makeReport(const History &history, bool historyComplete, int days, const QDateTime &now, const QTimeZone &zone);

// The locale of the interface language: dates and numbers as the texts around them expect.
QLocale interfaceLocale();

// Texts in the interface language.
QString durationText(qint64 seconds);
QString sessionDurationText(const Session &session, const QDateTime &now);
QString modeText(const Session &session, const QTimeZone &zone);
QString endingText(const Session &session);
QString startText(const QDateTime &start, const QTimeZone &zone);
QString dayLabel(QDate date);     // short: under a bar
QString dayLongLabel(QDate date); // with the weekday: the day's figures
QString totalsText(const PeriodTotals &totals);
QString attentionText(const PeriodTotals &totals); // empty without safety stops or failures
QString reachText(const Report &report);           // how far back the history goes

// Stable names for scripts.
QString kindName(SessionKind kind);
QString modeName(SessionMode mode);
QString endingName(SessionEnding ending);

// `quorvel ctl history [--days N] [--json]`.
struct HistoryArguments {
    bool isHistory = false; // the words name the history command at all
    int days = shownDays;
    bool json = false;
    QString error; // for the person; empty when the words are good
};
HistoryArguments parseHistoryArguments(const QStringList &arguments);

QJsonObject reportJson(const Report &report);
QString reportText(const Report &report);

} // namespace quorvel::activity
