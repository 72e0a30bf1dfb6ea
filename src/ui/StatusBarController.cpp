#include "ui/StatusBarController.h"

#include "app/composition/AppCoordinator.h"
#include "prefs/LanguageController.h"
#include "prefs/Preferences.h"
#include "records/DiagnosticLog.h"
#include "support/UserDefaults.h"
#include "ui/Activation.h"
#include "ui/ItemModesMenu.h"
#include "ui/Links.h"
#include "ui/MenuPopover.h"
#include "ui/Presentation.h"
#include "ui/StatusImage.h"
#include "ui/StatusItem.h"

#ifdef Q_OS_MACOS
#include "ui/mac/MacStatusItem.h"
#else
#include "ui/TrayStatusItem.h"
#endif

#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QUrl>

namespace quorvel {

namespace {

// A click on the item that lands this soon after the popover closed itself was the click that
// closed it: a popup closes on any press outside it, the item's own included.
constexpr qint64 dismissalClickMilliseconds = 300;

} // namespace

std::unique_ptr<StatusItem> makeStatusItem()
{
#ifdef Q_OS_MACOS
    return std::make_unique<MacStatusItem>();
#else
    return std::make_unique<TrayStatusItem>();
#endif
}

StatusBarController::StatusBarController(AppCoordinator &coordinator, LanguageController &language,
                                         StatusBarCommands *commands, QObject *parent)
    : StatusBarController(coordinator, language, commands, makeStatusItem(), UserDefaults::standard(), parent)
{
}

StatusBarController::StatusBarController(AppCoordinator &coordinator, LanguageController &language,
                                         StatusBarCommands *commands, std::unique_ptr<StatusItem> item,
                                         std::shared_ptr<UserDefaults> defaults, QObject *parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_language(language)
    , m_commands(commands)
    , m_commandsObject(dynamic_cast<QObject *>(commands))
    , m_commandsObserved(m_commandsObject != nullptr)
    , m_item(std::move(item))
    , m_defaults(defaults ? std::move(defaults) : std::make_shared<MemoryUserDefaults>())
{
    m_popover = std::make_unique<MenuPopover>(m_coordinator, m_language, [self = QPointer(this)] {
        if (self)
            self->handleSettings();
    });
    m_popover->installEventFilter(this);

    connect(m_item.get(), &StatusItem::primaryClicked, this, &StatusBarController::primaryClick);
    connect(m_item.get(), &StatusItem::secondaryClicked, this, &StatusBarController::secondaryClick);

    refresh();
    connect(&m_coordinator.store(), &AppStateStore::changed, this, &StatusBarController::scheduleRefresh);
    // The tool tip is looked up in the interface language: a new language redraws it at once.
    connect(&m_language, &LanguageController::localeChanged, this, &StatusBarController::refresh);

    DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                       QStringLiteral("status item ready, backend=") + m_item->backend());

    // Where the popover cannot be placed next to the item, the item's own menu holds every mode.
    if (m_item->isHosted() && !m_item->canPlaceWindows()) {
        m_itemMenu = new ItemModesMenu(
            m_coordinator, *m_popover->rootView(), [this] { handleSettings(); }, [this] { handleQuit(); });
        m_item->setItemMenu(m_itemMenu);
    }

    // Nothing hosts the item, so nothing could ever be clicked: the menu stands in as a window.
    if (!m_item->isHosted())
        m_popover->showAsWindow();
}

StatusBarController::~StatusBarController()
{
    delete m_menu;
    delete m_itemMenu;
    if (m_popover)
        m_popover->removeEventFilter(this);
}

void StatusBarController::scheduleRefresh()
{
    // One field operation notifies per field it writes; the item is redrawn once, from the
    // state they leave behind.
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshPending = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void StatusBarController::refresh()
{
    const VemoState &state = m_coordinator.store().state();
    const Presentation::MenuBarAttention attention = Presentation::menuBarAttention(state);
    const Presentation::MenuBarImage icon = Presentation::menuBarIcon(state);
    std::optional<QString> countdown;
    if (Preferences::menuBarCountdownText(*m_defaults))
        countdown = Presentation::menuBarCountdown(state);

    // A tray slot is square: the countdown cannot stand beside the icon, so it joins the tool tip.
    const bool textBesideIcon = m_item->hasVariableWidth();
    const QImage image = StatusImage::compose(icon.icon, Presentation::badgeSymbol(attention, icon.mark),
                                              textBesideIcon ? countdown : std::nullopt, m_item->devicePixelRatio());
    QString toolTip = Presentation::toolTip(attention, state);
    if (countdown && !textBesideIcon)
        toolTip += QStringLiteral(" · ") + *countdown;

    // Most changes leave the picture as it was; a tray would repaint (or send it over D-Bus)
    // for nothing.
    if (!m_drawn || image != m_shownImage) {
        m_item->setThemeIconName(StatusImage::themeIconName(icon, attention));
        m_item->setImage(image, true);
    }
    if (!m_drawn || toolTip != m_shownToolTip)
        m_item->setToolTip(toolTip);
    m_shownImage = image;
    m_shownToolTip = toolTip;
    m_drawn = true;
}

void StatusBarController::primaryClick()
{
    if (m_itemMenu) {
        m_item->popUpMenu(m_itemMenu);
        return;
    }
    if (m_popover->isVisible()) {
        closePopover();
        return;
    }
    if (m_popoverDismissed.isValid() && m_popoverDismissed.elapsed() < dismissalClickMilliseconds) {
        m_popoverDismissed.invalidate();
        return;
    }
    openPopover();
}

void StatusBarController::openPopover()
{
    if (m_item->isHosted() && m_item->canPlaceWindows()) {
        activateApplication(false);
        m_popover->showUnder(m_item->anchor());
    } else {
        m_popover->showAsWindow();
    }
}

void StatusBarController::secondaryClick()
{
    closePopover();
    if (m_itemMenu) {
        m_item->popUpMenu(m_itemMenu);
        return;
    }
    // The same right click may be reported twice (see eventFilter): one menu is enough. On
    // the Mac the menu is tracked inside popUpMenu(), and a report may arrive meanwhile.
    if (m_showingMenu || (m_menu && m_menu->isVisible()))
        return;
    // A fresh menu each time, in the language of the moment. The previous one is released
    // only now: on the Mac its action may still be on its way when it closes.
    if (m_menu)
        m_menu->deleteLater();
    auto *menu = new QMenu;
    const auto add = [this, menu](const QString &text, void (StatusBarController::*handler)()) {
        QAction *action = menu->addAction(text, this, handler);
        // Texts like "About" and "Quit" would otherwise be claimed by the Mac's application
        // menu and vanish from this one.
        action->setMenuRole(QAction::NoRole);
        return action;
    };
    add(qtTrId("openSettings"), &StatusBarController::handleSettings);
    add(qtTrId("openActivity"), &StatusBarController::handleActivity);
    menu->addSeparator();
    add(qtTrId("help") + QStringLiteral(" \u2197"), &StatusBarController::handleHelp);
    add(qtTrId("aboutApp"), &StatusBarController::handleAbout);
    menu->addSeparator();
    QAction *quit = add(qtTrId("quitApp"), &StatusBarController::handleQuit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // Command-Q on the Mac
    m_menu = menu;
    m_showingMenu = true;
    m_item->popUpMenu(menu);
    m_showingMenu = false;
}

void StatusBarController::closePopover()
{
    if (!m_popover->isVisible())
        return;
    m_closingPopover = true;
    m_popover->close();
    m_closingPopover = false;
}

bool StatusBarController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_popover.get() && event->type() == QEvent::Hide && !m_closingPopover) {
        m_popoverDismissed.start();
        // A popup takes the press that closes it, so a right click on the item while the
        // popover is open never reaches the item: the menu it asked for opens all the same.
        if ((QGuiApplication::mouseButtons() & Qt::RightButton) && m_item->contains(QCursor::pos()))
            QMetaObject::invokeMethod(this, &StatusBarController::secondaryClick, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

StatusBarCommands *StatusBarController::liveCommands() const
{
    if (m_commandsObserved && !m_commandsObject)
        return nullptr;
    return m_commands;
}

void StatusBarController::handleSettings()
{
    closePopover();
    if (StatusBarCommands *commands = liveCommands())
        commands->showSettings();
}

void StatusBarController::handleActivity()
{
    closePopover();
    if (StatusBarCommands *commands = liveCommands())
        commands->showActivity();
}

void StatusBarController::handleHelp()
{
    closePopover();
    if (liveCommands())
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(Links::help)));
}

void StatusBarController::handleAbout()
{
    closePopover();
    if (StatusBarCommands *commands = liveCommands())
        commands->showAbout();
}

void StatusBarController::handleQuit()
{
    closePopover();
    m_coordinator.requestQuit();
}

} // namespace quorvel
