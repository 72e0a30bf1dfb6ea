#include "ui/MenuWakeModePicker.h"

#include "ui/MenuStyle.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>

namespace quorvel {

namespace {
constexpr int trackHeight = 28;
constexpr int trackPadding = 2;
constexpr qreal radius = 7;

const char *segmentKey(IdleWakeMode mode)
{
    switch (mode) {
    case IdleWakeMode::off: return QT_TRID_NOOP("off");
    case IdleWakeMode::timed: return QT_TRID_NOOP("timed");
    case IdleWakeMode::indefinite: return QT_TRID_NOOP("indefinite");
    }
    return "";
}

const char *segmentName(IdleWakeMode mode)
{
    switch (mode) {
    case IdleWakeMode::off: return "modePicker.off";
    case IdleWakeMode::timed: return "modePicker.timed";
    case IdleWakeMode::indefinite: return "modePicker.indefinite";
    }
    return "";
}
} // namespace

// The groove the three segments sit in.
static QColor trackColor(const QPalette &pal)
{
    const QColor window = pal.color(QPalette::Active, QPalette::Window);
    const QColor text = pal.color(QPalette::Active, QPalette::WindowText);
    return MenuStyle::mix(window, text, MenuStyle::isDark(pal) ? 0.14 : 0.09);
}

MenuSegmentButton::MenuSegmentButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    // Ignored: the three segments share the width equally, whatever their texts.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    MenuStyle::setPixelSize(this, 13, QFont::Medium);
}

QSize MenuSegmentButton::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(text()) + 16, trackHeight - 2 * trackPadding};
}

QSize MenuSegmentButton::minimumSizeHint() const
{
    return {24, trackHeight - 2 * trackPadding};
}

void MenuSegmentButton::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void MenuSegmentButton::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void MenuSegmentButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn in the active colours and faded as a whole when disabled, so the chosen segment
    // still reads as chosen.
    const QPalette &pal = palette();
    const QColor window = pal.color(QPalette::Active, QPalette::Window);
    const QColor foreground = pal.color(QPalette::Active, QPalette::WindowText);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (!isEnabled())
        painter.setOpacity(0.5);
    QColor ink = pal.color(QPalette::Active, QPalette::ButtonText);
    if (isChecked()) {
        // The chosen segment stands out of the track in the accent colour, its label on it.
        const QColor fill = MenuStyle::chosenFill(trackColor(pal), pal);
        ink = MenuStyle::chosenText(fill);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(area, radius - trackPadding, radius - trackPadding);
    } else if (m_hovering && isEnabled()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(MenuStyle::mix(window, foreground, 0.16));
        painter.drawRoundedRect(area, radius - trackPadding, radius - trackPadding);
    }
    painter.setPen(ink);
    painter.setFont(font());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, width() - 6);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, shown);
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(MenuStyle::accent(pal), 1.5));
        painter.drawRoundedRect(area, radius - trackPadding, radius - trackPadding);
    }
}

MenuWakeModePicker::MenuWakeModePicker(QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("modePicker"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(trackHeight);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(trackPadding, trackPadding, trackPadding, trackPadding);
    layout->setSpacing(2);
    m_group->setExclusive(true);
    for (IdleWakeMode mode : {IdleWakeMode::off, IdleWakeMode::timed, IdleWakeMode::indefinite}) {
        auto *button = new MenuSegmentButton(this);
        button->setObjectName(QString::fromLatin1(segmentName(mode)));
        m_segments[size_t(mode)] = button;
        m_group->addButton(button, int(mode));
        layout->addWidget(button, 1);
    }
    m_segments[size_t(m_mode)]->setChecked(true);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        const auto mode = IdleWakeMode(id);
        // Until the owner says otherwise the display stays on the mode it was given.
        m_segments[size_t(m_mode)]->setChecked(true);
        emit selected(mode);
    });
    retranslate();
}

void MenuWakeModePicker::setCurrentMode(IdleWakeMode mode)
{
    m_mode = mode;
    if (!m_segments[size_t(mode)]->isChecked())
        m_segments[size_t(mode)]->setChecked(true);
}

void MenuWakeModePicker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor window = pal.color(QPalette::Active, QPalette::Window);
    const QColor text = pal.color(QPalette::Active, QPalette::WindowText);
    painter.setPen(Qt::NoPen);
    painter.setBrush(trackColor(pal));
    painter.drawRoundedRect(QRectF(rect()), radius, radius);

    // Hairlines between two segments that are both unselected.
    painter.setPen(QPen(MenuStyle::mix(window, text, 0.25), 1));
    for (size_t i = 0; i + 1 < m_segments.size(); ++i) {
        if (m_segments[i]->isChecked() || m_segments[i + 1]->isChecked())
            continue;
        const qreal x = (m_segments[i]->geometry().right() + m_segments[i + 1]->geometry().left() + 1) / 2.0;
        painter.drawLine(QPointF(x, 8), QPointF(x, height() - 8));
    }
}

void MenuWakeModePicker::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void MenuWakeModePicker::retranslate()
{
    setAccessibleName(qtTrId("idleWakeMode"));
    for (IdleWakeMode mode : {IdleWakeMode::off, IdleWakeMode::timed, IdleWakeMode::indefinite}) {
        MenuSegmentButton *button = m_segments[size_t(mode)];
        button->setText(qtTrId(segmentKey(mode)));
        button->setAccessibleName(button->text());
        button->setAccessibleDescription(qtTrId("idleWakeMode"));
    }
}

} // namespace quorvel
