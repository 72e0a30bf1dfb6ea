#include "ui/MenuIdleWakeRow.h"

#include "state/AppStateStore.h"
#include "ui/MenuSettingToggleRow.h"
#include "ui/MenuStyle.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel {

namespace {

constexpr int panelWidth = 244;

bool isBlocked(const VemoState &s)
{
    return isClamshellRunning(s.clamshell) || s.startupResidual;
}

bool isSettling(const TimedSessionState &session)
{
    return is<TimedSession::Starting>(session) || is<TimedSession::Stopping>(session);
}

} // namespace

MenuTimerPanel::MenuTimerPanel(QWidget *parent)
    : QWidget(parent)
    , m_minus(new QPushButton(this))
    , m_plus(new QPushButton(this))
    , m_caption(new QLabel(this))
    , m_time(new QLabel(this))
{
    setObjectName(QStringLiteral("timePanel"));
    m_minus->setObjectName(QStringLiteral("timePanel.minus"));
    m_plus->setObjectName(QStringLiteral("timePanel.plus"));
    m_caption->setObjectName(QStringLiteral("timePanel.caption"));
    m_time->setObjectName(QStringLiteral("timePanel.label"));
    setFixedWidth(panelWidth);

    for (QPushButton *button : {m_minus, m_plus}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        MenuStyle::setPixelSize(button, 12);
    }
    m_caption->setAlignment(Qt::AlignCenter);
    MenuStyle::setPixelSize(m_caption, 11);
    m_time->setAlignment(Qt::AlignCenter);
    // Fixed-width digits keep the text still while it counts down.
    m_time->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    MenuStyle::setPixelSize(m_time, 18, QFont::DemiBold);

    auto *centre = new QVBoxLayout;
    centre->setContentsMargins(0, 0, 0, 0);
    centre->setSpacing(0);
    centre->addWidget(m_caption);
    centre->addWidget(m_time);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(6);
    layout->addWidget(m_minus, 0, Qt::AlignVCenter);
    layout->addLayout(centre, 1);
    layout->addWidget(m_plus, 0, Qt::AlignVCenter);

    connect(m_minus, &QPushButton::clicked, this, [this] { emit adjust(-step); });
    connect(m_plus, &QPushButton::clicked, this, [this] { emit adjust(step); });
    retranslate();
}

void MenuTimerPanel::setRemainingSeconds(qint64 seconds)
{
    m_remaining = seconds;
    // At the maximum a press would change nothing; at the minimum minus stays usable and stops.
    m_plus->setEnabled(seconds < maximumSeconds);
    retranslate();
}

void MenuTimerPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void MenuTimerPanel::retranslate()
{
    const bool atMinimum = m_remaining <= minimumSeconds;
    m_minus->setText(qtTrId("subtract30m"));
    m_minus->setAccessibleName(atMinimum ? qtTrId("stop") : qtTrId("subtract30Minutes"));
    m_plus->setText(qtTrId("add30m"));
    m_plus->setAccessibleName(qtTrId("add30Minutes"));
    m_caption->setText(qtTrId("remaining"));
    const QString time = Presentation::timerText(m_remaining);
    m_time->setText(time);
    const QString described = qtTrId("remaining") + QLatin1Char(' ') + time;
    m_minus->setAccessibleDescription(described);
    m_plus->setAccessibleDescription(described);
    m_time->setAccessibleName(described);
}

MenuIdleWakeRow::MenuIdleWakeRow(AppStateStore &store, Actions actions, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_actions(std::move(actions))
    , m_icon(new MenuStyle::SymbolLabel(MenuStyle::rowIconPoints, MenuStyle::rowIconFrame, this))
    , m_title(new QLabel(this))
    , m_subtitle(new MenuStyle::ElidedLabel(this))
    , m_picker(new MenuWakeModePicker(this))
    , m_panel(new MenuTimerPanel(this))
    , m_displayRow(new MenuSettingToggleRow(this))
{
    setObjectName(QStringLiteral("idleRow"));
    m_subtitle->setObjectName(QStringLiteral("idleRow.subtitle"));
    m_displayRow->setObjectName(QStringLiteral("displayRow"));
    QVBoxLayout *texts = MenuStyle::titleAndSubtitle(m_title, m_subtitle);
    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(8);
    header->addWidget(m_icon, 0, Qt::AlignVCenter);
    header->addLayout(texts, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addLayout(header);
    layout->addWidget(m_picker);
    layout->addWidget(m_panel, 0, Qt::AlignHCenter);
    layout->addWidget(m_displayRow);

    connect(m_picker, &MenuWakeModePicker::selected, this, &MenuIdleWakeRow::choose);
    connect(m_panel, &MenuTimerPanel::adjust, this, [this](qint64 seconds) {
        if (m_actions.adjustRemaining)
            m_actions.adjustRemaining(seconds);
    });
    connect(m_displayRow, &MenuSettingToggleRow::toggleRequested, this, [this](bool on) {
        if (m_actions.setDisplay)
            m_actions.setDisplay(on);
        refresh(); // a refused request leaves the state, and so the switch, as it was
    });
    connect(&m_store, &AppStateStore::changed, this, &MenuIdleWakeRow::refresh);
    refresh();
}

void MenuIdleWakeRow::choose(IdleWakeMode mode)
{
    const VemoState &s = m_store.state();
    if (isBlocked(s) || isSettling(s.timedSession))
        return;
    m_requestedMode = mode;
    refresh();
    if (m_actions.selectMode)
        m_actions.selectMode(mode);
}

void MenuIdleWakeRow::refresh()
{
    const VemoState &s = m_store.state();
    if (m_seenSession != s.timedSession) {
        m_seenSession = s.timedSession;
        if (!isSettling(s.timedSession))
            m_requestedMode.reset();
    }
    const bool blocked = isBlocked(s);
    const QPalette &pal = palette();

    const auto row = Presentation::idleWakeRow(s);
    m_icon->setSymbol(QStringLiteral("moon"), MenuStyle::iconColor(row.tone, pal));
    m_title->setText(qtTrId("idleSleep"));
    m_subtitle->setText(Presentation::idleRowSubtitle(s));
    MenuStyle::setTextColor(m_subtitle, MenuStyle::subtitleColor(row.tone, pal));

    IdleWakeMode mode = IdleWakeMode::off;
    if (blocked)
        mode = IdleWakeMode::indefinite;
    else if (m_requestedMode)
        mode = *m_requestedMode;
    else if (is<TimedSession::Running>(s.timedSession))
        mode = IdleWakeMode::timed;
    else if (is<TimedSession::RunningPermanent>(s.timedSession))
        mode = IdleWakeMode::indefinite;
    m_picker->setCurrentMode(mode);
    m_picker->setEnabled(!blocked && !isSettling(s.timedSession));

    const auto *running = std::get_if<TimedSession::Running>(&s.timedSession);
    if (running && !blocked)
        m_panel->setRemainingSeconds(running->remainingSeconds);
    showPanel(running && !blocked);

    const bool timedActive = running || is<TimedSession::RunningPermanent>(s.timedSession);
    m_displayRow->setVisible(timedActive && !blocked);
    const auto display = Presentation::displayWakeRow(s);
    m_displayRow->setSymbol(QStringLiteral("display"), MenuStyle::iconColor(display.tone, pal));
    m_displayRow->setTitle(qtTrId("keepDisplayOn"));
    m_displayRow->setHint(qtTrId("toggleKeepDisplayHint"));
    m_displayRow->setSubtitle(Presentation::displayRowSubtitleKey(display.status).text(),
                              MenuStyle::subtitleColor(display.tone, pal));
    m_displayRow->setControl(display.control);
}

void MenuIdleWakeRow::showPanel(bool shown)
{
    if (!shown) {
        m_panel->hide();
        return;
    }
    if (!m_panel->isHidden())
        return;
    m_panel->show();
    if (!m_animated || !window()->isVisible())
        return;
    auto *effect = new QGraphicsOpacityEffect(m_panel);
    m_panel->setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", m_panel);
    fade->setDuration(160);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    // The effect only for the fade: it would otherwise redraw the panel off screen for good.
    connect(fade, &QPropertyAnimation::finished, m_panel, [panel = m_panel] { panel->setGraphicsEffect(nullptr); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void MenuIdleWakeRow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        refresh();
    QWidget::changeEvent(event);
}

} // namespace quorvel
