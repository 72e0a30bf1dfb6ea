#include "ui/MenuRootView.h"

#include "app/composition/AppCoordinator.h"
#include "ui/MenuClamshellSection.h"
#include "ui/MenuFooter.h"
#include "ui/MenuIdleWakeRow.h"
#include "ui/MenuStyle.h"
#include "ui/MenuUpdateRow.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvel {

namespace {
bool isBlocked(const VemoState &s)
{
    return isClamshellRunning(s.clamshell) || s.startupResidual;
}
} // namespace

MenuRootView::MenuRootView(AppCoordinator &coordinator, LanguageController &language,
                           std::function<void()> openSettings, QWidget *parent)
    : QWidget(parent)
    , m_coordinator(coordinator)
    , m_openSettings(std::move(openSettings))
{
    setObjectName(QStringLiteral("menuRoot"));
    setFixedWidth(MenuStyle::menuWidth);
    AppStateStore &store = coordinator.store();

    m_section = new QWidget(this);
    m_section->setObjectName(QStringLiteral("keepAwake"));
    m_heading = new QLabel(m_section);
    m_heading->setObjectName(QStringLiteral("keepAwake.heading"));
    m_heading->setTextFormat(Qt::PlainText);
    MenuStyle::setPixelSize(m_heading, MenuStyle::headingPixelSize, QFont::Bold);

    m_idleRow = new MenuIdleWakeRow(store,
                                    {[this](IdleWakeMode mode) { selectTimedMode(mode); },
                                     [this](qint64 seconds) { adjustRemaining(seconds); },
                                     [this](bool on) { m_coordinator.setDisplayAwake(on); }},
                                    m_section);

    MenuClamshellSection::Actions clamshell;
    clamshell.setClamshell = [this](bool on) {
        if (ClosedLidModule *module = m_coordinator.closedLidModule())
            module->setClamshell(on);
    };
    clamshell.authorizeAndStart = [this] {
        if (ClosedLidModule *module = m_coordinator.closedLidModule()) {
            beforeOtherWindow();
            module->requestAuthorization();
        }
    };
    clamshell.cancelAuthorization = [this] { cancelAuthorization(); };
    clamshell.retry = [this] { retry(); };
    clamshell.requestAuthorization = [this] {
        if (ClosedLidModule *module = m_coordinator.closedLidModule()) {
            beforeOtherWindow();
            module->authorizationManager().grant();
        }
    };
    clamshell.openSettings = [this] {
        beforeOtherWindow();
        if (m_openSettings)
            m_openSettings();
    };
    m_clamshell =
        new MenuClamshellSection(store, language, std::move(clamshell), m_section, coordinator.platformNotes());

    auto *sectionLayout = new QVBoxLayout(m_section);
    sectionLayout->setContentsMargins(0, 0, 0, 0);
    sectionLayout->setSpacing(10);
    sectionLayout->addWidget(m_heading);
    sectionLayout->addWidget(m_idleRow);
    sectionLayout->addWidget(MenuStyle::makeDivider(m_section));
    sectionLayout->addWidget(m_clamshell);

    m_updateRow = new MenuUpdateRow(coordinator.updateChecker(), this);
    m_footer = new MenuFooter(
        [this] {
            beforeOtherWindow();
            if (m_openSettings)
                m_openSettings();
        },
        [this] {
            beforeOtherWindow();
            m_coordinator.requestQuit();
        },
        this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 8);
    layout->setSpacing(8);
    layout->addWidget(m_section);
    layout->addWidget(MenuStyle::makeDivider(this));
    layout->addWidget(m_updateRow);
    layout->addWidget(m_footer);
    retranslate();
}

void MenuRootView::setPreview(bool preview)
{
    m_preview = preview;
    m_idleRow->setAnimated(!preview);
}

void MenuRootView::setUpdateChecker(UpdateChecker *checker)
{
    m_updateRow->setChecker(checker);
}

void MenuRootView::beforeOtherWindow()
{
    if (m_beforeOtherWindow)
        m_beforeOtherWindow();
}

void MenuRootView::selectTimedMode(IdleWakeMode mode)
{
    const VemoState &s = m_coordinator.store().state();
    const bool blocked = isBlocked(s);
    switch (mode) {
    case IdleWakeMode::off:
        if (!blocked)
            m_coordinator.stopTimed();
        return;
    case IdleWakeMode::timed:
        if (is<TimedSession::Running>(s.timedSession) || blocked)
            return;
        if (is<TimedSession::RunningPermanent>(s.timedSession))
            // Back to the time the session had when it went indefinite.
            m_coordinator.timedController().switchToTimed();
        else
            m_coordinator.startTimed(TimedSleepPreventer::defaultTimedSeconds);
        return;
    case IdleWakeMode::indefinite:
        if (is<TimedSession::RunningPermanent>(s.timedSession))
            return;
        if (is<TimedSession::Running>(s.timedSession)) {
            if (!blocked)
                m_coordinator.timedController().switchToPermanent();
            return;
        }
        m_coordinator.startPermanent();
        return;
    }
}

void MenuRootView::adjustRemaining(qint64 seconds)
{
    if (!isBlocked(m_coordinator.store().state()))
        m_coordinator.timedController().adjustRemaining(seconds);
}

void MenuRootView::cancelAuthorization()
{
    AppStateStore &store = m_coordinator.store();
    if (!is<Clamshell::AuthorizationRequired>(store.state().clamshell))
        return;
    VemoState next = store.state();
    next.clamshell = Clamshell::Off{};
    store.setState(next);
}

void MenuRootView::retry()
{
    ClosedLidModule *module = m_coordinator.closedLidModule();
    if (!module)
        return;
    if (is<Clamshell::AuthorizationRequired>(m_coordinator.store().state().clamshell)) {
        beforeOtherWindow(); // the administrator dialog
        module->authorizeAndStart();
    } else {
        module->setClamshell(true);
    }
}

void MenuRootView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_preview)
        return;
    // Someone may have removed (or installed) the rule since the menu was last open. A failing
    // check changes nothing, and the menu shows what the state says.
    if (ClosedLidModule *module = m_coordinator.closedLidModule())
        (void)module->authorizationManager().verify();
}

void MenuRootView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void MenuRootView::retranslate()
{
    m_heading->setText(qtTrId("keepAwake"));
    m_section->setAccessibleName(qtTrId("keepAwake"));
}

} // namespace quorvel
