#pragma once

#include "ui/StatusBarController.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace quorvel {

class AppCoordinator;
class Instance;
class LanguageController;
class SecondaryWindows;
class TerminationSignals;

// The application's outer shell: brings the system up in its fixed order, wires the
// platform's end-of-life notices to the clean-up, and opens the two secondary windows.
class AppDelegate final : public QObject, public StatusBarCommands {
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Before anything else: false when another instance of this user already runs.
    bool claimInstance();
    // The launch sequence. Returns once the status item exists; the start-up checks follow
    // on the next turn of the event loop.
    void launch();

    void showSettings() override;
    void showAbout() override;
    void showActivity() override;

    AppCoordinator *coordinator() const { return m_coordinator.get(); }
    LanguageController *languageController() const { return m_language.get(); }
    StatusBarController *statusBarController() const { return m_statusBar.get(); }
    SecondaryWindows *windows() const { return m_windows.get(); }

private:
    bool eventFilter(QObject *watched, QEvent *event) override;

    std::unique_ptr<TerminationSignals> m_signals;
    std::unique_ptr<Instance> m_instance;
    std::unique_ptr<LanguageController> m_language;
    std::unique_ptr<AppCoordinator> m_coordinator;
    std::unique_ptr<SecondaryWindows> m_windows;
    std::unique_ptr<StatusBarController> m_statusBar;
};

// The platform's will-power-off notice (shut-down, restart, log-out); nothing where the
// platform has none beyond the termination signals.
void observeWillPowerOff(std::function<void()> handler);

// `quorvel --headless`: the whole application driven from standard input, no windows.
int runHeadless(int argc, char *argv[]);
// `quorvel ctl ...`: one request to the running instance; exit 0, 1 (refused), 2 (none runs).
int runCtl(int argc, char *argv[]);
// A second launch hands its arguments to the running instance; its answer, or none when no
// instance runs.
std::optional<QJsonObject> handOffToRunningInstance(const QStringList &arguments);

} // namespace quorvel
