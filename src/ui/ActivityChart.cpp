#include "ui/ActivityChart.h"

#include "activity/ActivityReport.h"
#include "prefs/Localization.h"
#include "ui/MenuStyle.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <cmath>

namespace quorvel {

namespace ActivityColors {

namespace {
qreal luminance(const QColor &color)
{
    const auto channel = [](qreal c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}
} // namespace

QColor idleSleep(const QPalette &palette)
{
    return MenuStyle::isDark(palette) ? QColor(0x40, 0x9C, 0xFF) : QColor(0x00, 0x5F, 0xCC);
}

// Orange beside blue stays apart for every common kind of colour blindness.
QColor closedLid(const QPalette &palette)
{
    return MenuStyle::isDark(palette) ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xB8, 0x5A, 0x00);
}

QColor attention(const QPalette &palette)
{
    return MenuStyle::isDark(palette) ? QColor(0xFF, 0x69, 0x61) : QColor(0xB0, 0x00, 0x12);
}

// A grey that still reads as text on both the window and the list's base colour.
QColor secondaryText(const QPalette &palette)
{
    return MenuStyle::mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.72);
}

qreal contrast(const QColor &a, const QColor &b)
{
    const qreal la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace ActivityColors

namespace {

constexpr int axisWidth = 44;
constexpr int labelHeight = 20;
constexpr int topMargin = 8;
constexpr int slotWidth = 42;

} // namespace

ActivityChart::ActivityChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("activityChart"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ActivityChart::setDays(const QList<activity::DayTotal> &days)
{
    m_days = days;
    if (m_selected >= m_days.size())
        m_selected = -1;
    update();
}

void ActivityChart::selectDay(int index)
{
    if (index < -1 || index >= m_days.size())
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    update();
    emit selectedDayChanged(index);
}

QSize ActivityChart::sizeHint() const
{
    return {axisWidth + slotWidth * int(qMax<qsizetype>(m_days.size(), activity::shownDays)) + 8, 190};
}

QSize ActivityChart::minimumSizeHint() const
{
    return {axisWidth + 24 * activity::shownDays, 150};
}

QRect ActivityChart::plotArea() const
{
    return QRect(axisWidth, topMargin, width() - axisWidth - 4, height() - topMargin - labelHeight - 4);
}

QRect ActivityChart::barSlot(int index) const
{
    const QRect plot = plotArea();
    if (m_days.isEmpty() || index < 0 || index >= m_days.size())
        return {};
    const qreal slot = qreal(plot.width()) / m_days.size();
    return QRect(plot.left() + int(std::lround(index * slot)), plot.top(), int(std::lround(slot)),
                 plot.height() + labelHeight);
}

int ActivityChart::scaleHours() const
{
    qint64 most = 0;
    for (const activity::DayTotal &day : m_days)
        most = std::max(most, day.idleSleepSeconds + day.closedLidSeconds);
    const int hours = int((most + 3599) / 3600);
    for (const int step : {2, 4, 6, 8, 12, 24, 36, 48})
        if (hours <= step)
            return step;
    return 48;
}

int ActivityChart::dayAt(const QPoint &point) const
{
    for (int i = 0; i < m_days.size(); ++i)
        if (barSlot(i).contains(point))
            return i;
    return -1;
}

void ActivityChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor text = pal.color(QPalette::WindowText);
    const QColor secondary = ActivityColors::secondaryText(pal);
    const QColor grid = MenuStyle::mix(pal.color(QPalette::Window), text, 0.18);
    const QRect plot = plotArea();
    const int scale = scaleHours();
    const auto yFor = [&](qint64 seconds) { return plot.bottom() - plot.height() * (seconds / 3600.0) / scale; };

    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.85);
    painter.setFont(small);
    const QFontMetrics metrics(small);

    // The hour scale in whole hours, labelled at the left.
    const int steps = scale % 4 == 0 ? 4 : scale % 3 == 0 ? 3 : 2;
    for (int i = 0; i <= steps; ++i) {
        const int hours = scale * i / steps;
        const qreal y = yFor(qint64(hours) * 3600);
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(secondary);
        painter.drawText(QRectF(0, y - metrics.height() / 2.0, axisWidth - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter,
                         Localization::format(qtTrId("activityAxisHours"), {QString::number(hours)}));
    }

    // Labels take turns when the bars are too narrow for all of them.
    int widest = 0;
    for (const activity::DayTotal &day : m_days)
        widest = std::max(widest, metrics.horizontalAdvance(activity::dayLabel(day.date)));
    const int every = m_days.isEmpty() ? 1 : qMax(1, int(std::ceil((widest + 6.0) / barSlot(0).width())));

    for (int i = 0; i < m_days.size(); ++i) {
        const activity::DayTotal &day = m_days[i];
        const QRect slot = barSlot(i);
        if (i == m_selected) {
            painter.fillRect(QRect(slot.left(), plot.top(), slot.width(), plot.height()),
                             MenuStyle::mix(pal.color(QPalette::Window), text, 0.08));
            if (hasFocus()) {
                painter.setPen(QPen(pal.color(QPalette::Highlight), 2));
                painter.setBrush(Qt::NoBrush);
                painter.drawRoundedRect(QRectF(slot).adjusted(1, 1, -1, -1), 4, 4);
            }
        }
        const qreal barWidth = qMin(slot.width() * 0.62, 26.0);
        const qreal x = slot.center().x() + 0.5 - barWidth / 2;
        const qreal idleTop = yFor(day.idleSleepSeconds);
        const qreal lidTop = yFor(day.idleSleepSeconds + day.closedLidSeconds);
        painter.setPen(Qt::NoPen);
        if (day.idleSleepSeconds > 0) {
            painter.setBrush(ActivityColors::idleSleep(pal));
            painter.drawRect(QRectF(x, idleTop, barWidth, plot.bottom() - idleTop));
        }
        if (day.closedLidSeconds > 0) {
            // A hairline of the background keeps the two parts apart without their colours.
            const qreal gap = day.idleSleepSeconds > 0 ? 1.5 : 0;
            painter.setBrush(ActivityColors::closedLid(pal));
            painter.drawRect(QRectF(x, lidTop, barWidth, std::max(0.0, idleTop - lidTop - gap)));
        }
        const bool today = i == m_days.size() - 1;
        if ((m_days.size() - 1 - i) % every == 0 || i == m_selected) {
            painter.setPen(i == m_selected || today ? text : secondary);
            QFont label = small;
            label.setBold(today);
            painter.setFont(label);
            painter.drawText(QRect(slot.center().x() - 40, plot.bottom() + 4, 81, labelHeight),
                             Qt::AlignHCenter | Qt::AlignTop, activity::dayLabel(day.date));
            painter.setFont(small);
        }
    }
}

void ActivityChart::mouseMoveEvent(QMouseEvent *event)
{
    const int day = dayAt(event->position().toPoint());
    if (day >= 0)
        selectDay(day);
    QWidget::mouseMoveEvent(event);
}

void ActivityChart::leaveEvent(QEvent *event)
{
    if (!hasFocus())
        selectDay(-1);
    QWidget::leaveEvent(event);
}

void ActivityChart::keyPressEvent(QKeyEvent *event)
{
    const int last = int(m_days.size()) - 1;
    const int current = m_selected < 0 ? last : m_selected;
    switch (event->key()) {
    case Qt::Key_Left: selectDay(qMax(0, current - 1)); break;
    case Qt::Key_Right: selectDay(qMin(last, current + 1)); break;
    case Qt::Key_Home: selectDay(0); break;
    case Qt::Key_End: selectDay(last); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void ActivityChart::focusInEvent(QFocusEvent *event)
{
    // Arriving by keyboard shows a day at once: today.
    if (m_selected < 0 && !m_days.isEmpty())
        selectDay(int(m_days.size()) - 1);
    update();
    QWidget::focusInEvent(event);
}

void ActivityChart::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::LanguageChange)
        update();
}

} // namespace quorvel
