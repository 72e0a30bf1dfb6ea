#include "platform/linux/LinuxPowerSupply.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

// The sysfs reader on fake /sys/class/power_supply trees: each supply is "name:attr=value,...".
class LinuxPowerTest : public QObject {
    Q_OBJECT

private slots:
    void readsTheMachinesSupplies_data()
    {
        QTest::addColumn<QString>("supplies"); // separated by blanks
        QTest::addColumn<PowerSource>("source");
        QTest::addColumn<std::optional<qint64>>("level");
        const auto row = [](const char *name, const char *supplies, PowerSource source, std::optional<qint64> level) {
            QTest::newRow(name) << QString(supplies) << source << level;
        };
        const PowerSource battery = PowerSource::battery, adapter = PowerSource::powerAdapter;
        row("laptop unplugged, energy", "AC:type=Mains,online=0 BAT0:type=Battery,energy_now=4000,energy_full=10000",
            battery, 40);
        row("laptop plugged, charge", "AC:type=Mains,online=1 BAT0:type=Battery,charge_now=2,charge_full=3", adapter,
            67);
        row("no mains: status decides, capacity", "BAT1:type=Battery,status=Discharging,capacity=55", battery, 55);
        row("peripheral and empty slot ignored",
            "hid:type=Battery,scope=Device,capacity=5 BAT0:type=Battery,present=0,capacity=9 AC:type=Mains,online=1",
            adapter, std::nullopt);
        row("desktop offline mains", "AC:type=Mains,online=0", PowerSource::unknown, std::nullopt);
        row("nothing", "", PowerSource::unknown, std::nullopt);
    }

    void readsTheMachinesSupplies()
    {
        QFETCH(QString, supplies);
        QTemporaryDir root;
        for (const QString &supply : supplies.split(' ', Qt::SkipEmptyParts)) {
            const QString name = supply.section(':', 0, 0);
            QDir(root.path()).mkpath(name);
            for (const QString &attribute : supply.section(':', 1).split(',')) {
                QFile f(root.filePath(name + '/' + attribute.section('=', 0, 0)));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(attribute.section('=', 1).toUtf8() + '\n');
            }
        }
        const PowerContext ctx = readLinuxPowerContext(QDateTime::currentDateTimeUtc(), root.path());
        QTEST(ctx.powerSource, "source");
        QTEST(ctx.batteryLevel, "level");
    }
};

QTEST_GUILESS_MAIN(LinuxPowerTest)
#include "tst_linuxpower.moc"
