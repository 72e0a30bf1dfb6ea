#include "app/composition/SessionEndNotices.h"

#include "prefs/Localization.h"
#include "prefs/Preferences.h"
#include "records/DiagnosticLog.h"

namespace quorvel {

using DiagnosticLog::Category;
using DiagnosticLog::Level;

namespace {

bool isUnderway(const TimedSessionState &session)
{
    return is<TimedSession::Starting>(session) || is<TimedSession::Running>(session)
           || is<TimedSession::RunningPermanent>(session) || is<TimedSession::Stopping>(session);
}

QString reasonFor(const std::optional<SessionBinding> &binding)
{
    if (!binding)
        return QStringLiteral("timeUp");
    switch (binding->kind) {
    case SessionBinding::Kind::command: return QStringLiteral("commandFinished");
    case SessionBinding::Kind::process: return QStringLiteral("processExited");
    case SessionBinding::Kind::until: return QStringLiteral("untilReached");
    }
    return QStringLiteral("timeUp");
}

} // namespace

SessionEndNotices::SessionEndNotices(QPointer<AppStateStore> store, std::shared_ptr<UserDefaults> defaults,
                                     Notifier notifier, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_defaults(std::move(defaults))
    , m_notifier(std::move(notifier))
{
    if (!m_store)
        return;
    m_lastSession = m_store->state().timedSession;
    m_lastClamshell = m_store->state().clamshell;
    m_binding = m_store->state().sessionBinding;
    connect(m_store, &AppStateStore::changed, this, &SessionEndNotices::storeChanged);
}

DesktopNotice SessionEndNotices::sessionEnded(const std::optional<SessionBinding> &binding)
{
    DesktopNotice notice{qtTrId("sessionEndedTitle"), QString()};
    if (!binding) {
        notice.body = qtTrId("sessionEndedTimeUp");
        return notice;
    }
    const QString name = binding->name.isEmpty() && binding->pid ? QString::number(*binding->pid) : binding->name;
    switch (binding->kind) {
    case SessionBinding::Kind::command:
        notice.body = Localization::text(QT_TRID_NOOP("sessionEndedCommand"), {name});
        break;
    case SessionBinding::Kind::process:
        notice.body = Localization::text(QT_TRID_NOOP("sessionEndedProcess"), {name});
        break;
    case SessionBinding::Kind::until:
        notice.body = Localization::text(QT_TRID_NOOP("sessionEndedUntil"),
                                         {binding->until.toLocalTime().toString(QStringLiteral("HH:mm"))});
        break;
    }
    return notice;
}

DesktopNotice SessionEndNotices::closedLidStopped(qint64 batteryLevel)
{
    return {qtTrId("closedLidStoppedTitle"),
            Localization::text(QT_TRID_NOOP("closedLidStoppedBody"), {QString::number(batteryLevel)})};
}

void SessionEndNotices::storeChanged()
{
    if (!m_store)
        return;
    const VemoState &state = m_store->state();
    const TimedSessionState before = m_lastSession;
    const ClamshellState clamshellBefore = m_lastClamshell;
    m_lastSession = state.timedSession;
    m_lastClamshell = state.clamshell;
    const std::optional<SessionBinding> binding = m_binding;
    if (isUnderway(state.timedSession))
        m_binding = state.sessionBinding;
    else
        m_binding.reset();

    // Only the preventer's own end report writes `ended`, and only for an end nobody asked for
    // (the tool's time ran out, or the job the session was kept for ended).
    if (is<TimedSession::Ended>(state.timedSession) && isUnderway(before))
        send(sessionEnded(binding), reasonFor(binding));
    // `safetyStopped` is published only once the restore was proven; a failed one is `failed`.
    if (const auto *stopped = std::get_if<Clamshell::SafetyStopped>(&state.clamshell);
        stopped && !is<Clamshell::SafetyStopped>(clamshellBefore))
        send(closedLidStopped(stopped->level), QStringLiteral("closedLidSafetyStop"));
}

void SessionEndNotices::send(const DesktopNotice &notice, const QString &reason)
{
    if (m_defaults && !Preferences::notifyWhenSessionEnds(*m_defaults))
        return;
    DiagnosticLog::log(Level::info, Category::app,
                       QStringLiteral("session end notice, reason=%1, shown=%2")
                           .arg(reason, m_notifier ? QStringLiteral("yes") : QStringLiteral("no")));
    if (m_notifier)
        m_notifier(notice);
}

} // namespace quorvel
