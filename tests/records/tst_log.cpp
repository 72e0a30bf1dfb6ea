#include "FullDisk.h"
#include "Planted.h"
#include "records/DiagnosticLog.h"
#include "records/FileDiagnostic.h"
#include "records/RecordsNotice.h"
#include "support/LogCapture.h"
#include "support/UserDefaults.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace quorvel;
using DiagnosticLog::Category;
using DiagnosticLog::Level;
using test::LogCapture;

namespace {

const qint64 trimThreshold = 2097152, keptTail = 1048576;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `size` bytes of 100-byte lines; the first line absorbs the remainder.
QByteArray linesOfSize(qint64 size)
{
    QByteArray bytes(size % 100, 'p');
    for (qint64 i = 0; i < size / 100; ++i)
        bytes += QByteArray(99, 'x') + '\n';
    return bytes;
}

} // namespace

class LogTest : public QObject {
    Q_OBJECT

private slots:
    void minimumLevelIsReadOnce_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("lowest"); // the first of debug, info, warning, error that gets through
        const std::initializer_list<std::pair<const char *, int>> rows = {
            {"debug", 0}, {"warning", 2}, {"error", 3}, {"Debug", 1}, {"verbose", 1}}; // letter case counts
        QTest::newRow("absent") << QVariant() << 1;
        for (const auto &[stored, lowest] : rows)
            QTest::newRow(stored) << QVariant(stored) << lowest;
    }
    void minimumLevelIsReadOnce()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, lowest);
        auto defaults = std::make_shared<MemoryUserDefaults>();
        if (stored.isValid())
            defaults->setValue(DiagnosticLog::minimumLevelKey, stored);
        LogCapture log(defaults);
        const QStringList all = {"[DEBUG] [app] m", "[INFO] [app] m", "[WARNING] [app] m", "[ERROR] [app] m"};
        for (int round = 0; round < 2; ++round) {
            log.clear();
            for (Level level : {Level::debug, Level::info, Level::warning, Level::error})
                DiagnosticLog::log(level, Category::app, "m");
            QCOMPARE(log.lines(), all.mid(lowest));
            // Changed after the first message: no effect until the next launch.
            defaults->setValue(DiagnosticLog::minimumLevelKey, lowest == 0 ? "error" : "debug");
        }
    }

    void exactFileLine()
    {
        LogCapture log;
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        DiagnosticLog::log(Level::info, Category::app, "cleanup completed, failedModules=none");
        const QDateTime after = QDateTime::currentDateTime().addMSecs(1);
        const QByteArray text = readAll(log.path());
        const QRegularExpressionMatch m =
            QRegularExpression(R"(^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}) \[INFO\] \[app\] )"
                               R"(cleanup completed, failedModules=none\n$)")
                .match(QString::fromUtf8(text));
        QVERIFY2(m.hasMatch(), text.constData());
        const QDateTime stamp = QDateTime::fromString(m.captured(1), "yyyy-MM-dd HH:mm:ss.zzz"); // local time
        QVERIFY2(stamp >= before && stamp <= after, qPrintable(m.captured(1)));
        QCOMPARE(DiagnosticLog::unifiedType(Level::warning), DiagnosticLog::UnifiedType::standard);
    }

    // The file holds `before`; the write adds one 100-byte line.
    void trim_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("lands exactly on the limit") << linesOfSize(trimThreshold - 100) << "untouched";
        QTest::newRow("one byte over") << linesOfSize(trimThreshold - 99) << "trimmed";
        QTest::newRow("no line feed in the tail")
            << (linesOfSize(trimThreshold / 2) + QByteArray(trimThreshold, 'y')) << "empty";
        QByteArray notUtf8 = linesOfSize(trimThreshold + 10);
        notUtf8[5] = '\xff';
        QTest::newRow("not UTF-8") << notUtf8 << "untouched";
    }
    void trim()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        QFile file(dir.filePath("diagnostic.log"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size() && file.flush());
        const QString line(100 - 24 - 1, 'n'); // after the "yyyy-MM-dd HH:mm:ss.SSS " stamp, before the LF
        FileDiagnostic(file.fileName()).write(line);
        const QByteArray after = readAll(file.fileName());
        const QByteArray whole = before + after.right(100);
        if (outcome == "empty") {
            QCOMPARE(after, QByteArray());
        } else if (outcome == "untouched") {
            QVERIFY(after.startsWith(before) && after.size() == before.size() + 100);
        } else {
            QVERIFY(after.size() <= keptTail && after.size() > keptTail - 100); // only the cut line is lost
            QVERIFY(whole.endsWith(after));
            QCOMPARE(whole.at(whole.size() - after.size() - 1), '\n');
        }
    }

    // A full disk takes nothing that was there and leaves no half line; lines resume when there
    // is room again.
    void fullDiskLeavesWholeLines()
    {
        QTemporaryDir dir;
        FileDiagnostic sink(dir.filePath("diagnostic.log"));
        sink.write("[INFO] [app] first");
        const QByteArray before = readAll(sink.path());
        {
            test::FullDisk full(before.size() + 10);
            QVERIFY(full.ok());
            sink.write("[INFO] [app] lost to the full disk");
        }
        QCOMPARE(readAll(sink.path()), before);
        sink.write("[INFO] [app] after");
        const QByteArray after = readAll(sink.path());
        QVERIFY(after.startsWith(before) && after.endsWith(" [INFO] [app] after\n") && after.count('\n') == 2);
    }

    // Nothing is written or trimmed through whatever is planted at the log's path, even where
    // the file behind a link is well over the trim threshold; the log is off, said once.
    void foreignFileAtThePath_data() { test::addPlantedKindRows(); }
    void foreignFileAtThePath()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("logs/diagnostic.log");
        const test::Planted planted(kind, path, linesOfSize(trimThreshold + 1000));
        if (!planted.ok())
            QSKIP("cannot plant this here (another user's file needs root)");
        records::resetRecordsOffForTesting();
        FileDiagnostic sink(path);
        sink.write("[INFO] [app] first");
        sink.write("[INFO] [app] second");
        QVERIFY(planted.untouched());
        QVERIFY(!records::reportRecordsOff(path, "again")); // already said, by the first write
    }

    void concurrentCallersWriteWholeLines()
    {
        LogCapture log;
        const QString long3000(3000, 'z');
        const auto writer = [&long3000] {
            for (int i = 0; i < 300; ++i)
                DiagnosticLog::log(Level::info, Category::app, long3000);
        };
        std::thread a(writer), b(writer);
        a.join();
        b.join();
        QCOMPARE(log.lines(), QStringList(600, "[INFO] [app] " + long3000));
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
