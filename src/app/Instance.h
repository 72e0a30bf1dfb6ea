#pragma once

#include "app/composition/ControlChannel.h"
#include "app/composition/ControlCommands.h"
#include "app/composition/ControlHandler.h"

#include <QObject>
#include <memory>

namespace quorvel {

class AppCoordinator;

// This user's one running instance: claims the control channel before anything else is
// made, then answers `quorvel ctl`, second launches and quorvel:// addresses through the same
// entry points as the menu.
class Instance final : public QObject {
    Q_OBJECT
public:
    explicit Instance(QObject *parent = nullptr);
    ~Instance() override;

    // False when another instance already answers (this process should end quietly).
    // A channel that cannot be opened for another reason is logged; the app runs without it.
    bool claim();
    // From here on requests are answered; `activate` opens the menu for a bare second launch.
    void serve(AppCoordinator &coordinator, std::function<void()> activate);
    // Addresses among the launch arguments (a quorvel:// link opened while nothing ran).
    void handleLaunchArguments(const QStringList &arguments);
    // A quorvel:// address from the platform (the Mac's open-URL event); others are ignored.
    void openUrl(const QUrl &url);

private:
    std::unique_ptr<Control::Server> m_server;
    std::unique_ptr<ControlHandler> m_handler;
};

} // namespace quorvel
