#pragma once

#include "app/composition/ControlChannel.h"
#include "app/composition/ControlCommands.h"
#include "app/composition/ControlHandler.h"

#include <QObject>
#include <functional>
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

    // True when this launch is the user's instance: it holds the instance lock (an exclusive
    // flock in the data folder, so two launches at the same instant cannot both win) and then
    // serves the control channel. When another launch holds the lock, `handOver` gets a few
    // tries (the winner may still be opening its socket); false then, and this process should
    // end, having said on standard error why when the hand-over failed. A channel that cannot
    // be opened is logged; the app runs without it.
    bool claim(const std::function<bool()> &handOver);
    // From here on requests are answered; `activate` opens the menu for a bare second launch.
    void serve(AppCoordinator &coordinator, std::function<void()> activate);
    // Addresses among the launch arguments (a quorvel:// link opened while nothing ran).
    void handleLaunchArguments(const QStringList &arguments);
    // A quorvel:// address from the platform (the Mac's open-URL event); others are ignored.
    void openUrl(const QUrl &url);

private:
    int m_lock = -1;
    std::unique_ptr<Control::Server> m_server;
    std::unique_ptr<ControlHandler> m_handler;
};

} // namespace quorvel
