#include "platform/linux/DesktopNotifications.h"

#include "records/DiagnosticLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <memory>

namespace quorvel {

namespace {

struct NotifierState {
    QDBusConnection bus;
    quint32 shownId = 0; // the service's id of our last notice, which the next one replaces
    bool complained = false;

    void unavailable(const QString &reason)
    {
        if (complained)
            return;
        complained = true;
        DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                           QStringLiteral("desktop notifications unavailable, reason=") + reason);
    }
};

} // namespace

Notifier freedesktopNotifier(QDBusConnection bus)
{
    auto state = std::make_shared<NotifierState>(NotifierState{std::move(bus)});
    return [state](const DesktopNotice &notice) {
        if (!state->bus.isConnected()) {
            state->unavailable(QStringLiteral("noSessionBus"));
            return;
        }
        QDBusMessage message = QDBusMessage::createMethodCall(notifications::service, notifications::path,
                                                              notifications::interface, QStringLiteral("Notify"));
        const QString icon = QStringLiteral("app.quorvel.Quorvel");
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), icon);
        message.setArguments({QStringLiteral("Quorvel"), state->shownId, icon, notice.title, notice.body, QStringList(),
                              hints, notifications::expireTimeoutMs});
        // An unowned name is answered by the bus at once; a service that hangs times out on
        // its own, without anyone waiting for it.
        auto *watcher = new QDBusPendingCallWatcher(state->bus.asyncCall(message));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [state](QDBusPendingCallWatcher *call) {
            const QDBusPendingReply<quint32> reply = *call;
            if (reply.isError())
                state->unavailable(reply.error().name());
            else
                state->shownId = reply.value();
            call->deleteLater();
        });
    };
}

} // namespace quorvel
