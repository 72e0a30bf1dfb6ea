#include "app/CtlHistory.h"

#include "activity/ActivityReport.h"
#include "app/composition/ControlChannel.h"
#include "records/EventJournal.h"

#include <QJsonDocument>
#include <QLocalSocket>

#include <cstdio>

namespace quorvel {

namespace {

bool appRunning()
{
    QLocalSocket socket;
    socket.connectToServer(Control::socketPath());
    return socket.waitForConnected(300);
}

} // namespace

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
    activity::History history = activity::deriveSessions(loaded.events);
    // Nothing of an app that is gone is still running, however its history ends.
    if (!appRunning())
        activity::endOpenSessions(history);
    const activity::Report report = activity::makeReport(history, loaded.reachesStart, parsed.days,
                                                         QDateTime::currentDateTimeUtc(), QTimeZone::systemTimeZone());
    const QByteArray out = parsed.json ? QJsonDocument(activity::reportJson(report)).toJson(QJsonDocument::Compact)
                                       : activity::reportText(report).toUtf8();
    std::fprintf(stdout, "%s\n", out.constData());
    return 0;
}

} // namespace quorvel
