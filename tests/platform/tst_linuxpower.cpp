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
        QTest::addColumn<QStringList>("supplies");
        QTest::addColumn<int>("source");
        QTest::addColumn<qint64>("level"); // -1: none
        const int battery = int(PowerSource::battery), adapter = int(PowerSource::powerAdapter),
                  unknown = int(PowerSource::unknown);
        QTest::newRow("laptop unplugged, energy")
            << QStringList{"AC:type=Mains,online=0", "BAT0:type=Battery,energy_now=4000,energy_full=10000"} << battery
            << qint64(40);
        QTest::newRow("laptop plugged, charge")
            << QStringList{"AC:type=Mains,online=1", "BAT0:type=Battery,charge_now=2,charge_full=3"} << adapter
            << qint64(67);
        QTest::newRow("no mains: status decides, capacity")
            << QStringList{"BAT1:type=Battery,status=Discharging,capacity=55"} << battery << qint64(55);
        QTest::newRow("peripheral and empty slot ignored")
            << QStringList{"hid:type=Battery,scope=Device,capacity=5", "BAT0:type=Battery,present=0,capacity=9",
                           "AC:type=Mains,online=1"}
            << adapter << qint64(-1);
        QTest::newRow("desktop offline mains") << QStringList{"AC:type=Mains,online=0"} << unknown << qint64(-1);
        QTest::newRow("nothing") << QStringList{} << unknown << qint64(-1);
    }

    void readsTheMachinesSupplies()
    {
        QFETCH(QStringList, supplies);
        QFETCH(int, source);
        QFETCH(qint64, level);
        QTemporaryDir root;
        for (const QString &supply : supplies) {
            const QString name = supply.section(':', 0, 0);
            QDir(root.path()).mkpath(name);
            for (const QString &attribute : supply.section(':', 1).split(',')) {
                QFile f(root.filePath(name + '/' + attribute.section('=', 0, 0)));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(attribute.section('=', 1).toUtf8() + '\n');
            }
        }
        const PowerContext ctx = readLinuxPowerContext(QDateTime::currentDateTimeUtc(), root.path());
        QCOMPARE(int(ctx.powerSource), source);
        QCOMPARE(ctx.batteryLevel, level < 0 ? std::nullopt : std::optional<qint64>(level));
    }
};

QTEST_GUILESS_MAIN(LinuxPowerTest)
#include "tst_linuxpower.moc"
