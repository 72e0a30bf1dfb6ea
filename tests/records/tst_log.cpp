#include "records/DiagnosticLog.h"
#include "records/FileDiagnostic.h"
#include "records/UnifiedLog.h"
#include "support/LogCapture.h"
#include "support/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <syslog.h>

Q_DECLARE_METATYPE(quorvel::DiagnosticLog::Level)
Q_DECLARE_METATYPE(quorvel::DiagnosticLog::UnifiedType)

using namespace quorvel;
using DiagnosticLog::Category;
using DiagnosticLog::Level;
using test::LogCapture;

namespace {

// Every line a FileDiagnostic writes is "yyyy-MM-dd HH:mm:ss.SSS " + line + "\n".
constexpr qint64 stampBytes = 24;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// `size` bytes of 100-byte lines; the first line absorbs the remainder.
QByteArray linesOfSize(qint64 size)
{
    const qint64 lines = size / 100;
    QByteArray bytes(size % 100, 'p');
    bytes.reserve(size);
    for (qint64 i = 0; i < lines; ++i)
        bytes += QByteArray(99, 'x') + '\n';
    return bytes;
}

void logAllLevels()
{
    DiagnosticLog::log(Level::debug, Category::timed, "d");
    DiagnosticLog::log(Level::info, Category::display, "i");
    DiagnosticLog::log(Level::warning, Category::clamshell, "w");
    DiagnosticLog::log(Level::error, Category::authorization, "e");
}

} // namespace

class LogTest : public QObject {
    Q_OBJECT

private slots:
    void minimumLevel_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QStringList>("lines");
        const QStringList fromInfo = {"[INFO] [display] i", "[WARNING] [clamshell] w", "[ERROR] [authorization] e"};
        QTest::newRow("absent") << QVariant() << fromInfo;
        QTest::newRow("debug") << QVariant("debug") << (QStringList{"[DEBUG] [timed] d"} + fromInfo);
        QTest::newRow("info") << QVariant("info") << fromInfo;
        QTest::newRow("warning") << QVariant("warning") << fromInfo.mid(1);
        QTest::newRow("error") << QVariant("error") << fromInfo.mid(2);
        QTest::newRow("Debug") << QVariant("Debug") << fromInfo;
        QTest::newRow("ERROR") << QVariant("ERROR") << fromInfo;
        QTest::newRow("verbose") << QVariant("verbose") << fromInfo;
        QTest::newRow("number") << QVariant(0) << fromInfo;
    }
    void minimumLevel()
    {
        QFETCH(QVariant, stored);
        QFETCH(QStringList, lines);
        auto defaults = std::make_shared<MemoryUserDefaults>();
        if (stored.isValid())
            defaults->setValue(DiagnosticLog::minimumLevelKey, stored);
        LogCapture log(defaults);
        logAllLevels();
        QCOMPARE(log.lines(), lines);
    }

    void minimumLevelIsReadOnce()
    {
        auto defaults = std::make_shared<MemoryUserDefaults>();
        LogCapture log(defaults);
        DiagnosticLog::log(Level::debug, Category::app, "hidden");
        defaults->setValue(DiagnosticLog::minimumLevelKey, "debug");
        DiagnosticLog::log(Level::debug, Category::app, "still hidden");
        defaults->setValue(DiagnosticLog::minimumLevelKey, "error");
        DiagnosticLog::log(Level::info, Category::app, "shown");
        QCOMPARE(log.messages(), QStringList{"shown"});
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

        log.clear();
        for (Category c : {Category::timed, Category::display, Category::clamshell, Category::authorization,
                           Category::battery, Category::app, Category::startup})
            DiagnosticLog::log(Level::warning, c, "x \u00e9\u6c49");
        QCOMPARE(log.lines(),
                 (QStringList{"[WARNING] [timed] x \u00e9\u6c49", "[WARNING] [display] x \u00e9\u6c49",
                              "[WARNING] [clamshell] x \u00e9\u6c49", "[WARNING] [authorization] x \u00e9\u6c49",
                              "[WARNING] [battery] x \u00e9\u6c49", "[WARNING] [app] x \u00e9\u6c49",
                              "[WARNING] [startup] x \u00e9\u6c49"}));
    }

    void systemLogTypes_data()
    {
        QTest::addColumn<Level>("level");
        QTest::addColumn<DiagnosticLog::UnifiedType>("type");
        QTest::addColumn<int>("priority");
        QTest::newRow("debug") << Level::debug << DiagnosticLog::UnifiedType::debug << LOG_DEBUG;
        QTest::newRow("info") << Level::info << DiagnosticLog::UnifiedType::info << LOG_INFO;
        QTest::newRow("warning") << Level::warning << DiagnosticLog::UnifiedType::standard << LOG_NOTICE;
        QTest::newRow("error") << Level::error << DiagnosticLog::UnifiedType::error << LOG_ERR;
    }
    void systemLogTypes()
    {
        QFETCH(Level, level);
        QFETCH(DiagnosticLog::UnifiedType, type);
        QFETCH(int, priority);
        QCOMPARE(DiagnosticLog::unifiedType(level), type);
        QCOMPARE(records::syslogPriority(type), priority);
    }

    // Before the write, the file holds `before`; the logged line adds `line` bytes in all.
    void trim_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("lineBytes");
        QTest::addColumn<QString>("outcome");
        const qint64 limit = FileDiagnostic::trimThreshold;
        QTest::newRow("lands exactly on the limit") << linesOfSize(limit - 100) << 100 << "untouched";
        QTest::newRow("one byte over") << linesOfSize(limit - 99) << 100 << "trimmed";
        QTest::newRow("far over") << linesOfSize(3 * limit) << 100 << "trimmed";
        QTest::newRow("no line feed in the tail")
            << (linesOfSize(limit / 2) + QByteArray(limit, 'y')) << 100 << "empty";
        QByteArray notUtf8 = linesOfSize(limit + 10);
        notUtf8[5] = '\xff';
        QTest::newRow("not UTF-8") << notUtf8 << 100 << "untouched";
        // A cut that would split a two-byte character falls back to the first line feed.
        QByteArray split = linesOfSize(limit + 1);
        const qint64 cut = split.size() + 100 - FileDiagnostic::keptTail;
        split[cut - 1] = '\xc3';
        split[cut] = '\xa9';
        QTest::newRow("cut inside a character") << split << 100 << "after first line";
    }
    void trim()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, lineBytes);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath("diagnostic.log");
        writeAll(path, before);
        FileDiagnostic file(path);
        file.write(QString(lineBytes - stampBytes - 1, 'n'));
        const QByteArray after = readAll(path);
        if (outcome == "empty") {
            QCOMPARE(after, QByteArray());
            return;
        }
        QVERIFY(after.endsWith(QByteArray(lineBytes - stampBytes - 1, 'n') + '\n'));
        const QByteArray whole = before + after.right(lineBytes);
        if (outcome == "untouched") {
            QCOMPARE(after.size(), whole.size());
            QCOMPARE(after.left(before.size()), before);
        } else if (outcome == "trimmed") {
            QVERIFY(after.size() <= FileDiagnostic::keptTail);
            QVERIFY(after.size() > FileDiagnostic::keptTail - 100); // at most the cut line is lost
            QVERIFY(whole.endsWith(after));
            QCOMPARE(whole.at(whole.size() - after.size() - 1), '\n'); // begins at a line start
        } else {
            QCOMPARE(after, whole.mid(whole.indexOf('\n') + 1));
        }
    }

    void missingFolderIsRecreatedAndUnwritableIsSilent()
    {
        QTemporaryDir dir;
        FileDiagnostic gone(dir.filePath("logs/app/diagnostic.log"));
        gone.write("one");
        QVERIFY(QDir(dir.filePath("logs")).removeRecursively());
        gone.write("two");
        QVERIFY(readAll(gone.path()).endsWith(" two\n"));

        writeAll(dir.filePath("plain"), "x");
        FileDiagnostic blocked(dir.filePath("plain/sub/diagnostic.log"));
        blocked.write("lost");
        QCOMPARE(readAll(dir.filePath("plain")), QByteArray("x"));
    }

    void concurrentCallersWriteWholeLines()
    {
        LogCapture log;
        const QString filler(3000, 'z');
        auto writer = [&](const QString &name) {
            return QThread::create([name, filler] {
                for (int i = 0; i < 300; ++i)
                    DiagnosticLog::log(Level::info, Category::app, name + QString::number(i) + ' ' + filler);
            });
        };
        std::unique_ptr<QThread> a(writer("a")), b(writer("b"));
        a->start();
        b->start();
        QVERIFY(a->wait(60000) && b->wait(60000));
        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), 600);
        const QRegularExpression whole("^\\[INFO\\] \\[app\\] [ab]\\d+ z{3000}$");
        for (const QString &line : lines)
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(80)));
    }

    void defaultLocationFollowsStateHome()
    {
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", dir.path().toUtf8());
        QCOMPARE(DiagnosticLog::defaultLocation(), dir.path() + "/app.quorvel.Quorvel/diagnostic.log");
        qputenv("XDG_STATE_HOME", "");
        qputenv("HOME", dir.path().toUtf8());
        QCOMPARE(DiagnosticLog::defaultLocation(), dir.path() + "/.local/state/app.quorvel.Quorvel/diagnostic.log");
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
