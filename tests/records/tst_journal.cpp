#include "records/EventJournal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeZone>

using namespace quorvel;

namespace {

// Event n: a timed start of n seconds at a fixed moment plus n milliseconds.
VemoEvent numbered(qint64 n)
{
    return VemoEvent::make(EventKind::TimedStarted{n}, std::nullopt,
                           QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()).addMSecs(n));
}

QList<qint64> numbers(const QList<VemoEvent> &events)
{
    QList<qint64> result;
    for (const VemoEvent &e : events)
        result.append(std::get<EventKind::TimedStarted>(e.kind).durationSeconds);
    return result;
}

QList<qint64> range(qint64 first, qint64 last)
{
    QList<qint64> result;
    for (qint64 n = first; n <= last; ++n)
        result.append(n);
    return result;
}

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

// The file's lines decoded, failing on any line that does not decode.
QList<qint64> fileNumbers(const QString &path)
{
    QList<VemoEvent> events;
    for (const QByteArray &line : readAll(path).split('\n')) {
        if (line.isEmpty())
            continue;
        std::optional<VemoEvent> e = decodeEvent(line);
        if (!e)
            return {-1};
        events.append(*e);
    }
    return numbers(events);
}

} // namespace

class JournalTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init()
    {
        m_path = m_dir.filePath(QStringLiteral("%1-%2/EventHistory.jsonl")
                                    .arg(QLatin1String(QTest::currentTestFunction()),
                                         QString::fromUtf8(QTest::currentDataTag()).replace(' ', '_')));
    }

    void firstLaunchCreatesFolderAndFileOnFirstAppend()
    {
        m_path = m_dir.filePath("first/launch/EventHistory.jsonl");
        PersistentEventJournal journal(m_path);
        QVERIFY(journal.ring().events().isEmpty());
        QVERIFY(!QFileInfo::exists(m_path));
        const VemoEvent a = numbered(1), b = numbered(2);
        journal.append(a);
        journal.append(b);
        QCOMPARE(readAll(m_path), encodeEvent(a) + '\n' + encodeEvent(b) + '\n');
        QCOMPARE(journal.ring().events(), (QList<VemoEvent>{a, b}));
    }

    // Lines are written as: 'e' event, 'x' undecodable, 'b' blank; the pattern repeats.
    void startupLoadAndCompaction_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("compacted");
        QTest::addColumn<QList<qint64>>("ring");
        QTest::addColumn<QList<qint64>>("file"); // after compaction
        QTest::newRow("1500 lines") << 1500 << QByteArray("e") << false << range(501, 1500) << range(1, 1500);
        QTest::newRow("1501 lines") << 1501 << QByteArray("e") << true << range(502, 1501) << range(502, 1501);
        QTest::newRow("1200 lines") << 1200 << QByteArray("e") << false << range(201, 1200) << range(1, 1200);
        // 16-line pattern of 9 events and 7 bad lines: 900 events among 1600 lines.
        QTest::newRow("1600 with 700 bad")
            << 1600 << QByteArray("exexexexexexexee") << true << range(1, 900) << range(1, 900);
        // Blank lines do not count towards the threshold.
        QTest::newRow("1500 + blanks") << 2000 << QByteArray("eeeb") << false << range(501, 1500) << range(1, 1500);
    }
    void startupLoadAndCompaction()
    {
        QFETCH(int, lineCount);
        QFETCH(QByteArray, pattern);
        QFETCH(bool, compacted);
        QFETCH(QList<qint64>, ring);
        QFETCH(QList<qint64>, file);
        const QList<QByteArray> badLines = {"not json", R"({"id":1})", R"({"kind":{"timedExploded":{}}})",
                                            encodeEvent(numbered(0)).replace("timedStarted", "timedExploded")};
        QByteArray contents;
        qint64 n = 0;
        for (int i = 0; i < lineCount; ++i) {
            switch (pattern[i % pattern.size()]) {
            case 'e': contents += encodeEvent(numbered(++n)); break;
            case 'x': contents += badLines[i % badLines.size()]; break;
            default: break;
            }
            contents += '\n';
        }
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        writeAll(m_path, contents);

        PersistentEventJournal journal(m_path);
        QCOMPARE(numbers(journal.ring().events()), ring);
        if (compacted) {
            QCOMPARE(fileNumbers(m_path), file);
        } else {
            QCOMPARE(readAll(m_path), contents);
        }
    }

    void nonUtf8HistoryIsLeftAloneButAppendedTo()
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        QByteArray contents;
        for (int n = 1; n <= 1600; ++n)
            contents += encodeEvent(numbered(n)) + '\n';
        contents += "\xff\xfe\n";
        writeAll(m_path, contents);
        PersistentEventJournal journal(m_path);
        QVERIFY(journal.ring().events().isEmpty());
        QCOMPARE(readAll(m_path), contents);
        journal.append(numbered(7));
        QCOMPARE(readAll(m_path), contents + encodeEvent(journal.ring().events().last()) + '\n');
    }

    void ringDropsOldestAndCountsEverything()
    {
        InMemoryEventJournal ring(1000);
        for (int n = 1; n <= 1001; ++n)
            ring.append(numbered(n));
        QCOMPARE(ring.totalCount(), 1001);
        QCOMPARE(numbers(ring.events()), range(2, 1001));

        InMemoryEventJournal tiny(0); // at least one
        tiny.append(numbered(1));
        tiny.append(numbered(2));
        QCOMPARE(numbers(tiny.events()), QList<qint64>{2});
        QCOMPARE(tiny.totalCount(), 2);
    }

    void unwritableFolderKeepsEventsInMemory()
    {
        const QString blocker = m_dir.filePath("plain-file");
        writeAll(blocker, "x");
        PersistentEventJournal journal(blocker + "/history/EventHistory.jsonl");
        journal.append(numbered(1));
        QCOMPARE(numbers(journal.ring().events()), QList<qint64>{1});
        QCOMPARE(readAll(blocker), QByteArray("x"));
    }

    void concurrentAppendsKeepLinesWhole()
    {
        m_path = m_dir.filePath("threads/EventHistory.jsonl");
        PersistentEventJournal journal(m_path);
        auto writer = [&](qint64 base) {
            return QThread::create([&journal, base] {
                for (qint64 n = 0; n < 300; ++n)
                    journal.append(numbered(base + n));
            });
        };
        std::unique_ptr<QThread> a(writer(0)), b(writer(100000));
        a->start();
        b->start();
        QVERIFY(a->wait(30000) && b->wait(30000));
        const QList<qint64> lines = fileNumbers(m_path);
        QCOMPARE(lines.size(), 600);
        QVERIFY(!lines.contains(-1));
        QCOMPARE(journal.ring().totalCount(), 600);
    }

    void defaultLocationFollowsDataHome()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        QCOMPARE(PersistentEventJournal::defaultLocation(), m_dir.path() + "/app.quorvel.Quorvel/EventHistory.jsonl");
    }
};

QTEST_GUILESS_MAIN(JournalTest)
#include "tst_journal.moc"
