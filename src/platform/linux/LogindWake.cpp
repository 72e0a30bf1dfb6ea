#include "platform/linux/LogindWake.h"

#include "platform/linux/LogindInhibitor.h"

#include <QDBusConnection>

namespace quorvel {

namespace {

const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString prepareForSleep = QStringLiteral("PrepareForSleep");

class WakeSubscription final : public QObject, public PowerChangeSubscription {
    Q_OBJECT
public:
    WakeSubscription(QDBusConnection bus, std::function<void()> notify)
        : m_bus(std::move(bus))
        , m_notify(std::move(notify))
    {
        m_connected = m_bus.connect(logind::service, managerPath, managerInterface, prepareForSleep, this,
                                    SLOT(sleepChanged(bool)));
    }
    ~WakeSubscription() override
    {
        if (m_connected)
            m_bus.disconnect(logind::service, managerPath, managerInterface, prepareForSleep, this,
                             SLOT(sleepChanged(bool)));
    }
    bool connected() const { return m_connected; }

public slots:
    void sleepChanged(bool goingToSleep)
    {
        if (!goingToSleep)
            m_notify();
    }

private:
    QDBusConnection m_bus;
    std::function<void()> m_notify;
    bool m_connected = false;
};

} // namespace

PowerChangeSource logindWakeNotifications(linuxbus::Buses buses)
{
    return [buses = std::move(buses)](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        auto subscription = std::make_unique<WakeSubscription>(buses.system, std::move(notify));
        if (!subscription->connected())
            return nullptr;
        return subscription;
    };
}

} // namespace quorvel

#include "LogindWake.moc"
