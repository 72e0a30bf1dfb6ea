#include "platform/linux/DesktopNotifications.h"

#include "platform/linux/LinuxBus.h"
#include "records/DiagnosticLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <utility>

namespace quorvel {

namespace {

struct NotifierState : std::enable_shared_from_this<NotifierState> {
    explicit NotifierState(QDBusConnection connection)
        : bus(std::move(connection))
    {
    }
    QDBusConnection bus;
    quint32 shownId = 0; // the service's id of our last notice, which the next one replaces
    // Until the service has given the last notice its id, a newer one waits (only the newest):
    // sent at once it would stack up beside the one it means to replace.
    bool awaitingId = false;
    std::optional<DesktopNotice> waiting;
    bool complained = false;

    void unavailable(const QString &reason)
    {
        if (complained)
            return;
        complained = true;
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("desktop notifications unavailable, reason=") + reason);
    }

    void show(const DesktopNotice &notice)
    {
        if (!bus.isConnected()) {
            unavailable(QStringLiteral("noSessionBus"));
            return;
        }
        if (awaitingId) {
            waiting = notice;
            return;
        }
        QDBusMessage message = QDBusMessage::createMethodCall(notifications::service, notifications::path,
                                                              notifications::interface, QStringLiteral("Notify"));
        const QString icon = QStringLiteral("app.quorvel.Quorvel");
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), icon);
        message.setArguments({QStringLiteral("Quorvel"), shownId, icon, notice.title, notice.body, QStringList(), hints,
                              notifications::expireTimeoutMs});
        // An unowned name is answered by the bus at once; a service that hangs times out on
        // its own, without anyone waiting for it.
        awaitingId = true;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, linuxbus::callTimeoutMs));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [self = shared_from_this()](QDBusPendingCallWatcher *call) {
                             const QDBusPendingReply<quint32> reply = *call;
                             call->deleteLater();
                             self->awaitingId = false;
                             if (reply.isError())
                                 self->unavailable(reply.error().name());
                             else
                                 self->shownId = reply.value();
                             if (const std::optional<DesktopNotice> next = std::exchange(self->waiting, std::nullopt))
                                 self->show(*next);
                         });
    }
};

} // namespace

Notifier freedesktopNotifier(QDBusConnection bus)
{
    auto state = std::make_shared<NotifierState>(std::move(bus));
    return [state](const DesktopNotice &notice) { state->show(notice); };
}

} // namespace quorvel
