#pragma once

#include <QMenu>
#include <functional>

namespace quorvel {

class AppCoordinator;
class MenuRootView;

// Every mode as the item's own menu, for desktops where no window of ours can be placed next
// to the item (Wayland): Off, Timed with the time left, Indefinitely, +30/−30 min, Keep Display
// On, Closed-Lid Mode, Settings…, Quit. The commands are the popover's own, so the rules of
// what may change when are the same; the entries follow the state and the language.
class ItemModesMenu final : public QMenu {
    Q_OBJECT
public:
    ItemModesMenu(AppCoordinator &coordinator, MenuRootView &root, std::function<void()> openSettings,
                  std::function<void()> quit);

    // Texts, checks and what can be chosen, from the state of the moment.
    void refresh();

protected:
    void changeEvent(QEvent *event) override;

private:
    AppCoordinator &m_coordinator;
    MenuRootView &m_root;
    QAction *m_off, *m_timed, *m_indefinite, *m_more, *m_less, *m_display, *m_closedLid, *m_settings, *m_quit;
};

} // namespace quorvel
