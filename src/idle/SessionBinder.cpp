#include "idle/SessionBinder.h"

#include "records/DiagnosticLog.h"

namespace quorvel {

using DiagnosticLog::Category;
using DiagnosticLog::Level;

SessionBinder::SessionBinder(QPointer<AppStateStore> store, TimedSleepPreventer &timed, ProcessWatching watching,
                             QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_timed(timed)
    , m_watching(std::move(watching))
{
    if (m_store)
        connect(m_store, &AppStateStore::changed, this, &SessionBinder::storeChanged);
}

bool SessionBinder::bindToProcess(qint64 pid, const SessionBinding &binding)
{
    if (!m_store || !m_watching.watch)
        return false;
    QPointer<SessionBinder> self(this);
    auto watch = m_watching.watch(pid, [self] {
        if (self)
            self->processEnded();
    });
    if (!watch)
        return false;
    m_watch.reset();
    m_binding = binding;
    m_watchedPid = pid;
    m_store->setSessionBinding(binding);
    m_watch = std::move(watch);
    return true;
}

void SessionBinder::bindUntil(const QDateTime &until)
{
    if (!m_store)
        return;
    m_watch.reset();
    m_watchedPid = 0;
    SessionBinding binding;
    binding.kind = SessionBinding::Kind::until;
    binding.until = until.toUTC();
    m_binding = binding;
    m_store->setSessionBinding(binding);
}

void SessionBinder::release()
{
    m_watch.reset();
    m_binding.reset();
    m_watchedPid = 0;
    if (m_store)
        m_store->setSessionBinding(std::nullopt);
}

QString SessionBinder::processName(qint64 pid) const
{
    return m_watching.name ? m_watching.name(pid) : QString();
}

void SessionBinder::storeChanged()
{
    if (m_binding && (!m_store || m_store->state().sessionBinding != m_binding)) {
        m_watch.reset();
        m_binding.reset();
        m_watchedPid = 0;
    }
}

void SessionBinder::processEnded()
{
    if (!m_binding || !m_store)
        return;
    const SessionBinding binding = *m_binding;
    const TimedSessionState session = m_store->state().timedSession;
    if (!is<TimedSession::Running>(session) && !is<TimedSession::RunningPermanent>(session)
        && !is<TimedSession::Starting>(session))
        return;
    DiagnosticLog::log(Level::info, Category::timed,
                       binding.kind == SessionBinding::Kind::command
                           ? QStringLiteral("bound session ending, command exited, name=%1").arg(binding.name)
                           : QStringLiteral("bound session ending, process exited, pid=%1, name=%2")
                                 .arg(m_watchedPid)
                                 .arg(binding.name));
    m_timed.stop(TimedSleepPreventer::StopCause::bindingEnded);
}

} // namespace quorvel
