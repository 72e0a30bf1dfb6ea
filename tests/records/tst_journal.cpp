#include "FullDisk.h"
#include "records/EventJournal.h"
#include "records/RecordsNotice.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace quorvel;

namespace {

// Event n: a timed start of n seconds, n milliseconds after a fixed moment.
VemoEvent numbered(qint64 n)
{
    return VemoEvent::make(EventKind::TimedStarted{n}, std::nullopt,
                           QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()).addMSecs(n));
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray linesOf(const QList<VemoEvent> &events)
{
    QByteArray lines;
    for (const VemoEvent &e : events)
        lines += encodeEvent(e) + '\n';
    return lines;
}

} // namespace

class JournalTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    test::LogCapture m_log; // a failing history says so in the log: keep it out of the user's

private slots:
    void firstLaunchCreatesFolderAndFileOnFirstAppend()
    {
        const QString path = m_dir.filePath("first/launch/EventHistory.jsonl");
        PersistentEventJournal journal(path);
        QVERIFY(journal.ring().events().isEmpty());
        QVERIFY(!QFileInfo::exists(path));
        const VemoEvent a = numbered(1), b = numbered(2);
        journal.append(a);
        journal.append(b);
        QCOMPARE(readAll(path), encodeEvent(a) + '\n' + encodeEvent(b) + '\n');
        QCOMPARE(journal.ring().events(), (QList<VemoEvent>{a, b}));
    }

    // Lines repeat `pattern`: 'e' an event, 'x' an undecodable line, 'b' blank, 'n' not UTF-8.
    // The ring and a compacted file hold the events from the given one on (1-based).
    void startupLoadAndCompaction_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("ringFrom");      // 0: empty
        QTest::addColumn<int>("compactedFrom"); // 0: file left as it was
        QTest::newRow("1500 lines") << 1500 << QByteArray("e") << 501 << 0;
        QTest::newRow("1501 lines") << 1501 << QByteArray("e") << 502 << 502;
        QTest::newRow("1200 lines") << 1200 << QByteArray("e") << 201 << 0;
        // 9 events and 7 bad lines in 16: 900 events among 1600 lines.
        QTest::newRow("1600, 700 bad") << 1600 << QByteArray("exexexexexexexee") << 1 << 1;
        QTest::newRow("1500 + blanks") << 2000 << QByteArray("eeeb") << 501 << 0;
        QTest::newRow("not UTF-8") << 1600 << QByteArray("eeeeeeeeeeeeeeen") << 0 << 0;
    }
    void startupLoadAndCompaction()
    {
        QFETCH(int, lineCount);
        QFETCH(QByteArray, pattern);
        QFETCH(int, ringFrom);
        QFETCH(int, compactedFrom);
        const QList<QByteArray> badLines = {"not json", R"({"id":1})",
                                            encodeEvent(numbered(0)).replace("timedStarted", "timedExploded")};
        QByteArray contents;
        QList<VemoEvent> events;
        for (int i = 0; i < lineCount; ++i) {
            switch (pattern[i % pattern.size()]) {
            case 'e': contents += encodeEvent(events.emplace_back(numbered(i))); break;
            case 'x': contents += badLines[i % badLines.size()]; break;
            case 'n': contents += "\xff\xfe"; break;
            default: break;
            }
            contents += '\n';
        }
        const QString path = m_dir.filePath(QStringLiteral("%1/EventHistory.jsonl").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size() && f.flush());

        PersistentEventJournal journal(path);
        QCOMPARE(journal.ring().events(), ringFrom ? events.mid(ringFrom - 1) : QList<VemoEvent>());
        QCOMPARE(readAll(path), compactedFrom ? linesOf(events.mid(compactedFrom - 1)) : contents);
    }

    // However long the history has grown, start-up reads only its newest part: enough lines
    // for the ring and to know that a compaction is due, never the file as a whole.
    void startupReadsOnlyTheNewestPart_data()
    {
        QTest::addColumn<qint64>("fileBytes");
        QTest::addColumn<QByteArray>("junkLine"); // in the middle of the file, when not empty
        QTest::newRow("20 MB of events") << qint64(20000000) << QByteArray();
        QTest::newRow("5,000 lines") << qint64(0) << QByteArray();
        QTest::newRow("20 MB line in the middle") << qint64(0) << QByteArray(20000000, 'j');
    }
    void startupReadsOnlyTheNewestPart()
    {
        QFETCH(qint64, fileBytes);
        QFETCH(QByteArray, junkLine);
        QList<VemoEvent> events;
        QByteArray contents;
        for (int n = 0; n < 5000 || contents.size() < fileBytes; ++n) {
            if (n == 2500 && !junkLine.isEmpty())
                contents += junkLine + '\n';
            contents += encodeEvent(events.emplace_back(numbered(n))) + '\n';
        }
        const QString path = m_dir.filePath(QStringLiteral("%1/EventHistory.jsonl").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size() && f.flush());

        qint64 bytesRead = 0, largestRead = 0;
        const records::HistoryReader file = records::fileHistoryReader();
        PersistentEventJournal journal(path, PersistentEventJournal::defaultFileCapacity,
                                       [&](const QString &p, qint64 offset, qint64 length) {
                                           bytesRead += length;
                                           largestRead = qMax(largestRead, length);
                                           return file(p, offset, length);
                                       });
        QCOMPARE(journal.ring().events(), events.mid(events.size() - 1000));
        QCOMPARE(readAll(path), linesOf(events.mid(events.size() - 1000)));
        QVERIFY2(largestRead <= 64 * 1024, qPrintable(QString::number(largestRead)));
        // 1,501 lines of about 150 bytes, rounded up to whole blocks.
        if (junkLine.isEmpty())
            QVERIFY2(bytesRead < 512 * 1024, qPrintable(QString::number(bytesRead)));
    }

    // A line that a crash cut off keeps its place; the next event starts a line of its own and
    // is found at the next start-up.
    void appendAfterATornLine()
    {
        const QString path = m_dir.filePath("torn/EventHistory.jsonl");
        const VemoEvent first = numbered(1);
        const QByteArray whole = encodeEvent(first) + '\n', torn = encodeEvent(numbered(2)).left(40);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(whole + torn) > 0 && f.flush());
        f.close();
        const VemoEvent launched = numbered(3);
        {
            PersistentEventJournal journal(path);
            QCOMPARE(journal.ring().events(), QList<VemoEvent>{first});
            journal.append(launched);
        }
        QCOMPARE(readAll(path), whole + torn + '\n' + encodeEvent(launched) + '\n');
        PersistentEventJournal again(path);
        QCOMPARE(again.ring().events(), (QList<VemoEvent>{first, launched}));
    }

    // A full disk takes nothing that was there and leaves no half line; appends resume when
    // there is room again.
    void fullDiskLeavesWholeLines()
    {
        const QString path = m_dir.filePath("full/EventHistory.jsonl");
        PersistentEventJournal journal(path);
        journal.append(numbered(1));
        const QByteArray before = readAll(path);
        {
            test::FullDisk full(before.size() + 20); // room for part of the next line only
            QVERIFY(full.ok());
            journal.append(numbered(2));
            journal.append(numbered(3));
        }
        QCOMPARE(readAll(path), before);
        QCOMPARE(journal.ring().events().size(), 3);
        const VemoEvent later = numbered(4);
        journal.append(later);
        QCOMPARE(readAll(path), before + encodeEvent(later) + '\n');
    }

    void ringDropsOldestAndCountsEverything()
    {
        InMemoryEventJournal ring(1000);
        QList<VemoEvent> events;
        for (int n = 1; n <= 1001; ++n)
            ring.append(events.emplace_back(numbered(n)));
        QCOMPARE(ring.totalCount(), 1001);
        QCOMPARE(ring.events(), events.mid(1));
    }

    void unwritableFolderKeepsEventsInMemory()
    {
        QFile blocker(m_dir.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("x") == 1 && blocker.flush());
        PersistentEventJournal journal(blocker.fileName() + "/history/EventHistory.jsonl");
        journal.append(numbered(1));
        QCOMPARE(journal.ring().events().size(), 1);
        QCOMPARE(readAll(blocker.fileName()), QByteArray("x"));
    }

    void defaultLocationFollowsDataHome()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        QCOMPARE(PersistentEventJournal::defaultLocation(), m_dir.path() + "/app.quorvel.Quorvel/EventHistory.jsonl");
    }
};

QTEST_GUILESS_MAIN(JournalTest)
#include "tst_journal.moc"
