// The simulated power source: reading power.json and noticing its changes without polling.

#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimPower.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace quorvel;

namespace {

bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// As a tool that saves atomically does it: a new file renamed over the old one.
bool replace(const QString &path, const QByteArray &content)
{
    return write(path + ".new", content) && std::rename(QFile::encodeName(path + ".new"), QFile::encodeName(path)) == 0;
}

// "battery 23 lowPower": the source, the level if any, and low power when on ("lowPower?": unknown).
QString describe(const PowerContext &c)
{
    return QStringList{"battery", "ac", "unknown"}.at(int(c.powerSource))
           + (c.batteryLevel ? ' ' + QString::number(*c.batteryLevel) : "")
           + (c.isLowPowerModeEnabled == true ? " lowPower"
              : c.isLowPowerModeEnabled       ? ""
                                              : " lowPower?");
}

} // namespace

class SimPowerTest : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    QString m_file;

    QString read() const { return describe(readSimPower(m_file, {})); }
    int setPower(const QStringList &args) const
    {
        const QString tool = SimPlatform::fromEnvironment().toolsDir() + "/quorvel-sim-power";
        return QProcess::execute(tool, QStringList{"--file", m_file} + args);
    }

private slots:
    void init()
    {
        m_dir.emplace();
        m_file = m_dir->filePath("sim/power.json");
        QVERIFY(QDir().mkpath(m_dir->filePath("sim")));
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<QString>("power");
        QTest::newRow("battery") << QByteArray(R"({"source":"battery","level":23,"lowPower":false})") << "battery 23";
        QTest::newRow("ac, low power") << QByteArray(R"({"source":"ac","lowPower":true})") << "ac lowPower";
        QTest::newRow("level above 100") << QByteArray(R"({"source":"battery","level":150})") << "battery";
        QTest::newRow("negative level") << QByteArray(R"({"source":"battery","level":-5})") << "battery";
        QTest::newRow("half rounds up") << QByteArray(R"({"source":"battery","level":45.5})") << "battery 46";
        QTest::newRow("level as text") << QByteArray(R"({"source":"battery","level":"23"})") << "battery";
        QTest::newRow("other source") << QByteArray(R"({"source":"solar","level":80})") << "unknown 80";
        QTest::newRow("not JSON") << QByteArray("source=battery") << "unknown";
        QTest::newRow("JSON array") << QByteArray("[1,2]") << "unknown";
        QTest::newRow("missing file") << QByteArray() << "unknown";
    }
    void reads()
    {
        QFETCH(QByteArray, content);
        QVERIFY(content.isEmpty() || write(m_file, content));
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(1700000000123);
        const PowerContext power = readSimPower(m_file, now);
        QTEST(describe(power), "power");
        QCOMPARE(power.externalDisplayConnected, std::nullopt);
        QCOMPARE(power.updatedAt, now);
    }

    // One watcher through the file's whole life: each change is seen once the write is done.
    void noticesChanges()
    {
        SimPowerWatcher watcher(m_file);
        QSignalSpy spy(&watcher, &SimPowerWatcher::changed);
        const auto seen = [&spy] {
            const bool any = !spy.isEmpty() || spy.wait(2000);
            return spy.clear(), any;
        };
        QVERIFY(replace(m_dir->filePath("sim/disablesleep"), "1\n")); // another file in the folder
        QVERIFY(!spy.wait(200));
        QVERIFY(replace(m_file, R"({"source":"battery","level":80})")); // created after the start
        QVERIFY(seen());
        QVERIFY(write(m_file, R"({"source":"battery","level":79})")); // now watched itself
        QVERIFY(seen() && read() == "battery 79");
        // Replaced twice: the second is seen only if the watch followed the new file.
        for (const QString level : {"23", "19"}) {
            QCOMPARE(setPower({"--source", "battery", "--level", level, "--low-power", "true"}), 0);
            QVERIFY(seen());
            QCOMPARE(read(), "battery " + level + " lowPower");
        }
        QVERIFY(write(m_file, R"({"source":"ac","level":18})")); // in place, on the new inode
        QVERIFY(seen());
        QCOMPARE(setPower({"--level", "none"}), 0); // what is left out keeps its value
        QVERIFY(seen() && read() == "ac");
        QCOMPARE(setPower({"--level", "101"}), 2);
        QVERIFY(QFile::remove(m_file));
        QVERIFY(seen() && read() == "unknown");
    }
};

QTEST_GUILESS_MAIN(SimPowerTest)
#include "tst_simpower.moc"
