#pragma once

#include "app/composition/AppCoordinator.h"
#include "closedlid/AlertPresenter.h"
#include "closedlid/SudoersAuthorization.h"
#include "closedlid/SystemCommands.h"
#include "power/PowerChangeSource.h"
#include "support/Clock.h"
#include "support/Notifier.h"
#include "support/Scheduler.h"
#include "support/UserDefaults.h"
#include "update/BundleInfo.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace quorvel {

class SimPlatform;

// Every value that differs between running on a Mac and running against the simulated
// platform. makeLive() picks one set per process; tests build their own.
struct LivePlatform {
    QString name;
    std::function<PowerContext()> readPower;
    PowerChangeSource powerSourceChanges;
    PowerChangeSource lowPowerModeChanges;
    // What the closed-lid guard listens to besides the power source: displays coming, going
    // or changing role, and the machine waking from sleep. Either may be empty.
    PowerChangeSource displayChanges;
    PowerChangeSource wakeNotifications;
    QString caffeinatePath = QString::fromLatin1(TimedSleepPreventer::defaultToolPath);
    ChildProcessFactory makeChildProcess;
    CommandEnvironment commands;
    // Empty: the command lines run as written (through `commands`). Linux answers the closed-lid
    // commands itself and passes the rest on.
    CommandRunner commandRunner;
    SudoersAuthorization::Setup sudoers;
    // Empty: the sudoers rule decides. Linux needs no rule: its locks are the user's own.
    AuthorizationManager::Checker authorizationChecker;
    AuthorizationManager::Grantor authorizationGrantor;
    AuthorizationManager::Revoker authorizationRevoker;
    PlatformNotes notes;
    std::shared_ptr<LaunchAtLoginController> launchAtLogin;
    std::shared_ptr<UserDefaults> defaults;
    QString journalPath;
    std::shared_ptr<Scheduler> scheduler;
    std::shared_ptr<Clock> clock;
    BundleInfo bundle;
    AlertPresenter alertPresenter;
    QuitAlertPresenter quitAlertPresenter;
    std::function<void()> terminator;
    // Empty: no notification service; the end-of-session notices are only logged.
    Notifier notifier;
    // Objects the live functions above rely on (a file watcher, say); they live as long as
    // the coordinator.
    std::vector<std::shared_ptr<QObject>> keepAlive;
};

// The Mac: the real tools, IOKit, the service-management login item. Only on macOS.
LivePlatform macLivePlatform();
// The Linux desktop: logind, the session's inhibitors, UPower. Off the Mac only.
LivePlatform linuxLivePlatform();
// The simulated platform: stand-in tools and a sandbox folder, on any machine.
LivePlatform simLivePlatform(const SimPlatform &sim);
// The platform of this process: the Mac when built for it, Linux when logind answers on the
// system bus; the simulated platform when QUORVEL_PLATFORM=sim or neither is there.
LivePlatform currentLivePlatform();

// Until windows exist: alerts are answered with their second, harmless button, and quitting
// ends the event loop.
AlertPresenter headlessAlertPresenter();
QuitAlertPresenter headlessQuitAlertPresenter();
std::function<void()> applicationTerminator();

} // namespace quorvel
