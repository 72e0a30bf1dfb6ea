#pragma once

#include "activity/ActivitySessions.h"

#include <QColor>
#include <QList>
#include <QPalette>
#include <QWidget>

namespace quorvel {

// The colours of the activity window, each readable on the palette's window and base colours
// (4.5:1 for text, 3:1 for the chart's bars) in light and dark palettes alike.
namespace ActivityColors {
QColor idleSleep(const QPalette &palette);
QColor closedLid(const QPalette &palette);
QColor attention(const QPalette &palette); // safety stops and failures
QColor secondaryText(const QPalette &palette);
// The WCAG contrast ratio of two colours, 1 to 21.
qreal contrast(const QColor &a, const QColor &b);
} // namespace ActivityColors

// One bar per day, idle-sleep hours under closed-lid hours, today at the right. Pointing at a
// bar or moving to it with the arrow keys selects its day; the view below says its figures.
class ActivityChart final : public QWidget {
    Q_OBJECT
public:
    explicit ActivityChart(QWidget *parent = nullptr);

    void setDays(const QList<activity::DayTotal> &days);
    const QList<activity::DayTotal> &days() const { return m_days; }
    // The day pointed at or moved to; -1 for none.
    int selectedDay() const { return m_selected; }
    void selectDay(int index);
    // Where the bar of a day stands, for tests and for pointing.
    QRect barSlot(int index) const;
    // The top of the hour scale, a whole number of hours.
    int scaleHours() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void selectedDayChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QRect plotArea() const;
    int dayAt(const QPoint &point) const;

    QList<activity::DayTotal> m_days;
    int m_selected = -1;
};

} // namespace quorvel
