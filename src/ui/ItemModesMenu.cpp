#include "ui/ItemModesMenu.h"

#include "app/composition/AppCoordinator.h"
#include "ui/MenuRootView.h"
#include "ui/MenuWakeModePicker.h"
#include "ui/Presentation.h"

#include <QActionGroup>
#include <QEvent>

namespace quorvel {

ItemModesMenu::ItemModesMenu(AppCoordinator &coordinator, MenuRootView &root, std::function<void()> openSettings,
                             std::function<void()> quit)
    : m_coordinator(coordinator)
    , m_root(root)
{
    setObjectName(QStringLiteral("itemModesMenu"));
    auto *modes = new QActionGroup(this);
    const auto mode = [this, modes](const char *name, IdleWakeMode which) {
        QAction *action = addAction(QString());
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        modes->addAction(action);
        connect(action, &QAction::triggered, this, [this, which] {
            m_root.selectTimedMode(which);
            refresh(); // a refused choice puts the check back where the state is
        });
        return action;
    };
    m_off = mode("itemMenu.off", IdleWakeMode::off);
    m_timed = mode("itemMenu.timed", IdleWakeMode::timed);
    m_indefinite = mode("itemMenu.indefinite", IdleWakeMode::indefinite);
    addSeparator();
    m_more = addAction(QString(), this, [this] { m_root.adjustRemaining(TimedSleepPreventer::adjustmentStep); });
    m_less = addAction(QString(), this, [this] { m_root.adjustRemaining(-TimedSleepPreventer::adjustmentStep); });
    addSeparator();
    m_display = addAction(QString());
    m_display->setCheckable(true);
    connect(m_display, &QAction::triggered, this, [this](bool on) {
        m_coordinator.setDisplayAwake(on);
        refresh();
    });
    m_closedLid = addAction(QString());
    m_closedLid->setCheckable(true);
    connect(m_closedLid, &QAction::triggered, this, [this](bool on) {
        if (ClosedLidModule *module = m_coordinator.closedLidModule())
            module->setClamshell(on);
        refresh();
    });
    addSeparator();
    m_settings = addAction(QString(), this, std::move(openSettings));
    m_quit = addAction(QString(), this, std::move(quit));
    for (QAction *action : actions())
        action->setMenuRole(QAction::NoRole);
    m_more->setObjectName(QStringLiteral("itemMenu.more"));
    m_less->setObjectName(QStringLiteral("itemMenu.less"));
    m_display->setObjectName(QStringLiteral("itemMenu.display"));
    m_closedLid->setObjectName(QStringLiteral("itemMenu.closedLid"));
    m_settings->setObjectName(QStringLiteral("itemMenu.settings"));
    m_quit->setObjectName(QStringLiteral("itemMenu.quit"));
    connect(&m_coordinator.store(), &AppStateStore::changed, this, &ItemModesMenu::refresh);
    refresh();
}

void ItemModesMenu::changeEvent(QEvent *event)
{
    QMenu::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        refresh();
}

void ItemModesMenu::refresh()
{
    const VemoState &s = m_coordinator.store().state();
    const bool blocked = isClamshellRunning(s.clamshell) || s.startupResidual;
    const bool timed = is<TimedSession::Running>(s.timedSession);
    const bool indefinite = is<TimedSession::RunningPermanent>(s.timedSession);

    m_off->setText(qtTrId("off"));
    QString timedText = qtTrId("timed");
    if (const auto *running = std::get_if<TimedSession::Running>(&s.timedSession))
        timedText += QStringLiteral(" · ") + Presentation::timerText(running->remainingSeconds);
    m_timed->setText(timedText);
    m_indefinite->setText(qtTrId("indefinite"));
    m_off->setChecked(!timed && !indefinite);
    m_timed->setChecked(timed);
    m_indefinite->setChecked(indefinite);
    for (QAction *action : {m_off, m_timed, m_indefinite})
        action->setEnabled(!blocked);

    m_more->setText(qtTrId("add30m"));
    m_less->setText(qtTrId("subtract30m"));
    m_more->setEnabled(timed && !blocked);
    m_less->setEnabled(timed && !blocked);

    m_display->setText(qtTrId("keepDisplayOn"));
    m_display->setChecked(is<DisplayAwake::On>(s.displayAwake) || is<DisplayAwake::Starting>(s.displayAwake));

    const auto row = Presentation::closedLidRow(s, m_coordinator.store().threshold());
    const auto unavailable = closedLidUnavailableNow(m_coordinator.platformNotes(), s);
    m_closedLid->setText(unavailable ? qtTrId("closedLidMode") + QStringLiteral(" · ") + unavailable->text()
                                     : qtTrId("closedLidMode"));
    m_closedLid->setChecked(!unavailable && row.control.isOn);
    m_closedLid->setEnabled(!unavailable && row.control.isEnabled && m_coordinator.closedLidModule());

    m_settings->setText(qtTrId("openSettings"));
    m_quit->setText(qtTrId("quitApp"));
}

} // namespace quorvel
