// The simulated power source: reading power.json and noticing its changes without polling.

#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimPower.h"

#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace quorvel;

Q_DECLARE_METATYPE(quorvel::PowerSource)
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

bool writeInPlace(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool writeAtomically(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}

} // namespace

class SimPowerTest : public QObject {
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_file;

    int setPower(const QStringList &args)
    {
        const SimPlatform sim(m_dir->filePath(QStringLiteral("root")), SimPlatform::fromEnvironment().toolsDir());
        QProcess tool;
        tool.setProcessEnvironment(sim.environment());
        tool.start(sim.toolsDir() + QStringLiteral("/quorvel-sim-power"), QStringList{"--file", m_file} + args);
        return tool.waitForFinished(10000) ? tool.exitCode() : -1;
    }

private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_file = m_dir->filePath(QStringLiteral("root/sim/power.json"));
        QVERIFY(QDir().mkpath(QFileInfo(m_file).absolutePath()));
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<missing>" for no file
        QTest::addColumn<PowerSource>("source");
        QTest::addColumn<std::optional<qint64>>("level");
        QTest::addColumn<bool>("lowPower");
        using L = std::optional<qint64>;
        QTest::newRow("battery") << QByteArray(R"({"source":"battery","level":23,"lowPower":false})")
                                 << PowerSource::battery << L(23) << false;
        QTest::newRow("ac, no level, low power")
            << QByteArray(R"({"source":"ac","lowPower":true})") << PowerSource::powerAdapter << L() << true;
        QTest::newRow("unknown keeps a level")
            << QByteArray(R"({"source":"unknown","level":60})") << PowerSource::unknown << L(60) << false;
        QTest::newRow("level above 100") << QByteArray(R"({"source":"battery","level":150})") << PowerSource::battery
                                         << L(100) << false;
        QTest::newRow("negative level") << QByteArray(R"({"source":"battery","level":-5})") << PowerSource::battery
                                        << L(0) << false;
        QTest::newRow("half rounds up") << QByteArray(R"({"source":"battery","level":45.5})") << PowerSource::battery
                                        << L(46) << false;
        QTest::newRow("level as text") << QByteArray(R"({"source":"battery","level":"23"})") << PowerSource::battery
                                       << L() << false;
        QTest::newRow("other source") << QByteArray(R"({"source":"solar","level":80})") << PowerSource::unknown << L(80)
                                      << false;
        QTest::newRow("not JSON") << QByteArray("source=battery") << PowerSource::unknown << L() << false;
        QTest::newRow("JSON array") << QByteArray("[1,2]") << PowerSource::unknown << L() << false;
        QTest::newRow("missing file") << QByteArray("<missing>") << PowerSource::unknown << L() << false;
    }
    void reads()
    {
        QFETCH(QByteArray, content);
        QFETCH(PowerSource, source);
        QFETCH(std::optional<qint64>, level);
        QFETCH(bool, lowPower);
        if (content != "<missing>")
            QVERIFY(writeInPlace(m_file, content));
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(1700000000123);
        const PowerContext ctx = readSimPower(m_file, now);
        QCOMPARE(ctx.powerSource, source);
        QCOMPARE(ctx.batteryLevel, level);
        QCOMPARE(ctx.isLowPowerModeEnabled, std::optional<bool>(lowPower));
        QCOMPARE(ctx.externalDisplayConnected, std::nullopt);
        QCOMPARE(ctx.updatedAt, now);
    }

    void noticesInPlaceWrites()
    {
        QVERIFY(writeInPlace(m_file, R"({"source":"ac"})"));
        SimPowerWatcher watcher(m_file);
        QSignalSpy spy(&watcher, &SimPowerWatcher::changed);
        QVERIFY(writeInPlace(m_file, R"({"source":"battery","level":50})"));
        QVERIFY(spy.wait(2000));
        QCOMPARE(readSimPower(m_file, {}).batteryLevel, std::optional<qint64>(50));
    }

    void noticesEveryAtomicReplace()
    {
        QCOMPARE(setPower({"--source", "ac"}), 0);
        SimPowerWatcher watcher(m_file);
        QSignalSpy spy(&watcher, &SimPowerWatcher::changed);
        // Twice: the second replace is seen only if the watch followed the new file.
        for (const int level : {23, 19}) {
            spy.clear();
            QCOMPARE(setPower({"--source", "battery", "--level", QString::number(level), "--low-power", "true"}), 0);
            QVERIFY(spy.count() > 0 || spy.wait(2000));
            const PowerContext ctx = readSimPower(m_file, {});
            QCOMPARE(ctx.powerSource, PowerSource::battery);
            QCOMPARE(ctx.batteryLevel, std::optional<qint64>(level));
            QCOMPARE(ctx.isLowPowerModeEnabled, std::optional<bool>(true));
        }
        // An in-place edit of the replaced file is seen only through a watch on the new inode.
        spy.clear();
        QVERIFY(writeInPlace(m_file, R"({"source":"battery","level":18,"lowPower":true})"));
        QVERIFY(spy.wait(2000));
        // Options left out keep their values.
        spy.clear();
        QCOMPARE(setPower({"--level", "none"}), 0);
        QVERIFY(spy.count() > 0 || spy.wait(2000));
        QCOMPARE(readSimPower(m_file, {}).powerSource, PowerSource::battery);
        QCOMPARE(readSimPower(m_file, {}).batteryLevel, std::nullopt);
        QCOMPARE(setPower({"--level", "101"}), 2);
    }

    void noticesCreationAndRemoval()
    {
        SimPowerWatcher watcher(m_file);
        QSignalSpy spy(&watcher, &SimPowerWatcher::changed);
        QVERIFY(writeAtomically(m_file, R"({"source":"battery","level":80})"));
        QVERIFY(spy.wait(2000));
        // Created after start, and now watched itself: an in-place edit is seen too.
        spy.clear();
        QVERIFY(writeInPlace(m_file, R"({"source":"battery","level":79})"));
        QVERIFY(spy.wait(2000));
        spy.clear();
        QVERIFY(QFile::remove(m_file));
        QVERIFY(spy.wait(2000));
        QCOMPARE(readSimPower(m_file, {}).powerSource, PowerSource::unknown);
    }

    void ignoresOtherFilesInTheFolder()
    {
        QVERIFY(writeInPlace(m_file, R"({"source":"ac"})"));
        SimPowerWatcher watcher(m_file);
        QSignalSpy spy(&watcher, &SimPowerWatcher::changed);
        QVERIFY(writeAtomically(m_dir->filePath(QStringLiteral("root/sim/disablesleep")), "1\n"));
        QVERIFY(!spy.wait(200));
    }
};

QTEST_GUILESS_MAIN(SimPowerTest)
#include "tst_simpower.moc"
