#pragma once

#include <QObject>

namespace quorvel {

class AppCoordinator;
class LanguageController;
class UserDefaults;

// What the status item asks of the application delegate.
class StatusBarCommands {
public:
    virtual ~StatusBarCommands() = default;
    virtual void showSettings() = 0;
    virtual void showAbout() = 0;
};

// The item in the menu bar (the system tray elsewhere): its image and tool tip follow the
// state; a primary click toggles the menu popover, a secondary click shows the command menu.
class StatusBarController final : public QObject {
    Q_OBJECT
public:
    StatusBarController(AppCoordinator &coordinator, LanguageController &language, StatusBarCommands *commands,
                        QObject *parent = nullptr);
    ~StatusBarController() override;
};

} // namespace quorvel
