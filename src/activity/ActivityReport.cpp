#include "activity/ActivityReport.h"

#include "prefs/Localization.h"
#include "records/HistoryTail.h"
#include "records/OwnFile.h"
#include "records/RecordsNotice.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <fcntl.h>

namespace quorvel::activity {

namespace {

QString number(qint64 value)
{
    return interfaceLocale().toString(value);
}

QJsonValue isoOrNull(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

} // namespace

LoadedHistory loadHistory(const QString &path, int capacity)
{
    LoadedHistory loaded;
    qint64 size = 0;
    {
        // A link, FIFO or anything else at the path is not our history: nothing is shown from
        // it, and the reason is said once, as the journal says it.
        const records::OwnFile own = records::OwnFile::open(path, O_RDONLY);
        if (own.refused())
            records::reportRecordsOff(path, own.reason());
        if (!own.isOpen() || own.size() <= 0)
            return loaded;
        size = own.size();
    }
    records::HistoryTailLimits limits;
    limits.capacity = capacity;
    limits.lineLimit = 0; // enough events is enough: no line count is needed here
    // A compacted history is well under this, so the whole tail comes in one read.
    limits.blockBytes = 1024 * 1024;
    const records::HistoryTail tail = records::readHistoryTail(path, size, records::fileHistoryReader(), limits);
    loaded.events = tail.events;
    loaded.reachesStart = tail.reachedStart;
    return loaded;
}

Report makeReport(const History &history, bool historyComplete, int days, const QDateTime &now, const QTimeZone &zone)
{
    Report report;
    report.days = days;
    report.now = now;
    report.zone = zone;
    report.historySince = history.firstEvent;
    report.historyComplete = historyComplete;
    const QDate today = now.toTimeZone(zone).date();
    report.daily = dailyTotals(history.sessions, today, days, zone, now);
    report.sessions = sessionsBetween(history.sessions, today.addDays(1 - days).startOfDay(zone),
                                      today.addDays(1).startOfDay(zone), now);
    report.totals = totals(report.daily, report.sessions);
    return report;
}

QLocale interfaceLocale()
{
    return Localization::installedCatalogue() == Localization::Catalogue::simplifiedChinese
               ? QLocale(QLocale::Chinese, QLocale::China)
               : QLocale(QLocale::English, QLocale::UnitedStates);
}

QString durationText(qint64 seconds)
{
    // To the nearest minute: timestamps carry fractions, and 2 h should not read 1 h 59 min.
    const qint64 minutes = (seconds + 30) / 60;
    if (seconds <= 0)
        return Localization::format(qtTrId("activityMinutes"), {number(0)});
    if (minutes < 1)
        return qtTrId("activityUnderAMinute");
    if (minutes < 60)
        return Localization::format(qtTrId("activityMinutes"), {number(minutes)});
    if (minutes % 60 == 0)
        return Localization::format(qtTrId("activityHours"), {number(minutes / 60)});
    return Localization::format(qtTrId("activityHoursMinutes"), {number(minutes / 60), number(minutes % 60)});
}

QString sessionDurationText(const Session &session, const QDateTime &now)
{
    // A start that failed never ran: no length to speak of.
    return session.mode == SessionMode::notStarted ? QStringLiteral("—") : durationText(session.seconds(now));
}

QString modeText(const Session &session, const QTimeZone &zone)
{
    QString text;
    const QString name = session.binding ? session.binding->name : QString();
    switch (session.mode) {
    case SessionMode::timed:
        text = Localization::format(qtTrId("activityModeTimed"), {durationText(session.requestedSeconds)});
        break;
    case SessionMode::indefinite: text = qtTrId("activityModeIndefinite"); break;
    case SessionMode::boundToCommand: text = Localization::format(qtTrId("activityModeCommand"), {name}); break;
    case SessionMode::boundToProcess:
        text = Localization::format(qtTrId("activityModeProcess"),
                                    {name.isEmpty() && session.binding && session.binding->pid
                                         ? QString::number(*session.binding->pid)
                                         : name});
        break;
    case SessionMode::untilTime: {
        const QDateTime until = session.binding ? session.binding->until.toTimeZone(zone) : QDateTime();
        text = Localization::format(qtTrId("activityModeUntil"),
                                    {interfaceLocale().toString(until.time(), QLocale::ShortFormat)});
        break;
    }
    case SessionMode::closedLidOnAdapter: text = qtTrId("activityModeLidAdapter"); break;
    case SessionMode::closedLidOnBattery:
        text = session.batteryLevel
                   ? Localization::format(qtTrId("activityModeLidBatteryLevel"), {number(*session.batteryLevel)})
                   : qtTrId("activityModeLidBattery");
        break;
    case SessionMode::notStarted: text = qtTrId("activityModeNotStarted"); break;
    }
    if (session.displayKeptOn)
        text = Localization::format(qtTrId("activityDisplayKeptOn"), {text});
    return text;
}

QString endingText(const Session &session)
{
    switch (session.ending) {
    case SessionEnding::ongoing: return qtTrId("activityOngoing");
    case SessionEnding::endedByItself: return qtTrId("activityEndedByItself");
    case SessionEnding::stoppedByUser: return qtTrId("activityStoppedByUser");
    case SessionEnding::batterySafety:
        return session.safetyLevel
                   ? Localization::format(qtTrId("activityBatterySafetyLevel"), {number(*session.safetyLevel)})
                   : qtTrId("activityBatterySafety");
    case SessionEnding::endedAtQuit: return qtTrId("activityEndedAtQuit");
    case SessionEnding::failed: return qtTrId("activityFailed");
    case SessionEnding::appEndedUnexpectedly: return qtTrId("activityAppEndedUnexpectedly");
    case SessionEnding::leftOverTakenOver: return qtTrId("activityLeftOverTakenOver");
    case SessionEnding::leftOverRestored: return qtTrId("activityLeftOverRestored");
    }
    return QString();
}

QString startText(const QDateTime &start, const QTimeZone &zone)
{
    return interfaceLocale().toString(start.toTimeZone(zone), qtTrId("activityStartFormat"));
}

QString dayLabel(QDate date)
{
    return interfaceLocale().toString(date, qtTrId("activityDayFormat"));
}

QString dayLongLabel(QDate date)
{
    return interfaceLocale().toString(date, qtTrId("activityDayLongFormat"));
}

QString totalsText(const PeriodTotals &totals)
{
    return Localization::format(
        qtTrId("activityTotals"),
        {durationText(totals.idleSleepSeconds), durationText(totals.closedLidSeconds), number(totals.sessions)});
}

QString attentionText(const PeriodTotals &totals)
{
    QStringList parts;
    if (totals.safetyStops > 0)
        parts << Localization::format(qtTrId("activityTotalsSafetyStops"), {number(totals.safetyStops)});
    if (totals.failures > 0)
        parts << Localization::format(qtTrId("activityTotalsFailures"), {number(totals.failures)});
    return parts.join(QStringLiteral(" · "));
}

QString reachText(const Report &report)
{
    if (!report.historySince.isValid())
        return QString();
    const QString since =
        interfaceLocale().toString(report.historySince.toTimeZone(report.zone).date(), qtTrId("activitySinceFormat"));
    return Localization::format(
        report.historyComplete ? qtTrId("activityHistorySince") : qtTrId("activityHistorySinceCapped"), {since});
}

QString kindName(SessionKind kind)
{
    return kind == SessionKind::closedLid ? QStringLiteral("closedLid") : QStringLiteral("idleSleep");
}

QString modeName(SessionMode mode)
{
    switch (mode) {
    case SessionMode::timed: return QStringLiteral("timed");
    case SessionMode::indefinite: return QStringLiteral("indefinite");
    case SessionMode::boundToCommand: return QStringLiteral("command");
    case SessionMode::boundToProcess: return QStringLiteral("process");
    case SessionMode::untilTime: return QStringLiteral("until");
    case SessionMode::closedLidOnAdapter: return QStringLiteral("closedLidOnAdapter");
    case SessionMode::closedLidOnBattery: return QStringLiteral("closedLidOnBattery");
    case SessionMode::notStarted: return QStringLiteral("notStarted");
    }
    return QString();
}

QString endingName(SessionEnding ending)
{
    switch (ending) {
    case SessionEnding::ongoing: return QStringLiteral("ongoing");
    case SessionEnding::endedByItself: return QStringLiteral("endedByItself");
    case SessionEnding::stoppedByUser: return QStringLiteral("stoppedByUser");
    case SessionEnding::batterySafety: return QStringLiteral("batterySafety");
    case SessionEnding::endedAtQuit: return QStringLiteral("endedAtQuit");
    case SessionEnding::failed: return QStringLiteral("failed");
    case SessionEnding::appEndedUnexpectedly: return QStringLiteral("appEndedUnexpectedly");
    case SessionEnding::leftOverTakenOver: return QStringLiteral("leftOverTakenOver");
    case SessionEnding::leftOverRestored: return QStringLiteral("leftOverRestored");
    }
    return QString();
}

HistoryArguments parseHistoryArguments(const QStringList &arguments)
{
    HistoryArguments parsed;
    QStringList words;
    for (const QString &word : arguments) {
        if (word == QLatin1String("--json"))
            parsed.json = true;
        else
            words << word;
    }
    if (words.value(0) != QLatin1String("history"))
        return parsed;
    parsed.isHistory = true;
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,3}$"));
    for (qsizetype i = 1; i < words.size(); ++i) {
        QString value;
        if (words[i] == QLatin1String("--days") && i + 1 < words.size())
            value = words[++i];
        else if (words[i].startsWith(QLatin1String("--days=")))
            value = words[i].mid(7);
        else if (words[i] == QLatin1String("--days"))
            value = QString();
        else {
            parsed.error = qtTrId("ctlHistoryUsage");
            return parsed;
        }
        const int days = whole.match(value).hasMatch() ? value.toInt() : 0;
        if (days < 1 || days > longestDays) {
            parsed.error = Localization::format(qtTrId("ctlHistoryDaysInvalid"), {QString::number(longestDays)});
            return parsed;
        }
        parsed.days = days;
    }
    return parsed;
}

QJsonObject reportJson(const Report &report)
{
    QJsonArray days;
    for (const DayTotal &day : report.daily)
        days.append(QJsonObject{{QStringLiteral("date"), day.date.toString(Qt::ISODate)},
                                {QStringLiteral("idleSleepSeconds"), day.idleSleepSeconds},
                                {QStringLiteral("closedLidSeconds"), day.closedLidSeconds}});
    QJsonArray sessions;
    for (const Session &session : report.sessions) {
        QJsonObject item{{QStringLiteral("kind"), kindName(session.kind)},
                         {QStringLiteral("mode"), modeName(session.mode)},
                         {QStringLiteral("start"), isoOrNull(session.start)},
                         {QStringLiteral("end"), isoOrNull(session.end)},
                         {QStringLiteral("seconds"), session.seconds(report.now)},
                         {QStringLiteral("ending"), endingName(session.ending)},
                         {QStringLiteral("displayKeptOn"), session.displayKeptOn}};
        if (session.mode == SessionMode::timed)
            item.insert(QStringLiteral("requestedSeconds"), session.requestedSeconds);
        if (session.binding) {
            QJsonObject binding{{QStringLiteral("name"), session.binding->name}};
            if (session.binding->pid)
                binding.insert(QStringLiteral("pid"), *session.binding->pid);
            if (session.binding->until.isValid())
                binding.insert(QStringLiteral("until"), isoOrNull(session.binding->until));
            item.insert(QStringLiteral("binding"), binding);
        }
        if (session.batteryLevel)
            item.insert(QStringLiteral("batteryLevel"), *session.batteryLevel);
        if (session.safetyLevel)
            item.insert(QStringLiteral("safetyLevel"), *session.safetyLevel);
        sessions.append(item);
    }
    const QDate today = report.now.toTimeZone(report.zone).date();
    return {{QStringLiteral("period"),
             QJsonObject{{QStringLiteral("days"), report.days},
                         {QStringLiteral("from"), today.addDays(1 - report.days).toString(Qt::ISODate)},
                         {QStringLiteral("to"), today.toString(Qt::ISODate)}}},
            {QStringLiteral("totals"), QJsonObject{{QStringLiteral("idleSleepSeconds"), report.totals.idleSleepSeconds},
                                                   {QStringLiteral("closedLidSeconds"), report.totals.closedLidSeconds},
                                                   {QStringLiteral("sessions"), report.totals.sessions},
                                                   {QStringLiteral("safetyStops"), report.totals.safetyStops},
                                                   {QStringLiteral("failures"), report.totals.failures}}},
            {QStringLiteral("historySince"), isoOrNull(report.historySince)},
            {QStringLiteral("historyComplete"), report.historyComplete},
            {QStringLiteral("days"), days},
            {QStringLiteral("sessions"), sessions}};
}

QString reportText(const Report &report)
{
    QStringList lines;
    const QString period = report.days == 1 ? qtTrId("activityPeriodToday")
                                            : Localization::format(qtTrId("activityPeriod"), {number(report.days)});
    lines << Localization::format(qtTrId("activityReportHeading"), {period, totalsText(report.totals)});
    if (const QString attention = attentionText(report.totals); !attention.isEmpty())
        lines.last() += QStringLiteral(" · ") + attention;
    if (const QString reach = reachText(report); !reach.isEmpty())
        lines << reach;
    if (report.sessions.isEmpty()) {
        lines << qtTrId("activityEmptyTitle");
        return lines.join(QLatin1Char('\n'));
    }
    lines << QString();
    for (const Session &session : report.sessions)
        lines << QStringList{startText(session.start, report.zone), sessionDurationText(session, report.now),
                             modeText(session, report.zone), endingText(session)}
                     .join(QStringLiteral("  ·  "));
    return lines.join(QLatin1Char('\n'));
}

} // namespace quorvel::activity
