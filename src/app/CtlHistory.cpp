#include "app/CtlHistory.h"

#include "activity/ActivityReport.h"
#include "records/EventJournal.h"

#include <QJsonDocument>

#include <cstdio>

namespace quorvel {

std::optional<int> runCtlHistory(const QStringList &arguments)
{
    const activity::HistoryArguments parsed = activity::parseHistoryArguments(arguments);
    if (!parsed.isHistory)
        return std::nullopt;
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", parsed.error.toLocal8Bit().constData());
        return 64;
    }
    const activity::LoadedHistory loaded = activity::loadHistory(PersistentEventJournal::defaultLocation());
    const activity::Report report =
        activity::makeReport(activity::deriveSessions(loaded.events), loaded.reachesStart, parsed.days,
                             QDateTime::currentDateTimeUtc(), QTimeZone::systemTimeZone());
    const QByteArray out = parsed.json ? QJsonDocument(activity::reportJson(report)).toJson(QJsonDocument::Compact)
                                       : activity::reportText(report).toLocal8Bit();
    std::fprintf(stdout, "%s\n", out.constData());
    return 0;
}

} // namespace quorvel
