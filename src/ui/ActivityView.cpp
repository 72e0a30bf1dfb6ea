#include "ui/ActivityView.h"

#include "prefs/Localization.h"
#include "ui/ActivityChart.h"
#include "ui/MenuStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorvel {

namespace {

QPixmap swatch(const QColor &color)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(0, 0, 10, 10), 2, 2);
    return pixmap;
}

QLabel *wrapping(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

ActivitySource ActivitySource::of(EventJournal &anyJournal)
{
    ActivitySource source;
    auto *persistent = dynamic_cast<PersistentEventJournal *>(&anyJournal);
    if (!persistent) {
        source.historyPath = PersistentEventJournal::defaultLocation();
        return source;
    }
    PersistentEventJournal &journal = *persistent;
    source.historyPath = journal.path();
    source.capacity = journal.fileCapacity();
    source.observe = [&journal](PersistentEventJournal::Listener listener) {
        return journal.observe(std::move(listener));
    };
    return source;
}

ActivityView::ActivityView(ActivitySource source, QWidget *parent)
    : QWidget(parent)
    , m_source(std::move(source))
{
    setObjectName(QStringLiteral("activityView"));
    // One read of the file, now; afterwards only the journal's new events.
    const activity::LoadedHistory loaded = activity::loadHistory(m_source.historyPath, m_source.capacity);
    m_events = loaded.events;
    m_complete = loaded.reachesStart;
    if (m_source.observe) {
        m_subscription = m_source.observe([self = QPointer<ActivityView>(this)](const VemoEvent &event) {
            if (!self)
                return;
            if (QThread::currentThread() == self->thread())
                self->take(event);
            else
                QMetaObject::invokeMethod(
                    self,
                    [self, event] {
                        if (self)
                            self->take(event);
                    },
                    Qt::QueuedConnection);
        });
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(8);

    auto *header = new QHBoxLayout;
    m_title = new QLabel;
    m_title->setObjectName(QStringLiteral("activityChartTitle"));
    MenuStyle::setPixelSize(m_title, 15, QFont::DemiBold);
    header->addWidget(m_title);
    header->addStretch(1);
    m_idleSwatch = new QLabel;
    m_idleLegend = new QLabel;
    m_lidSwatch = new QLabel;
    m_lidLegend = new QLabel;
    for (QLabel *legend : {m_idleSwatch, m_idleLegend, m_lidSwatch, m_lidLegend})
        header->addWidget(legend);
    header->insertSpacing(header->indexOf(m_lidSwatch), 10);
    layout->addLayout(header);

    m_chart = new ActivityChart;
    layout->addWidget(m_chart);
    connect(m_chart, &ActivityChart::selectedDayChanged, this, &ActivityView::showDay);

    m_dayDetail = wrapping(QStringLiteral("activityDayDetail"));
    m_totals = wrapping(QStringLiteral("activityTotals"));
    layout->addWidget(m_dayDetail);
    // Safety stops and failures in the tone of their rows, where the eye looks for them.
    m_attention = wrapping(QStringLiteral("activityAttention"));
    layout->addWidget(m_totals);
    layout->addWidget(m_attention);
    layout->addSpacing(6);

    m_listTitle = new QLabel;
    MenuStyle::setPixelSize(m_listTitle, 13, QFont::DemiBold);
    layout->addWidget(m_listTitle);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("activitySessions"));
    m_list->setColumnCount(4);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(true);
    m_list->setMinimumHeight(250);

    auto *empty = new QWidget;
    auto *emptyLayout = new QVBoxLayout(empty);
    emptyLayout->setContentsMargins(24, 24, 24, 24);
    m_emptyTitle = wrapping(QStringLiteral("activityEmptyTitle"));
    m_emptyBody = wrapping(QStringLiteral("activityEmptyBody"));
    m_emptyTitle->setAlignment(Qt::AlignCenter);
    m_emptyBody->setAlignment(Qt::AlignCenter);
    MenuStyle::setPixelSize(m_emptyTitle, 14, QFont::DemiBold);
    emptyLayout->addStretch(1);
    emptyLayout->addWidget(m_emptyTitle);
    emptyLayout->addWidget(m_emptyBody);
    emptyLayout->addStretch(1);

    m_listOrEmpty = new QStackedWidget;
    m_listOrEmpty->setObjectName(QStringLiteral("activityListOrEmpty"));
    m_listOrEmpty->addWidget(m_list);
    m_listOrEmpty->addWidget(empty);
    layout->addWidget(m_listOrEmpty, 1);

    m_reach = wrapping(QStringLiteral("activityReach"));
    layout->addWidget(m_reach);

    // An ongoing session grows and midnight moves the days along: once a minute while shown.
    m_minute = new QTimer(this);
    m_minute->setInterval(60 * 1000);
    connect(m_minute, &QTimer::timeout, this, &ActivityView::rebuild);

    retranslate();
}

ActivityView::~ActivityView() = default;

void ActivityView::take(const VemoEvent &event)
{
    m_events.append(event);
    // The journal keeps no more than its capacity, nor does the view.
    while (m_events.size() > m_source.capacity) {
        m_events.removeFirst();
        m_complete = false;
    }
    rebuild();
}

void ActivityView::rebuild()
{
    const activity::History history = activity::deriveSessions(m_events);
    m_report = activity::makeReport(history, m_complete, activity::shownDays, m_source.now(), m_source.zone);
    m_chart->setDays(m_report.daily);
    m_totals->setText(activity::totalsText(m_report.totals));
    m_attention->setText(activity::attentionText(m_report.totals));
    m_attention->setVisible(!m_attention->text().isEmpty());
    m_reach->setText(activity::reachText(m_report));
    m_reach->setVisible(!m_reach->text().isEmpty());
    showDay(m_chart->selectedDay());
    fillList();
}

void ActivityView::showDay(int index)
{
    const int day = index >= 0 ? index : int(m_report.daily.size()) - 1;
    if (day < 0 || day >= m_report.daily.size()) {
        m_dayDetail->clear();
        return;
    }
    const activity::DayTotal &total = m_report.daily[day];
    const QString text =
        Localization::format(qtTrId("activityDayDetail"),
                             {activity::dayLongLabel(total.date), activity::durationText(total.idleSleepSeconds),
                              activity::durationText(total.closedLidSeconds)});
    m_dayDetail->setText(text);
    m_chart->setAccessibleDescription(text);
    // Pointing at a bar shows its figures right there too; until then, how to get them.
    m_chart->setToolTip(index >= 0 ? text : qtTrId("activityChartHint"));
}

void ActivityView::fillList()
{
    m_list->clear();
    const QColor attention = ActivityColors::attention(m_list->palette());
    for (const activity::Session &session : m_report.sessions) {
        auto *item = new QTreeWidgetItem(QStringList{
            activity::startText(session.start, m_report.zone), activity::sessionDurationText(session, m_report.now),
            activity::modeText(session, m_report.zone), activity::endingText(session)});
        if (session.isAttention()) {
            for (int column = 0; column < 4; ++column)
                item->setForeground(column, attention);
            QFont bold = m_list->font();
            bold.setBold(true);
            item->setFont(3, bold);
        }
        item->setData(0, Qt::UserRole, activity::endingName(session.ending));
        m_list->addTopLevelItem(item);
    }
    for (int column = 0; column < 3; ++column)
        m_list->resizeColumnToContents(column);
    m_listOrEmpty->setCurrentIndex(m_report.sessions.isEmpty() ? 1 : 0);
}

void ActivityView::retranslate()
{
    m_title->setText(Localization::format(qtTrId("activityPeriod"), {QString::number(activity::shownDays)}));
    m_idleLegend->setText(qtTrId("activityLegendIdle"));
    m_lidLegend->setText(qtTrId("activityLegendLid"));
    m_listTitle->setText(qtTrId("activityRecentSessions"));
    m_list->setHeaderLabels({qtTrId("activityColumnStart"), qtTrId("activityColumnDuration"),
                             qtTrId("activityColumnMode"), qtTrId("activityColumnEnding")});
    m_emptyTitle->setText(qtTrId("activityEmptyTitle"));
    m_emptyBody->setText(qtTrId("activityEmptyBody"));
    m_chart->setAccessibleName(qtTrId("activityChartAccessible"));
    const QPalette &pal = palette();
    m_idleSwatch->setPixmap(swatch(ActivityColors::idleSleep(pal)));
    m_lidSwatch->setPixmap(swatch(ActivityColors::closedLid(pal)));
    for (QLabel *label : {m_reach, m_emptyBody})
        MenuStyle::setTextColor(label, ActivityColors::secondaryText(pal));
    MenuStyle::setTextColor(m_attention, ActivityColors::attention(pal));
    rebuild();
}

void ActivityView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        retranslate();
}

void ActivityView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_minute->start();
}

void ActivityView::hideEvent(QHideEvent *event)
{
    m_minute->stop();
    QWidget::hideEvent(event);
}

} // namespace quorvel
