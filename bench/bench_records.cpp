// Start-up load + compaction of the event history, and diagnostic-log appends.
// Run by hand: build-<name>/bench/bench_records. Each case prints the median of its runs.
#include "records/DiagnosticLog.h"
#include "records/EventJournal.h"
#include "support/UserDefaults.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <algorithm>

using namespace quorvel;

namespace {

constexpr int runs = 15;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QByteArray history(int lines)
{
    QByteArray bytes;
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc());
    for (int i = 0; i < lines; ++i) {
        const SystemEvidence evidence{0, PowerSource::battery, 80};
        bytes += encodeEvent(VemoEvent::make(EventKind::ClamshellStarted{false, 80}, evidence, start.addSecs(i)));
        bytes += '\n';
    }
    return bytes;
}

} // namespace

class RecordsBench : public QObject {
    Q_OBJECT

private slots:
    void startupLoad_data()
    {
        QTest::addColumn<int>("lines");
        for (int lines : {1000, 1501, 3002, 6004, 12008, 24016})
            QTest::addRow("%d lines", lines) << lines;
    }
    void startupLoad()
    {
        QFETCH(int, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath("EventHistory.jsonl");
        const QByteArray contents = history(lines);
        QList<double> ms;
        for (int run = 0; run < runs; ++run) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(contents);
            f.close();
            QElapsedTimer timer;
            timer.start();
            PersistentEventJournal journal(path);
            ms.append(timer.nsecsElapsed() / 1e6);
            QCOMPARE(journal.ring().events().size(), qMin(lines, 1000));
        }
        qInfo("start-up load%s of %d lines (%lld KiB): median %.2f ms", lines > 1500 ? " + compaction" : "", lines,
              contents.size() / 1024, median(ms));
    }

    void logAppends_data()
    {
        QTest::addColumn<qint64>("startSize");
        QTest::newRow("fresh file") << qint64(0);
        QTest::newRow("from 1.9 MiB (one trim)") << qint64(1900 * 1024);
    }
    void logAppends()
    {
        QFETCH(qint64, startSize);
        QTemporaryDir dir;
        const QString path = dir.filePath("diagnostic.log");
        DiagnosticLog::resetForTesting(path, std::make_shared<MemoryUserDefaults>());
        const QString message = QStringLiteral("timed session started, seconds=7200, note=%1").arg(QString(40, 'x'));
        QList<double> ms;
        for (int run = 0; run < runs; ++run) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(startSize, 'a').replace(99, 1, "\n"));
            f.close();
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < 10000; ++i)
                DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::timed, message);
            ms.append(timer.nsecsElapsed() / 1e6);
        }
        const double m = median(ms);
        qInfo("10,000 log appends, %s: median %.1f ms (%.1f us each)", QTest::currentDataTag(), m, m * 1000.0 / 10000);
        DiagnosticLog::resetForTesting(QString(), std::make_shared<MemoryUserDefaults>());
    }
};

QTEST_GUILESS_MAIN(RecordsBench)
#include "bench_records.moc"
