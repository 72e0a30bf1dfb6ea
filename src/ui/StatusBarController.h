#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

namespace quorvel {

class AppCoordinator;
class LanguageController;
class MenuPopover;
class StatusItem;
class UserDefaults;

// What the status item asks of the application delegate.
class StatusBarCommands {
public:
    virtual ~StatusBarCommands() = default;
    virtual void showSettings() = 0;
    virtual void showAbout() = 0;
    // The activity window; a delegate without one ignores it.
    virtual void showActivity() {}
};

// The item in the menu bar (the system tray elsewhere): its image and tool tip follow the
// state; a primary click toggles the menu popover, a secondary click shows the command menu.
class StatusBarController final : public QObject {
    Q_OBJECT
public:
    // The platform's own status item and the standard preferences.
    StatusBarController(AppCoordinator &coordinator, LanguageController &language, StatusBarCommands *commands,
                        QObject *parent = nullptr);
    // A given status item and preferences (tests, screenshots).
    StatusBarController(AppCoordinator &coordinator, LanguageController &language, StatusBarCommands *commands,
                        std::unique_ptr<StatusItem> item, std::shared_ptr<UserDefaults> defaults,
                        QObject *parent = nullptr);
    ~StatusBarController() override;

    // Recomputes the image and the tool tip from the current state, and reads the countdown
    // preference afresh. Runs after every change of the state.
    void refresh();

    // Opens the popover under the item (as a window when nothing hosts the item), for requests
    // from outside the item: a second launch, a quorvel:// address, `quorvel ctl`.
    Q_INVOKABLE void openPopover();

    // The secondary menu's commands. Each closes the popover first; without a delegate (it
    // went away) that is all they do, except quitting, which goes to the coordinator.
    void handleSettings();
    void handleActivity();
    void handleHelp();
    void handleAbout();
    void handleQuit();

    StatusItem &statusItem() const { return *m_item; }
    MenuPopover &popover() const { return *m_popover; }
    // The secondary menu last shown, while it exists.
    QMenu *menu() const { return m_menu; }
    // The item's own menu of every mode, where the item has one (see StatusItem::canPlaceWindows).
    QMenu *itemMenu() const { return m_itemMenu; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void primaryClick();
    void secondaryClick();
    void scheduleRefresh();
    void closePopover();
    StatusBarCommands *liveCommands() const;

    AppCoordinator &m_coordinator;
    LanguageController &m_language;
    StatusBarCommands *m_commands = nullptr;
    // Set when the delegate is a QObject: tells whether it still exists.
    QPointer<QObject> m_commandsObject;
    bool m_commandsObserved = false;
    std::unique_ptr<StatusItem> m_item;
    std::shared_ptr<UserDefaults> m_defaults;
    std::unique_ptr<MenuPopover> m_popover;
    QPointer<QMenu> m_menu;
    // Only where the popover cannot be placed next to the item.
    QPointer<QMenu> m_itemMenu;
    bool m_showingMenu = false;

    bool m_refreshPending = false;
    bool m_drawn = false;
    QImage m_shownImage;
    QString m_shownToolTip;

    bool m_closingPopover = false;
    // When the popover last closed by itself (a click elsewhere), see primaryClick().
    QElapsedTimer m_popoverDismissed;
};

} // namespace quorvel
