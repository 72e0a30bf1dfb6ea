#include "platform/linux/LinuxPowerSupply.h"

#include "power/PowerContextReader.h"

#include <QDir>
#include <QFile>
#include <QVariantMap>

namespace quorvel {

namespace {

// One sysfs attribute: a single short line of text; absent when unreadable.
std::optional<QString> attribute(const QDir &supply, const char *name)
{
    QFile file(supply.filePath(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.read(256)).trimmed();
}

std::optional<qint64> integerAttribute(const QDir &supply, const char *name)
{
    const std::optional<QString> text = attribute(supply, name);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const qint64 value = text->toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

struct Supply {
    QDir dir;
    QString type;
};

} // namespace

QVariantList linuxPowerSourceDescriptions(const QString &root)
{
    QList<Supply> batteries;
    QList<Supply> mains;
    const QDir rootDir(root);
    // Entries under /sys/class/power_supply are symbolic links to the devices.
    const QStringList names = rootDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QDir dir(rootDir.filePath(name));
        const QString type = attribute(dir, "type").value_or(QString());
        // A mouse or headset battery says scope "Device"; it does not power the machine.
        if (attribute(dir, "scope").value_or(QString()).compare(QLatin1String("Device"), Qt::CaseInsensitive) == 0)
            continue;
        if (type == QLatin1String("Battery")) {
            if (integerAttribute(dir, "present").value_or(1) != 0)
                batteries.append({dir, type});
        } else if (QFile::exists(dir.filePath(QStringLiteral("online")))) {
            mains.append({dir, type});
        }
    }

    // With any mains-type supply present, its "online" flag is the truth about the adapter;
    // battery status texts lag behind and differ between firmwares.
    std::optional<bool> onMains;
    if (!mains.isEmpty()) {
        onMains = false;
        for (const Supply &supply : mains)
            if (integerAttribute(supply.dir, "online").value_or(0) == 1)
                onMains = true;
    }

    QVariantList descriptions;
    for (const Supply &battery : batteries) {
        QVariantMap description;
        std::optional<bool> adapter = onMains;
        if (!adapter) {
            const QString status = attribute(battery.dir, "status").value_or(QString());
            if (status == QLatin1String("Discharging"))
                adapter = false;
            else if (status == QLatin1String("Charging") || status == QLatin1String("Full")
                     || status == QLatin1String("Not charging"))
                adapter = true;
        }
        if (adapter)
            description.insert(
                QLatin1String(PowerSourceKey::state),
                QString::fromLatin1(*adapter ? PowerSourceStateText::acPower : PowerSourceStateText::batteryPower));

        // Energy, then charge, then the kernel's own rounded percent.
        static const char *const pairs[][2] = {
            {"energy_now", "energy_full"}, {"charge_now", "charge_full"}, {"capacity", nullptr}};
        for (const auto &pair : pairs) {
            const std::optional<qint64> now = integerAttribute(battery.dir, pair[0]);
            const std::optional<qint64> full = pair[1] ? integerAttribute(battery.dir, pair[1]) : qint64(100);
            if (now && full) {
                description.insert(QLatin1String(PowerSourceKey::currentCapacity), *now);
                description.insert(QLatin1String(PowerSourceKey::maxCapacity), *full);
                break;
            }
        }
        descriptions.append(description);
    }

    // A desktop: the mains supply alone says the adapter powers it, without a level. A mains
    // supply that reports itself offline on a machine without a battery tells nothing usable.
    if (batteries.isEmpty() && onMains.value_or(false)) {
        QVariantMap description;
        description.insert(QLatin1String(PowerSourceKey::state), QString::fromLatin1(PowerSourceStateText::acPower));
        descriptions.append(description);
    }
    return descriptions;
}

PowerContext readLinuxPowerContext(const QDateTime &now, const QString &root)
{
    return readPowerContext(linuxPowerSourceDescriptions(root), false, now);
}

} // namespace quorvel
