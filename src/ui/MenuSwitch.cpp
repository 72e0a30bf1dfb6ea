#include "ui/MenuSwitch.h"

#include "ui/Contrast.h"
#include "ui/MenuStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace quorvel {

namespace {
constexpr int trackWidth = 34;
constexpr int trackHeight = 20;
constexpr int knobInset = 2;
} // namespace

MenuSwitch::MenuSwitch(QWidget *parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { emit toggleRequested(!isChecked()); });
}

QSize MenuSwitch::sizeHint() const
{
    return {trackWidth + 2, trackHeight + 2};
}

void MenuSwitch::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void MenuSwitch::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void MenuSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The active colours, faded as a whole when disabled, so an on switch still reads as on.
    if (!isEnabled())
        painter.setOpacity(0.5);

    const QPalette &pal = palette();
    const QColor window = pal.color(QPalette::Active, QPalette::Window);
    const QColor text = pal.color(QPalette::Active, QPalette::WindowText);
    const QRectF track(1, (height() - trackHeight) / 2.0, trackWidth, trackHeight);
    // Off or on, the track must stand out of the row as a shape.
    QColor fill = isChecked() ? MenuStyle::accent(pal)
                              : Contrast::readable(MenuStyle::mix(window, text, 0.22), window, Contrast::shape);
    if (m_hovering && isEnabled())
        fill = MenuStyle::mix(fill, text, 0.08);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, trackHeight / 2.0, trackHeight / 2.0);

    const qreal knob = trackHeight - 2 * knobInset;
    const qreal x = isChecked() ? track.right() - knobInset - knob : track.left() + knobInset;
    const QRectF knobRect(x, track.top() + knobInset, knob, knob);
    painter.setBrush(QColor(0xFA, 0xFA, 0xFA));
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.drawEllipse(knobRect);

    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(MenuStyle::accent(pal), 1.5));
        painter.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), trackHeight / 2.0 + 0.5, trackHeight / 2.0 + 0.5);
    }
}

} // namespace quorvel
