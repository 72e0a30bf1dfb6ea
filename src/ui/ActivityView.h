#pragma once

#include "activity/ActivityReport.h"
#include "records/EventJournal.h"

#include <QTimeZone>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QStackedWidget;
class QTimer;
class QTreeWidget;

namespace quorvel {

class ActivityChart;

// Where the activity window's history comes from: the history file, read once when the view
// is made, and the journal's new events while it exists.
struct ActivitySource {
    QString historyPath;
    // Starts handing new events to the listener; they stop when the handle is dropped. None:
    // the view shows the file as it was.
    std::function<std::shared_ptr<void>(PersistentEventJournal::Listener)> observe;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    QTimeZone zone = QTimeZone::systemTimeZone();
    int capacity = PersistentEventJournal::defaultFileCapacity;

    // The application's journal. One that keeps no file (tests, the headless shell) gives the
    // history file at its usual place and no new events.
    static ActivitySource of(EventJournal &journal);
};

// The last 14 days: the chart, the day's figures, the totals, the sessions newest first (or
// what will appear there), and how far back the history reaches.
class ActivityView final : public QWidget {
    Q_OBJECT
public:
    explicit ActivityView(ActivitySource source, QWidget *parent = nullptr);
    ~ActivityView() override;

    const activity::Report &report() const { return m_report; }
    ActivityChart *chart() const { return m_chart; }
    QTreeWidget *sessionList() const { return m_list; }
    int eventCount() const { return int(m_events.size()); }

    // Derives everything again from the events held (and the clock).
    void rebuild();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void take(const VemoEvent &event);
    void retranslate();
    void showDay(int index);
    void fillList();

    ActivitySource m_source;
    QList<VemoEvent> m_events;
    bool m_complete = true;
    std::shared_ptr<void> m_subscription;
    activity::Report m_report;

    QLabel *m_title;
    QLabel *m_idleLegend;
    QLabel *m_lidLegend;
    QLabel *m_idleSwatch;
    QLabel *m_lidSwatch;
    ActivityChart *m_chart;
    QLabel *m_dayDetail;
    QLabel *m_totals;
    QLabel *m_attention;
    QLabel *m_listTitle;
    QStackedWidget *m_listOrEmpty;
    QTreeWidget *m_list;
    QLabel *m_emptyTitle;
    QLabel *m_emptyBody;
    QLabel *m_reach;
    QTimer *m_minute;
};

} // namespace quorvel
