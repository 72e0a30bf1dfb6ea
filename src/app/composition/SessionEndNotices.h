#pragma once

#include "state/AppStateStore.h"
#include "support/Notifier.h"
#include "support/UserDefaults.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

namespace quorvel {

// Tells the person, through a desktop notification, when something they may have walked away
// from has ended by itself: a timed session whose time ran out, a session kept for a command,
// a process or a clock time, and closed-lid mode stopped for the battery. What they did
// themselves (stop, quit, a change from the menu) and failures, which the menu shows with its
// badge, send nothing. Reads the store only, so it needs no hook in the controllers.
class SessionEndNotices final : public QObject {
    Q_OBJECT
public:
    SessionEndNotices(QPointer<AppStateStore> store, std::shared_ptr<UserDefaults> defaults, Notifier notifier,
                      QObject *parent = nullptr);

    // The notice for a timed session that ended by itself, in the interface language: what it
    // was kept for, if anything.
    static DesktopNotice sessionEnded(const std::optional<SessionBinding> &binding);
    static DesktopNotice closedLidStopped(qint64 batteryLevel);

private:
    void storeChanged();
    void send(const DesktopNotice &notice, const QString &reason);

    QPointer<AppStateStore> m_store;
    std::shared_ptr<UserDefaults> m_defaults;
    Notifier m_notifier;
    TimedSessionState m_lastSession;
    ClamshellState m_lastClamshell;
    // The store drops a binding together with its session, so the one an ending session had is
    // remembered from the changes before.
    std::optional<SessionBinding> m_binding;
};

} // namespace quorvel
