#include "support/SampleHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

namespace quorvel::test {

namespace {

SessionBinding binding(SessionBinding::Kind kind, const QString &name, std::optional<qint64> pid = std::nullopt)
{
    SessionBinding b;
    b.kind = kind;
    b.name = name;
    b.pid = pid;
    return b;
}

} // namespace

QList<VemoEvent> sampleHistory(const QDateTime &now)
{
    namespace K = EventKind;
    QList<VemoEvent> events;
    // `day` days before today (at `now`'s time of day, in UTC), `hour` hours into that day.
    const QDateTime midnight(now.toUTC().date(), QTime(0, 0), QTimeZone::utc());
    const auto at = [&](int day, double hour, VemoEventKind kind) {
        events << VemoEvent::make(std::move(kind), std::nullopt, midnight.addDays(-day).addSecs(qint64(hour * 3600)));
    };
    const K::AppLaunched launch{QStringLiteral("0.1.0"), QStringLiteral("123")};

    at(13, 8.5, launch);
    at(13, 9, K::TimedStarted{7200, std::nullopt});
    at(13, 11, K::TimedEndedNaturally{});
    at(11, 22, K::ClamshellStarted{true, std::nullopt});
    at(10, 6.5, K::ClamshellStopped{ClamshellStopReason::manual}); // overnight: two days
    at(9, 13, K::TimedStarted{0, binding(SessionBinding::Kind::command, QStringLiteral("make"))});
    at(9, 15.75, K::TimedEndedNaturally{});
    at(8, 10, K::TimedStarted{0, std::nullopt});
    at(8, 10.1, K::DisplayAwakeOn{});
    at(8, 12, K::DisplayAwakeOff{});
    at(8, 14.5, K::TimedStoppedManually{});
    at(6, 20, K::ClamshellStarted{false, 64});
    at(6, 21.5, K::LowBatteryWarningEntered{24});
    at(6, 22.25, K::SafetyStopTriggered{19});
    at(6, 22.25, K::ClamshellStopped{ClamshellStopReason::safety});
    at(5, 9, K::TimedFailed{});
    at(4, 9, K::TimedStarted{5400, std::nullopt});
    at(4, 10.5, K::TimedEndedNaturally{});
    at(3, 14, K::TimedStarted{0, binding(SessionBinding::Kind::process, QStringLiteral("rsync"), 4242)});
    at(3, 19, K::TimedEndedNaturally{});
    at(2, 23, K::ClamshellStarted{true, std::nullopt});
    at(1, 7, launch); // killed overnight; the setting was still in force and is taken over
    at(1, 7, K::StartupResidualDetected{});
    at(1, 7.01, K::ClamshellStarted{true, std::nullopt});
    at(1, 7.01, K::StartupResidualRestoredByUser{});
    at(1, 9, K::ClamshellStopped{ClamshellStopReason::manual});
    at(1, 10, K::TimedStarted{3600 * 4, std::nullopt});
    at(1, 12, K::CleanupCompleted{});
    at(1, 12, K::AppQuit{true});
    at(0, 8, launch);
    at(0, 8.5, K::TimedStarted{0, std::nullopt});
    // Keep only what had happened by `now`, so a morning `now` still has a running session.
    QList<VemoEvent> past;
    for (const VemoEvent &event : events)
        if (event.timestamp <= now)
            past << event;
    return past;
}

bool writeHistory(const QString &path, const QList<VemoEvent> &events)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (const VemoEvent &event : events)
        file.write(encodeEvent(event) + '\n');
    return file.error() == QFileDevice::NoError;
}

} // namespace quorvel::test
