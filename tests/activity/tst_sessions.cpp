// From the event history to what the activity window and `ctl history` show: sessions paired
// from their events, the hours of each day, the period's totals, the file read back, and the
// words of `ctl history`.

#include "activity/ActivityReport.h"
#include "activity/ActivitySessions.h"
#include "prefs/Localization.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::activity;

namespace {

const QDateTime origin(QDate(2026, 11, 2), QTime(8, 0), QTimeZone::utc());

// One event, `minute` minutes after a fixed Monday morning.
struct At {
    int minute;
    VemoEventKind kind;
};
QList<VemoEvent> events(const QList<At> &script)
{
    QList<VemoEvent> out;
    for (const At &at : script)
        out << VemoEvent::make(at.kind, std::nullopt, origin.addSecs(at.minute * 60));
    return out;
}

// A session in a line: "idleSleep timed 10-130 endedByItself", an open end as "10-".
QString describe(const Session &s)
{
    const auto minute = [](const QDateTime &t) { return QString::number(origin.secsTo(t) / 60); };
    QString line = kindName(s.kind) + ' ' + modeName(s.mode) + ' ' + minute(s.start) + '-'
                   + (s.end.isValid() ? minute(s.end) : QString()) + ' ' + endingName(s.ending);
    if (s.displayKeptOn)
        line += " display";
    if (s.safetyLevel)
        line += QStringLiteral(" at%1").arg(*s.safetyLevel);
    if (s.binding)
        line += ' ' + s.binding->name;
    return line;
}

using EK = QList<At>;
namespace K = EventKind;
const K::AppLaunched launch{"1.0", "1"};

SessionBinding bound(SessionBinding::Kind kind, const QString &name)
{
    SessionBinding binding;
    binding.kind = kind;
    binding.name = name;
    return binding;
}

} // namespace

Q_DECLARE_METATYPE(QList<At>)

class SessionsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Localization::installCatalogue(Localization::Catalogue::english); }

    void derivation_data()
    {
        QTest::addColumn<QList<At>>("script");
        QTest::addColumn<QStringList>("sessions"); // oldest first
        QTest::addColumn<int>("skipped");

        QTest::newRow("timed, ended by itself")
            << EK{{0, launch}, {10, K::TimedStarted{7200}}, {130, K::TimedEndedNaturally{}}}
            << QStringList{"idleSleep timed 10-130 endedByItself"} << 0;
        QTest::newRow("indefinite, stopped by the user") << EK{{0, K::TimedStarted{0}}, {45, K::TimedStoppedManually{}}}
                                                         << QStringList{"idleSleep indefinite 0-45 stoppedByUser"} << 0;
        QTest::newRow("display switched on and off inside one session")
            << EK{{0, K::TimedStarted{3600}}, {5, K::DisplayAwakeOn{}},   {10, K::DisplayAwakeOff{}},
                  {15, K::DisplayAwakeOn{}},  {20, K::DisplayAwakeOff{}}, {60, K::TimedEndedNaturally{}}}
            << QStringList{"idleSleep timed 0-60 endedByItself display"} << 0;
        QTest::newRow("display alone is no session")
            << EK{{0, K::DisplayAwakeOn{}}, {5, K::DisplayAwakeOff{}}} << QStringList{} << 0;
        QTest::newRow("killed: ends at the next launch")
            << EK{{0, launch}, {10, K::TimedStarted{0}}, {30, K::ClamshellStarted{true, {}}}, {300, launch}}
            << QStringList{"idleSleep indefinite 10-300 appEndedUnexpectedly",
                           "closedLid closedLidOnAdapter 30-300 appEndedUnexpectedly"}
            << 0;
        QTest::newRow("battery safety stop") << EK{{0, K::ClamshellStarted{false, 40}},
                                                   {50, K::LowBatteryWarningEntered{14}},
                                                   {70, K::SafetyStopTriggered{9}},
                                                   {70, K::ClamshellStopped{ClamshellStopReason::safety}}}
                                             << QStringList{"closedLid closedLidOnBattery 0-70 batterySafety at9"} << 0;
        QTest::newRow("leftover taken over at the next launch")
            << EK{{0, launch},
                  {10, K::ClamshellStarted{true, {}}},
                  {60, launch},
                  {60, K::StartupResidualDetected{}},
                  {61, K::ClamshellStarted{true, {}}},
                  {61, K::StartupResidualRestoredByUser{}},
                  {90, K::ClamshellStopped{ClamshellStopReason::manual}}}
            << QStringList{"closedLid closedLidOnAdapter 10-60 leftOverTakenOver",
                           "closedLid closedLidOnAdapter 61-90 stoppedByUser"}
            << 0;
        QTest::newRow("leftover restored by the user")
            << EK{{10, K::ClamshellStarted{true, {}}},
                  {60, launch},
                  {60, K::StartupResidualDetected{}},
                  {62, K::StartupResidualRestoredByUser{}}}
            << QStringList{"closedLid closedLidOnAdapter 10-60 leftOverRestored"} << 0;
        QTest::newRow("quit ends both; a failed restore leaves closed-lid mode on")
            << EK{{0, K::TimedStarted{600}},
                  {1, K::CleanupCompleted{}},
                  {2, K::AppQuit{true}},
                  {5, launch},
                  {6, K::TimedStarted{0}},
                  {7, K::ClamshellStarted{true, {}}},
                  {8, K::CleanupPartial{{ModuleId::clamshell}}},
                  {9, K::AppQuit{false}},
                  {20, launch}}
            << QStringList{"idleSleep timed 0-1 endedAtQuit", "idleSleep indefinite 6-8 endedAtQuit",
                           "closedLid closedLidOnAdapter 7-20 appEndedUnexpectedly"}
            << 0;
        QTest::newRow("failures, with and without a start")
            << EK{{0, K::TimedFailed{}},
                  {5, K::TimedStarted{900}},
                  {9, K::TimedFailed{}},
                  {10, K::ClamshellStarted{false, {}}},
                  {11, K::ClamshellStopped{ClamshellStopReason::failed}}}
            << QStringList{"idleSleep notStarted 0-0 failed", "idleSleep timed 5-9 failed",
                           "closedLid closedLidOnBattery 10-11 failed"}
            << 0;
        QTest::newRow("bound to a command, a process and a clock time")
            << EK{{0, K::TimedStarted{0, bound(SessionBinding::Kind::command, "make")}},
                  {3, K::TimedEndedNaturally{}},
                  {4, K::TimedStarted{0, bound(SessionBinding::Kind::process, "rsync")}},
                  {5, K::TimedStoppedManually{}},
                  {6, K::TimedStarted{3600, bound(SessionBinding::Kind::until, "")}},
                  {66, K::TimedEndedNaturally{}}}
            << QStringList{"idleSleep command 0-3 endedByItself make", "idleSleep process 4-5 stoppedByUser rsync",
                           "idleSleep until 6-66 endedByItself "}
            << 0;
        QTest::newRow("ends without a start and a second start are skipped")
            << EK{{0, K::TimedStoppedManually{}},
                  {1, K::ClamshellStopped{ClamshellStopReason::manual}},
                  {2, K::TimedStarted{600}},
                  {3, K::TimedStarted{1200}},
                  {12, K::TimedEndedNaturally{}}}
            << QStringList{"idleSleep timed 2-12 endedByItself"} << 3;
        QTest::newRow("a clock set back never makes a duration negative")
            << EK{{100, K::TimedStarted{0}}, {40, K::TimedStoppedManually{}}}
            << QStringList{"idleSleep indefinite 100-100 stoppedByUser"} << 0;
        QTest::newRow("still running at the end of the history")
            << EK{{0, launch}, {10, K::ClamshellStarted{true, {}}}}
            << QStringList{"closedLid closedLidOnAdapter 10- ongoing"} << 0;
    }
    void derivation()
    {
        QFETCH(QList<At>, script);
        const History history = deriveSessions(events(script));
        QStringList got;
        for (const Session &s : history.sessions)
            got << describe(s);
        QFETCH(QStringList, sessions);
        QCOMPARE(got, sessions);
        QTEST(history.skippedEvents, "skipped");
        if (!script.isEmpty())
            QCOMPARE(history.firstEvent, origin.addSecs(script.first().minute * 60));
    }

    // The same event twice (a line copied by hand, a file restored over itself) counts once.
    void repeatedEventsCountOnce()
    {
        QList<VemoEvent> list = events({{0, K::TimedStarted{0}}, {30, K::TimedStoppedManually{}}});
        list.insert(1, list[0]);
        list.append(list[2]);
        const History history = deriveSessions(list);
        QCOMPARE(history.sessions.size(), 1);
        QCOMPARE(history.sessions[0].seconds(origin), 1800);
        QCOMPARE(history.skippedEvents, 2);
    }

    // Read while the app is not running, a history whose last session never ended ends it
    // with the app's last record, not now.
    void openSessionsEndWithAnAppThatIsGone()
    {
        History history = deriveSessions(events(
            {{0, launch}, {10, K::TimedStarted{0}}, {20, K::ClamshellStarted{true, {}}}, {25, K::DisplayAwakeOn{}}}));
        endOpenSessions(history);
        QStringList got;
        for (const Session &s : history.sessions)
            got << describe(s);
        QCOMPARE(got, (QStringList{"idleSleep indefinite 10-25 appEndedUnexpectedly display",
                                   "closedLid closedLidOnAdapter 20-25 appEndedUnexpectedly"}));
    }

    // A session's time counts in the days it overlaps, in the local calendar, which has a
    // 23-hour day in spring and a 25-hour day in autumn.
    void dayTotals_data()
    {
        QTest::addColumn<QDateTime>("start"); // local
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QList<qint64>>("hours"); // idle-sleep, oldest of three days first
        const QTimeZone berlin("Europe/Berlin");
        const auto local = [&](int m, int d, int h) { return QDateTime(QDate(2026, m, d), QTime(h, 0), berlin); };
        QTest::newRow("within a day") << local(6, 10, 9) << local(6, 10, 17) << QList<qint64>{0, 0, 8};
        QTest::newRow("across midnight") << local(6, 9, 22) << local(6, 10, 6) << QList<qint64>{0, 2, 6};
        QTest::newRow("two midnights") << local(6, 8, 18) << local(6, 10, 1) << QList<qint64>{6, 24, 1};
        QTest::newRow("spring day has 23 hours") << local(3, 28, 0) << local(3, 30, 0) << QList<qint64>{0, 24, 23};
        QTest::newRow("autumn day has 25 hours") << local(10, 25, 0) << local(10, 26, 0) << QList<qint64>{0, 0, 25};
    }
    void dayTotals()
    {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QList<qint64>, hours);
        const QTimeZone berlin("Europe/Berlin");
        Session idle;
        idle.start = start.toUTC();
        idle.end = end.toUTC();
        Session lid = idle;
        lid.kind = SessionKind::closedLid;
        lid.start = lid.end.addSecs(-1800); // half an hour of closed-lid at the end
        const QDate last = end.addSecs(-1).date();
        const QList<DayTotal> days = dailyTotals({idle, lid}, last, 3, berlin, end);
        QCOMPARE(days.size(), 3);
        QCOMPARE(days.last().date, last);
        QList<qint64> got;
        for (const DayTotal &day : days)
            got << day.idleSleepSeconds / 3600;
        QCOMPARE(got, hours);
        if (hours.last() > 0)
            QCOMPARE(days.last().closedLidSeconds, 1800);
    }

    // An ongoing session counts up to now; totals cover the shown days and the sessions in
    // them, newest first, with the attention ones counted.
    void reportOfTheLastDays()
    {
        const QTimeZone zone = QTimeZone::utc();
        const QDateTime now = origin.addDays(20);
        QList<VemoEvent> list = events({{0, K::TimedStarted{0}}, {60, K::TimedStoppedManually{}}}); // too old
        const QDateTime recent = now.addSecs(-5 * 3600);
        for (const auto &[offset, kind] : std::initializer_list<std::pair<int, VemoEventKind>>{
                 {0, K::ClamshellStarted{false, 80}},
                 {60, K::SafetyStopTriggered{10}},
                 {60, K::ClamshellStopped{ClamshellStopReason::safety}},
                 {61, K::TimedFailed{}},
                 {120, K::TimedStarted{0}}})
            list << VemoEvent::make(kind, std::nullopt, recent.addSecs(offset * 60));
        const Report report = makeReport(deriveSessions(list), true, 14, now, zone);
        QCOMPARE(report.daily.size(), 14);
        QCOMPARE(report.daily.last().date, now.date());
        QCOMPARE(report.sessions.size(), 3);
        QCOMPARE(report.sessions[0].ending, SessionEnding::ongoing);
        QCOMPARE(report.sessions[2].ending, SessionEnding::batterySafety);
        QCOMPARE(report.totals, (PeriodTotals{3 * 3600, 3600, 3, 1, 1}));

        const QJsonObject json = reportJson(report);
        QCOMPARE(json["totals"].toObject()["closedLidSeconds"].toInteger(), 3600);
        const QJsonObject first = json["sessions"].toArray()[0].toObject();
        QCOMPARE(first["ending"].toString(), "ongoing");
        QVERIFY(first["end"].isNull());
        QCOMPARE(first["seconds"].toInteger(), 3 * 3600);
        QCOMPARE(json["sessions"].toArray()[2].toObject()["safetyLevel"].toInteger(), 10);
        QCOMPARE(json["days"].toArray().size(), 14);
    }

    // The file as the window reads it: undecodable and blank lines skipped, and a history
    // longer than the journal keeps says that it does not reach its start.
    void historyFileReadBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("EventHistory.jsonl");
        QCOMPARE(loadHistory(path).events.size(), 0); // no file yet: an empty history

        QByteArray lines;
        const QList<VemoEvent> list = events({{0, K::TimedStarted{0}}, {5, K::TimedStoppedManually{}}});
        lines += encodeEvent(list[0]) + "\n{\"kind\":{\"nope\":{}}}\n\nnot json at all\n\xff\xfe\n";
        lines += encodeEvent(list[1]) + '\n';
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines);
        file.close();
        const LoadedHistory loaded = loadHistory(path);
        QCOMPARE(loaded.events, list);
        QVERIFY(loaded.reachesStart);
        QCOMPARE(deriveSessions(loaded.events).sessions.size(), 1);

        const LoadedHistory capped = loadHistory(path, 1);
        QCOMPARE(capped.events.size(), 1);
        QVERIFY(!capped.reachesStart);
    }

    void historyArguments_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<int>("days"); // 0: refused
        QTest::addColumn<bool>("json");
        QTest::newRow("defaults") << QStringList{"history"} << 14 << false;
        QTest::newRow("json") << QStringList{"history", "--json"} << 14 << true;
        QTest::newRow("days") << QStringList{"history", "--days", "30", "--json"} << 30 << true;
        QTest::newRow("days=") << QStringList{"history", "--days=1"} << 1 << false;
        QTest::newRow("most") << QStringList{"history", "--days", "365"} << 365 << false;
        QTest::newRow("zero") << QStringList{"history", "--days", "0"} << 0 << false;
        QTest::newRow("too many") << QStringList{"history", "--days", "366"} << 0 << false;
        QTest::newRow("negative") << QStringList{"history", "--days", "-3"} << 0 << false;
        QTest::newRow("fraction") << QStringList{"history", "--days", "1.5"} << 0 << false;
        QTest::newRow("words") << QStringList{"history", "--days", "week"} << 0 << false;
        QTest::newRow("huge") << QStringList{"history", "--days", "99999999999999999999"} << 0 << false;
        QTest::newRow("missing") << QStringList{"history", "--days"} << 0 << false;
        QTest::newRow("unknown word") << QStringList{"history", "all"} << 0 << false;
    }
    void historyArguments()
    {
        QFETCH(QStringList, words);
        QFETCH(int, days);
        const HistoryArguments parsed = parseHistoryArguments(words);
        QVERIFY(parsed.isHistory);
        QCOMPARE(parsed.error.isEmpty(), days > 0);
        if (days > 0) {
            QCOMPARE(parsed.days, days);
            QTEST(parsed.json, "json");
        }
        QVERIFY(!parseHistoryArguments({"status", "--json"}).isHistory);
    }

    // The texts a person reads, in both languages: durations and the day labels' date format.
    void textsInBothLanguages()
    {
        Session s;
        s.kind = SessionKind::closedLid;
        s.mode = SessionMode::closedLidOnBattery;
        s.batteryLevel = 57;
        s.ending = SessionEnding::batterySafety;
        s.safetyLevel = 9;
        Localization::installCatalogue(Localization::Catalogue::english);
        QCOMPARE(durationText(0), "0 min");
        QCOMPARE(durationText(29), "Under a minute");
        QCOMPARE(durationText(3 * 3600 + 5 * 60 + 29), "3 h 5 min");
        QCOMPARE(durationText(7199), "2 h"); // to the nearest minute, never 1 h 59 min for a two-hour run
        QCOMPARE(endingText(s), "Stopped for battery safety at 9%");
        QCOMPARE(dayLabel(QDate(2026, 12, 7)), "Dec 7");
        Localization::installCatalogue(Localization::Catalogue::simplifiedChinese);
        QCOMPARE(durationText(3 * 3600 + 5 * 60), "3 小时 5 分钟");
        QCOMPARE(modeText(s, QTimeZone::utc()), "合盖，使用电池（57%）");
        QCOMPARE(dayLabel(QDate(2026, 12, 7)), "12月7日");
        const Report today = makeReport({}, true, 1, origin, QTimeZone::utc());
        QCOMPARE(reportText(today), "今天：阻止闲置睡眠 0 分钟 · 合盖模式 0 分钟 · 会话：0\n这段时间内没有会话");
        Localization::installCatalogue(Localization::Catalogue::english);
    }
};

QTEST_GUILESS_MAIN(SessionsTest)
#include "tst_sessions.moc"
