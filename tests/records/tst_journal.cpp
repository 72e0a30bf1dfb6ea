#include "FullDisk.h"
#include "Planted.h"
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

    // A history file of its own folder holding `contents`.
    QString history(const QString &folder, const QByteArray &contents = {})
    {
        const QString path = m_dir.filePath(folder + "/EventHistory.jsonl");
        QFile f(path);
        if (!contents.isEmpty() && QDir().mkpath(QFileInfo(path).path()) && f.open(QIODevice::WriteOnly))
            f.write(contents);
        return path;
    }

private slots:
    void firstLaunchCreatesFolderAndFileOnFirstAppend()
    {
        const QString path = history("first/launch");
        PersistentEventJournal journal(path);
        QVERIFY(journal.ring().events().isEmpty());
        QVERIFY(!QFileInfo::exists(path));
        const QList<VemoEvent> events{numbered(1), numbered(2)};
        for (const VemoEvent &e : events)
            journal.append(e);
        QCOMPARE(readAll(path), linesOf(events));
        QCOMPARE(journal.ring().events(), events);
        // The ring keeps the newest thousand and counts them all.
        InMemoryEventJournal ring(1000);
        QList<VemoEvent> many;
        for (int n = 0; n < 1001; ++n)
            ring.append(many.emplace_back(numbered(n)));
        QCOMPARE(ring.totalCount(), 1001);
        QCOMPARE(ring.events(), many.mid(1));
    }

    // Lines repeat `pattern`: 'e' an event, 'x' an undecodable line, 'b' blank, 'n' not UTF-8,
    // 'j' 20 MB without a line feed. The ring and a compacted file hold the events from the given
    // one on (1-based). However long the history has grown, start-up reads only its newest part:
    // enough lines for the ring and to know that a compaction is due.
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
        QTest::newRow("5,000 lines") << 5000 << QByteArray("e") << 4001 << 4001;
        QTest::newRow("20 MB of events") << 170000 << QByteArray("e") << 169001 << 169001;
        QTest::newRow("20 MB line in the middle")
            << 5001 << QByteArray(2500, 'e') + 'j' + QByteArray(2500, 'e') << 4001 << 4001;
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
            case 'j': contents += QByteArray(20000000, 'j'); break;
            default: break;
            }
            contents += '\n';
        }
        QVERIFY(lineCount < 100000 || contents.size() > 20000000); // the long history is over 20 MB
        const QString path = history(QTest::currentDataTag(), contents);
        qint64 bytesRead = 0, largestRead = 0;
        PersistentEventJournal journal(path, PersistentEventJournal::defaultFileCapacity,
                                       [&, file = records::fileHistoryReader()](const QString &p, qint64 at, qint64 n) {
                                           bytesRead += n, largestRead = qMax(largestRead, n);
                                           return file(p, at, n);
                                       });
        QCOMPARE(journal.ring().events(), ringFrom ? events.mid(ringFrom - 1) : QList<VemoEvent>());
        QCOMPARE(readAll(path), compactedFrom ? linesOf(events.mid(compactedFrom - 1)) : contents);
        QVERIFY2(largestRead <= 64 * 1024, qPrintable(QString::number(largestRead)));
        // At most 1,501 lines of about 120 bytes, rounded up to whole blocks.
        QVERIFY2(pattern.contains('j') || bytesRead < 512 * 1024, qPrintable(QString::number(bytesRead)));
    }

    // A line that a crash cut off keeps its place; the next event starts a line of its own and
    // is found at the next start-up.
    void appendAfterATornLine()
    {
        const VemoEvent first = numbered(1), launched = numbered(3);
        const QByteArray whole = encodeEvent(first) + '\n', torn = encodeEvent(numbered(2)).left(40);
        const QString path = history("torn", whole + torn);
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
        const QString path = history("full");
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

    void unwritableFolderKeepsEventsInMemory()
    {
        const QString blocker = history("blocked", "x"); // a file where a folder belongs
        PersistentEventJournal journal(blocker + "/history/EventHistory.jsonl");
        journal.append(numbered(1));
        QCOMPARE(journal.ring().events().size(), 1);
        QCOMPARE(readAll(blocker), QByteArray("x"));
    }

    // Whatever is planted at the history's path (a link to a file due for compaction, a FIFO,
    // a directory, another user's file) is neither read, written, compacted nor replaced; the
    // events still reach the ring, and records are off with one line that names what was found.
    void foreignFileAtThePath_data() { test::addPlantedKindRows(); }
    void foreignFileAtThePath()
    {
        QFETCH(QString, kind);
        QList<VemoEvent> old;
        for (int n = 1; n <= 1600; ++n)
            old << numbered(n);
        const QString path = m_dir.filePath("planted-" + kind + "/EventHistory.jsonl");
        const test::Planted planted(kind, path, linesOf(old));
        if (!planted.ok())
            QSKIP("cannot plant this here (another user's file needs root)");
        records::resetRecordsOffForTesting();
        m_log.clear();
        {
            PersistentEventJournal journal(path);
            QVERIFY(journal.ring().events().isEmpty());
            const QList<VemoEvent> fresh{numbered(2001), numbered(2002)};
            for (const VemoEvent &event : fresh)
                journal.append(event);
            QCOMPARE(journal.ring().events(), fresh);
        }
        QVERIFY(planted.untouched());
        QCOMPARE(m_log.messages(),
                 QStringList{"records off, file=EventHistory.jsonl, reason=" + planted.reason() + ", path=" + path});
    }

    void defaultLocationFollowsDataHome()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        QCOMPARE(PersistentEventJournal::defaultLocation(), m_dir.path() + "/app.quorvel.Quorvel/EventHistory.jsonl");
    }

    // A listener hears each append once the line is in the file, may append in turn, and
    // hears nothing once its handle is dropped; a handle may outlive the journal.
    void listenersHearAppendsWhileTheyHoldOn()
    {
        const QString path = history("listened");
        auto journal = std::make_unique<PersistentEventJournal>(path);
        QList<VemoEvent> heard;
        bool inFile = true;
        auto handle = journal->observe([&](const VemoEvent &event) {
            heard << event;
            inFile = inFile && readAll(path).contains(encodeEvent(event));
            if (heard.size() == 1)
                journal->append(numbered(2)); // from inside a notification
        });
        journal->append(numbered(1));
        QCOMPARE(heard.size(), 2);
        QCOMPARE(heard[0].kind, numbered(1).kind);
        QCOMPARE(heard[1].kind, numbered(2).kind);
        QVERIFY(inFile);
        auto kept = handle;
        handle.reset();
        journal->append(numbered(3));
        QCOMPARE(heard.size(), 3); // a copy of the handle still listens
        kept.reset();
        journal->append(numbered(4));
        QCOMPARE(heard.size(), 3);
        auto late = journal->observe([](const VemoEvent &) {});
        journal.reset();
        late.reset(); // nothing left to leave
    }
};

QTEST_GUILESS_MAIN(JournalTest)
#include "tst_journal.moc"
