#pragma once

#include "idle/ProcessWatching.h"
#include "idle/TimedSleepPreventer.h"
#include "state/AppStateStore.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

namespace quorvel {

// Keeps a session for a job: while a process (or a command started for it) runs, or until a
// clock time. The binding is published in the store, where the menu and `ctl status` read
// it; a process binding is watched through the platform's seam and, when the process ends,
// the session is ended through the preventer's own stop, as a natural end. Anything that
// drops the store's binding (a change by hand, the session's end) drops the watch with it.
class SessionBinder final : public QObject {
    Q_OBJECT
public:
    SessionBinder(QPointer<AppStateStore> store, TimedSleepPreventer &timed, ProcessWatching watching,
                  QObject *parent = nullptr);

    // Publishes `binding` and watches `pid` for it; false, with nothing changed, when the
    // process is not running. The caller starts (or keeps) the session afterwards.
    bool bindToProcess(qint64 pid, const SessionBinding &binding);
    void bindUntil(const QDateTime &until);
    // Drops a binding the session never took up (the start was refused).
    void release();
    bool isBound() const { return m_binding.has_value(); }
    QString processName(qint64 pid) const;

private:
    void storeChanged();
    void processEnded();

    QPointer<AppStateStore> m_store;
    TimedSleepPreventer &m_timed;
    ProcessWatching m_watching;
    std::optional<SessionBinding> m_binding;
    std::unique_ptr<QObject> m_watch;
    qint64 m_watchedPid = 0;
};

} // namespace quorvel
