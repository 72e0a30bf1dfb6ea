#include "power/PowerContextReader.h"

// The platform library links every subsystem; the power tests compile the one sysfs reader
// they exercise instead of pulling all of that in.
#include "platform/linux/LinuxPowerSupply.cpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace quorvel;

Q_DECLARE_METATYPE(PowerSource)
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

QVariantMap source(QVariant state, QVariant current = {}, QVariant max = {})
{
    QVariantMap m;
    if (state.isValid())
        m.insert(QString::fromLatin1(PowerSourceKey::state), state);
    if (current.isValid())
        m.insert(QString::fromLatin1(PowerSourceKey::currentCapacity), current);
    if (max.isValid())
        m.insert(QString::fromLatin1(PowerSourceKey::maxCapacity), max);
    return m;
}

const QString ac = QStringLiteral("AC Power");
const QString bat = QStringLiteral("Battery Power");
const std::optional<qint64> none;

// A fake /sys/class/power_supply: "BAT0/capacity=57" writes one attribute file.
void writeTree(const QString &root, const QStringList &files)
{
    for (const QString &entry : files) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        const QString path = root + QLatin1Char('/') + entry.left(eq);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(entry.mid(eq + 1).toUtf8() + '\n');
    }
}

} // namespace

class PowerContextTest : public QObject {
    Q_OBJECT

private slots:
    void readsSources_data()
    {
        QTest::addColumn<QVariantList>("sources");
        QTest::addColumn<PowerSource>("expectedSource");
        QTest::addColumn<std::optional<qint64>>("expectedLevel");

        QTest::newRow("no information") << QVariantList{} << PowerSource::unknown << none;
        QTest::newRow("missing description skipped")
            << QVariantList{QVariant(), source(bat, 45, 100)} << PowerSource::battery << std::optional<qint64>(45);
        QTest::newRow("non-table description skipped")
            << QVariantList{QVariant(QStringLiteral("InternalBattery-0")), source(bat, 45, 100)} << PowerSource::battery
            << std::optional<qint64>(45);
        QTest::newRow("state alone ends the search")
            << QVariantList{source(ac), source(bat, 45, 100)} << PowerSource::powerAdapter << none;
        QTest::newRow("capacities without state")
            << QVariantList{source({}, 45, 100)} << PowerSource::unknown << std::optional<qint64>(45);
        QTest::newRow("plugged-in battery")
            << QVariantList{source(ac, 8000, 10000)} << PowerSource::powerAdapter << std::optional<qint64>(80);
        QTest::newRow("1 of 3") << QVariantList{source(bat, 1, 3)} << PowerSource::battery << std::optional<qint64>(33);
        QTest::newRow("2 of 3") << QVariantList{source(bat, 2, 3)} << PowerSource::battery << std::optional<qint64>(67);
        QTest::newRow("half rounds up") << QVariantList{source(bat, 1, 8)} << PowerSource::battery
                                        << std::optional<qint64>(13);
        QTest::newRow("current above max")
            << QVariantList{source(bat, 150, 100)} << PowerSource::battery << std::optional<qint64>(100);
        QTest::newRow("negative current")
            << QVariantList{source(bat, -5, 100)} << PowerSource::battery << std::optional<qint64>(0);
        QTest::newRow("max 0 with state: no level")
            << QVariantList{source(bat, 5, 0), source(ac, 1, 2)} << PowerSource::battery << none;
        QTest::newRow("max 0 without state: go on") << QVariantList{source({}, 5, 0), source(ac, 1, 2)}
                                                    << PowerSource::powerAdapter << std::optional<qint64>(50);
        QTest::newRow("number objects give their integer value")
            << QVariantList{source(bat, 45.9, 100.0)} << PowerSource::battery << std::optional<qint64>(45);
        QTest::newRow("text capacities are absent")
            << QVariantList{source(bat, QStringLiteral("45"), 100)} << PowerSource::battery << none;
        QTest::newRow("other state text decides nothing")
            << QVariantList{source(QStringLiteral("ac power")), source(QStringLiteral("Off Line")), source(bat)}
            << PowerSource::battery << none;
        QTest::newRow("nothing decides") << QVariantList{source({}, 5, {}), source({})} << PowerSource::unknown << none;
    }

    void readsSources()
    {
        QFETCH(QVariantList, sources);
        QFETCH(PowerSource, expectedSource);
        QFETCH(std::optional<qint64>, expectedLevel);
        const QDateTime now(QDate(2026, 3, 1), QTime(9, 30), QTimeZone::utc());
        const PowerContext ctx = readPowerContext(sources, true, now);
        QCOMPARE(ctx.powerSource, expectedSource);
        QCOMPARE(ctx.batteryLevel, expectedLevel);
        QCOMPARE(ctx.isLowPowerModeEnabled, std::optional<bool>(true));
        QVERIFY(!ctx.externalDisplayConnected);
        QCOMPARE(ctx.updatedAt, now);
    }

    void readsSysfsTree_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<PowerSource>("expectedSource");
        QTest::addColumn<std::optional<qint64>>("expectedLevel");

        QTest::newRow("no supplies") << QStringList{} << PowerSource::unknown << none;
        QTest::newRow("laptop unplugged, energy") << QStringList{"AC/type=Mains",
                                                                 "AC/online=0",
                                                                 "BAT0/type=Battery",
                                                                 "BAT0/status=Discharging",
                                                                 "BAT0/energy_now=41000000",
                                                                 "BAT0/energy_full=50000000",
                                                                 "BAT0/capacity=99"}
                                                  << PowerSource::battery << std::optional<qint64>(82);
        QTest::newRow("mains online beats a stale status")
            << QStringList{"ADP1/type=Mains",         "ADP1/online=1",        "BAT0/type=Battery",
                           "BAT0/status=Discharging", "BAT0/charge_now=1000", "BAT0/charge_full=4000"}
            << PowerSource::powerAdapter << std::optional<qint64>(25);
        QTest::newRow("usb-c adapter counts as mains")
            << QStringList{"ucsi-source-psy-USBC000:001/type=USB", "ucsi-source-psy-USBC000:001/online=1",
                           "BAT1/type=Battery", "BAT1/capacity=64"}
            << PowerSource::powerAdapter << std::optional<qint64>(64);
        QTest::newRow("no mains file: status decides")
            << QStringList{"BAT0/type=Battery", "BAT0/status=Discharging", "BAT0/capacity=30"} << PowerSource::battery
            << std::optional<qint64>(30);
        QTest::newRow("unknown status, no mains")
            << QStringList{"BAT0/type=Battery", "BAT0/status=Unknown", "BAT0/capacity=30"} << PowerSource::unknown
            << std::optional<qint64>(30);
        QTest::newRow("desktop") << QStringList{"AC/type=Mains", "AC/online=1"} << PowerSource::powerAdapter << none;
        QTest::newRow("peripheral battery is not the machine's")
            << QStringList{"AC/type=Mains", "AC/online=1", "hidpp_battery_0/type=Battery",
                           "hidpp_battery_0/scope=Device", "hidpp_battery_0/capacity=70"}
            << PowerSource::powerAdapter << none;
        QTest::newRow("absent battery slot skipped")
            << QStringList{"AC/type=Mains",    "AC/online=0",       "BAT0/type=Battery", "BAT0/present=0",
                           "BAT0/capacity=90", "BAT1/type=Battery", "BAT1/capacity=12"}
            << PowerSource::battery << std::optional<qint64>(12);
        QTest::newRow("unreadable capacities fall through")
            << QStringList{"AC/type=Mains",       "AC/online=0",        "BAT0/type=Battery",
                           "BAT0/energy_now=abc", "BAT0/energy_full=5", "BAT0/charge_now=3"}
            << PowerSource::battery << none;
    }

    void readsSysfsTree()
    {
        QFETCH(QStringList, files);
        QFETCH(PowerSource, expectedSource);
        QFETCH(std::optional<qint64>, expectedLevel);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.filePath(QStringLiteral("power_supply"));
        QDir().mkpath(root);
        writeTree(root, files);
        const PowerContext ctx = readLinuxPowerContext(QDateTime::currentDateTimeUtc(), root);
        QCOMPARE(ctx.powerSource, expectedSource);
        QCOMPARE(ctx.batteryLevel, expectedLevel);
        QCOMPARE(ctx.isLowPowerModeEnabled, std::optional<bool>(false));
    }

    void missingSysfsRootReadsUnknown()
    {
        const PowerContext ctx = readLinuxPowerContext(QDateTime::currentDateTimeUtc(), QStringLiteral("/nonexistent"));
        QCOMPARE(ctx.powerSource, PowerSource::unknown);
        QVERIFY(!ctx.batteryLevel);
    }
};

QTEST_APPLESS_MAIN(PowerContextTest)
#include "tst_powercontext.moc"
