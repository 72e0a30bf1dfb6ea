// The activity window over a known fortnight in a real history file and a real journal:
// its rows, its chart, pointing and the keyboard, live updates, both languages, the empty
// state, its colours in light and dark palettes, and how it is opened.

#include "WindowsFixture.h"
#include "composition/SimApp.h"
#include "support/SampleHistory.h"

#include "prefs/LanguageController.h"
#include "prefs/Localization.h"
#include "ui/ActivityChart.h"
#include "ui/ActivityView.h"
#include "ui/SecondaryWindows.h"
#include "ui/SettingsView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QStackedWidget>
#include <QStyle>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QDateTime now(QDate(2026, 12, 7), QTime(15, 0), QTimeZone::utc());

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2d), base(0x1e, 0x1e, 0x20), text(0xec, 0xec, 0xee);
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::AlternateBase})
        p.setColor(role, window);
    p.setColor(QPalette::Base, base);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    return p;
}

QStringList row(const QTreeWidget *list, int index)
{
    QStringList texts;
    for (int column = 0; column < list->columnCount(); ++column)
        texts << list->topLevelItem(index)->text(column);
    return texts;
}

// The history file and the journal that writes to it, with the view's clock held still.
struct Rig {
    QTemporaryDir dir;
    QString path = dir.filePath("EventHistory.jsonl");
    bool written;
    PersistentEventJournal journal;

    explicit Rig(const QList<VemoEvent> &events = sampleHistory(now))
        : written(writeHistory(path, events))
        , journal(path)
    {
    }
    ActivitySource source()
    {
        ActivitySource source = ActivitySource::of(journal);
        source.now = [] { return now; };
        source.zone = QTimeZone::utc();
        return source;
    }
};

} // namespace

class ActivityTest : public QObject {
    Q_OBJECT

private slots:
    void init() { Localization::installCatalogue(Localization::Catalogue::english); }

    void knownHistory()
    {
        Rig rig;
        QVERIFY(rig.written);
        ActivityView view(rig.source());
        view.show();
        QTreeWidget *list = view.sessionList();

        // Newest first; the safety stop and the failure in the attention tone.
        QCOMPARE(list->topLevelItemCount(), 12);
        QCOMPARE(row(list, 0), (QStringList{"Dec 7, 8:30 AM", "6 h 30 min", "Indefinitely", "Still running"}));
        QCOMPARE(row(list, 2).mid(2), (QStringList{"Closed-lid, on power adapter", "Stopped by you"}));
        QCOMPARE(row(list, 3).mid(2),
                 (QStringList{"Closed-lid, on power adapter", "Left over, taken over at the next launch"}));
        QCOMPARE(row(list, 4).mid(2), (QStringList{"Bound to process rsync", "Ended by itself"}));
        QCOMPARE(row(list, 7), (QStringList{"Dec 1, 8:00 PM", "2 h 15 min", "Closed-lid, on battery at 64%",
                                            "Stopped for battery safety at 19%"}));
        QCOMPARE(row(list, 8).mid(2), (QStringList{"Indefinitely, display kept on", "Stopped by you"}));
        QCOMPARE(row(list, 9).mid(2), (QStringList{"Bound to make", "Ended by itself"}));
        const QColor attention = ActivityColors::attention(list->palette());
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const bool tone = list->topLevelItem(i)->foreground(3).color() == attention;
            QCOMPARE(tone, i == 6 || i == 7); // the failed start, the safety stop
        }

        // One bar a day, today at the right; the overnight session split across its two days.
        ActivityChart *chart = view.chart();
        QCOMPARE(chart->days().size(), 14);
        QCOMPARE(chart->days().last().date, now.date());
        QCOMPARE(chart->days().last().idleSleepSeconds, qint64(6.5 * 3600));
        QCOMPARE(chart->days()[2].closedLidSeconds, 2 * 3600);
        QCOMPARE(chart->days()[3].closedLidSeconds, qint64(6.5 * 3600));
        QCOMPARE(chart->scaleHours(), 12);
        const auto *totals = named<QLabel>(&view, "activityTotals");
        QCOMPARE(totals->text(), "Idle-sleep prevention 24 h 15 min · Closed-lid mode 20 h 44 min · Sessions: 12");
        QCOMPARE(named<QLabel>(&view, "activityAttention")->text(), "Battery safety stops: 1 · Failures: 1");
        QCOMPARE(named<QLabel>(&view, "activityReach")->text(), "History since November 24, 2026");

        // Today's figures at first; pointing at a bar or moving with the keys shows that day's.
        auto *detail = named<QLabel>(&view, "activityDayDetail");
        QCOMPARE(detail->text(), "Monday, December 7: idle-sleep prevention 6 h 30 min, closed-lid mode 0 min");
        QTest::mouseMove(chart, chart->barSlot(3).center());
        QCOMPARE(chart->selectedDay(), 3);
        QCOMPARE(chart->toolTip(), detail->text());
        QVERIFY2(
            detail->text().startsWith("Friday, November 27: idle-sleep prevention 0 min, closed-lid mode 6 h 30 min"),
            qPrintable(detail->text()));
        chart->setFocus();
        QTest::keyClick(chart, Qt::Key_End);
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(chart->selectedDay(), 12);
        QVERIFY(detail->text().startsWith("Sunday, December 6"));
        QTest::keyClick(chart, Qt::Key_Right);
        QTest::keyClick(chart, Qt::Key_Right); // stays on today
        QCOMPARE(chart->selectedDay(), 13);

        // A new event reaches the open window from the journal, without reading the file.
        QFile::remove(rig.path);
        rig.journal.append(VemoEvent::make(EventKind::TimedStoppedManually{}, std::nullopt, now));
        QCOMPARE(list->topLevelItemCount(), 12);
        QCOMPARE(row(list, 0).last(), "Stopped by you");

        // Another language, the same history: texts and day labels in its own date format.
        Localization::installCatalogue(Localization::Catalogue::simplifiedChinese);
        QTRY_COMPARE(list->headerItem()->text(0), "开始时间");
        QCOMPARE(row(list, 0), (QStringList{"12月7日 08:30", "6 小时 30 分钟", "不限时", "由你停止"}));
        QVERIFY2(detail->text().startsWith("12月7日 星期一"), qPrintable(detail->text()));
    }

    // Open, it listens to the journal; gone, it does not.
    void listensOnlyWhileOpen()
    {
        int listening = 0;
        ActivitySource source;
        source.historyPath = QStringLiteral("/nonexistent/EventHistory.jsonl");
        source.observe = [&](PersistentEventJournal::Listener) {
            ++listening;
            return std::shared_ptr<void>(nullptr, [&](void *) { --listening; });
        };
        auto view = std::make_unique<ActivityView>(source);
        QCOMPARE(listening, 1);
        view.reset();
        QCOMPARE(listening, 0);
    }

    // No history: the chart stands empty and the list says what will appear there.
    void emptyState()
    {
        Rig rig(QList<VemoEvent>{});
        ActivityView view(rig.source());
        view.show();
        QCOMPARE(named<QStackedWidget>(&view, "activityListOrEmpty")->currentIndex(), 1);
        QVERIFY(named<QLabel>(&view, "activityEmptyTitle")->isVisible());
        QVERIFY(!named<QLabel>(&view, "activityReach")->isVisible());
        QVERIFY(!named<QLabel>(&view, "activityAttention")->isVisible());
        QCOMPARE(view.chart()->days().size(), 14);
        for (const activity::DayTotal &day : view.chart()->days())
            QCOMPARE(day.idleSleepSeconds + day.closedLidSeconds, 0);
        QCOMPARE(view.chart()->scaleHours(), 2);
    }

    // The bars stand out from the background at 3:1, the texts at 4.5:1, in both palettes.
    void coloursReadInBothPalettes()
    {
        for (const QPalette &palette : {QApplication::style()->standardPalette(), darkPalette()}) {
            for (const QPalette::ColorRole ground : {QPalette::Window, QPalette::Base}) {
                const QColor back = palette.color(ground);
                QVERIFY(ActivityColors::contrast(ActivityColors::idleSleep(palette), back) >= 3);
                QVERIFY(ActivityColors::contrast(ActivityColors::closedLid(palette), back) >= 3);
                QVERIFY(ActivityColors::contrast(ActivityColors::attention(palette), back) >= 4.5);
                QVERIFY(ActivityColors::contrast(ActivityColors::secondaryText(palette), back) >= 4.5);
            }
        }
    }

    // One window while it is open, from the secondary menu or from the settings' link.
    void oneWindowFromMenuOrSettings()
    {
        SimApp sim;
        LanguageController language(sim.defaults);
        SecondaryWindows windows(*sim.app, language, sim.defaults);
        windows.showSettings();
        auto *link = named<QAbstractButton>(windows.settingsWindow(), "showActivityLink");
        QVERIFY(link);
        link->click();
        QPointer<QWidget> first = windows.activityWindow();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->windowTitle(), "Activity");
        windows.showActivity();
        QCOMPARE(windows.activityWindow(), first);
        QVERIFY(first->width() >= 640 && first->height() >= 560);
        first->close();
        QTRY_VERIFY(!first);
        windows.showActivity();
        QVERIFY(windows.activityWindow() && windows.activityWindow()->isVisible());
    }
};

QTEST_MAIN(ActivityTest)
#include "tst_activity.moc"
