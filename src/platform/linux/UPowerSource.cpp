#include "platform/linux/UPowerSource.h"

#include "platform/linux/LinuxPowerSupply.h"
#include "power/PowerContextReader.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QVariantMap>

#include <cmath>

namespace quorvel {

namespace {

const QString managerPath = QStringLiteral("/org/freedesktop/UPower");
const QString displayPath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString profilesPath = QStringLiteral("/net/hadess/PowerProfiles");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr quint32 batteryType = 2;
constexpr quint32 dischargingState = 2;

bool lowPowerMode(const QDBusConnection &system)
{
    return linuxbus::property(system, powerprofiles::service, profilesPath, powerprofiles::service,
                              QStringLiteral("ActiveProfile"))
               .toString()
           == QLatin1String("power-saver");
}

// Collects the change notices of one subscription and hands them on once per burst.
class UPowerSubscription final : public QObject, public PowerChangeSubscription {
    Q_OBJECT
public:
    UPowerSubscription(linuxbus::Buses buses, std::function<void()> notify)
        : m_buses(std::move(buses))
        , m_notify(std::move(notify))
    {
        m_burst.setSingleShot(true);
        m_burst.setInterval(0);
        connect(&m_burst, &QTimer::timeout, this, [this] { m_notify(); });
        QDBusConnection bus = m_buses.system;
        for (const auto &[service, path] :
             {std::pair{upower::service, displayPath}, std::pair{upower::service, managerPath},
              std::pair{powerprofiles::service, profilesPath}})
            bus.connect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                        SLOT(propertiesChanged()));
        auto *watcher = new QDBusServiceWatcher(upower::service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &UPowerSubscription::propertiesChanged);
    }

    ~UPowerSubscription() override
    {
        QDBusConnection bus = m_buses.system;
        for (const auto &[service, path] :
             {std::pair{upower::service, displayPath}, std::pair{upower::service, managerPath},
              std::pair{powerprofiles::service, profilesPath}})
            bus.disconnect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                           SLOT(propertiesChanged()));
    }

public slots:
    void propertiesChanged() { m_burst.start(); }

private:
    linuxbus::Buses m_buses;
    std::function<void()> m_notify;
    QTimer m_burst;
};

} // namespace

PowerContext readUPowerContext(const linuxbus::Buses &buses, const QDateTime &now)
{
    const QDBusConnection &system = buses.system;
    const bool lowPower = lowPowerMode(system);
    if (!linuxbus::hasOwner(system, upower::service)) {
        // Without UPower the kernel's supplies still tell the truth, only without change notices.
        PowerContext context = readLinuxPowerContext(now);
        context.isLowPowerModeEnabled = lowPower;
        return context;
    }

    const QDBusMessage reply = linuxbus::call(system, upower::service, displayPath, propertiesInterface,
                                              QStringLiteral("GetAll"), {deviceInterface});
    const QVariantMap device = linuxbus::succeeded(reply) && !reply.arguments().isEmpty()
                                   ? qdbus_cast<QVariantMap>(reply.arguments().constFirst())
                                   : QVariantMap();
    QVariantMap source;
    const bool battery = device.value(QStringLiteral("IsPresent")).toBool()
                         && device.value(QStringLiteral("Type")).toUInt() == batteryType;
    if (!battery) {
        source.insert(QLatin1String(PowerSourceKey::state), QLatin1String(PowerSourceStateText::acPower));
    } else {
        const QVariant onBatteryValue =
            linuxbus::property(system, upower::service, managerPath, upower::service, QStringLiteral("OnBattery"));
        const bool onBattery = onBatteryValue.isValid()
                                   ? onBatteryValue.toBool()
                                   : device.value(QStringLiteral("State")).toUInt() == dischargingState;
        source.insert(QLatin1String(PowerSourceKey::state), onBattery
                                                                ? QLatin1String(PowerSourceStateText::batteryPower)
                                                                : QLatin1String(PowerSourceStateText::acPower));
        bool ok = false;
        const double percentage = device.value(QStringLiteral("Percentage")).toDouble(&ok);
        if (ok && std::isfinite(percentage)) {
            source.insert(QLatin1String(PowerSourceKey::currentCapacity), qint64(std::lround(percentage)));
            source.insert(QLatin1String(PowerSourceKey::maxCapacity), qint64(100));
        }
    }
    return readPowerContext({source}, lowPower, now);
}

PowerChangeSource upowerChanges(linuxbus::Buses buses)
{
    return [buses](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        if (!buses.system.isConnected())
            return nullptr;
        return std::make_unique<UPowerSubscription>(buses, std::move(notify));
    };
}

} // namespace quorvel

#include "UPowerSource.moc"
