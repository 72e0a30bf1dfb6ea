#pragma once

#include <QWidget>
#include <functional>

namespace quorvel {

class AppCoordinator;
class LanguageController;

// The menu popover: the whole control surface, a frameless popup 320 wide whose height follows
// its content, placed under the status item and closed by a click elsewhere.
class MenuPopover final : public QWidget {
    Q_OBJECT
public:
    MenuPopover(AppCoordinator &coordinator, LanguageController &language, std::function<void()> openSettings,
                QWidget *parent = nullptr);
    ~MenuPopover() override;

    // Under `anchor` (screen coordinates), kept inside that screen's available area.
    void showUnder(const QRect &anchor);
    // Without a tray to hang from: an ordinary window, so the app stays usable.
    void showAsWindow();
};

} // namespace quorvel
