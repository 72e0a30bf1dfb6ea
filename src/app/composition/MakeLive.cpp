#include "app/composition/LivePlatform.h"

#include "closedlid/ClosedLidModule.h"
#include "platform/sim/SimLayout.h"
#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimPower.h"
#include "power/BatterySafetyCoordinator.h"
#include "prefs/Localization.h"
#include "records/DiagnosticLog.h"
#include "support/TerminationSignals.h"
#include "update/LiveUpdateChecker.h"

#include <QCoreApplication>
#include <QMetaObject>

#ifdef Q_OS_MACOS
#include "platform/mac/LaunchAtLogin.h"
#include "platform/mac/MacNotifications.h"
#include "platform/mac/MacPower.h"
#include "platform/mac/MacWake.h"
#else
#include "platform/linux/DesktopInhibitors.h"
#include "platform/linux/DesktopNotifications.h"
#include "platform/linux/LaunchAtLogin.h"
#include "platform/linux/LidSwitchLock.h"
#include "platform/linux/LinuxBackends.h"
#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/LogindWake.h"
#include "platform/linux/SleepInhibitorSession.h"
#include "platform/linux/UPowerSource.h"

#include <cstdio>
#endif

namespace quorvel {

namespace {

class UpdateJobs final : public PendingUpdateJobs {
public:
    explicit UpdateJobs(UpdateChecker *checker)
        : m_checker(checker)
    {
    }
    void cancelPendingJobs() override
    {
        if (m_checker)
            m_checker->cancelTasks();
    }

private:
    QPointer<UpdateChecker> m_checker;
};

// Keeps the platform's helper objects alive exactly as long as the coordinator.
struct KeepAlive final : QObject {
    std::vector<std::shared_ptr<QObject>> objects;
};

} // namespace

AlertPresenter headlessAlertPresenter()
{
    return [](const Alert &alert) {
        DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                           QStringLiteral("alert answered without a window, title=") + alert.titleKey);
        return alertSecondButton;
    };
}

QuitAlertPresenter headlessQuitAlertPresenter()
{
    return [](const QuitAlert &) { return alertSecondButton; };
}

std::function<void()> applicationTerminator()
{
    return [] {
        if (auto *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    };
}

static LivePlatform commonLivePlatform()
{
    LivePlatform platform;
    platform.makeChildProcess = liveChildProcessFactory();
    platform.defaults = UserDefaults::standard();
    platform.journalPath = PersistentEventJournal::defaultLocation();
    platform.scheduler = std::make_shared<QtScheduler>();
    platform.clock = Clock::system();
    platform.bundle = BundleInfo::running();
    platform.alertPresenter = headlessAlertPresenter();
    platform.quitAlertPresenter = headlessQuitAlertPresenter();
    platform.terminator = applicationTerminator();
    platform.launchAtLogin = std::make_shared<LaunchAtLoginController>(makeLiveLaunchAtLogin());
    // A SIGTERM while the administrator dialog is up must end the dialog, not wait for it.
    platform.commands.interrupted = [] { return TerminationSignals::arrived(); };
    const CommandEnvironment commands = platform.commands;
    platform.sudoers.runShell = [commands](const QString &line) {
        return SudoersAuthorization::runShell(line, commands);
    };
    return platform;
}

#ifdef Q_OS_MACOS
LivePlatform macLivePlatform()
{
    LivePlatform platform = commonLivePlatform();
    platform.name = QStringLiteral("macos");
    platform.readPower = [] { return readMacPowerContext(QDateTime::currentDateTimeUtc()); };
    platform.powerSourceChanges = macPowerSourceChanges();
    platform.lowPowerModeChanges = macLowPowerModeChanges();
    platform.wakeNotifications = macWakeNotifications();
    platform.notifier = macUserNotifier();
    return platform;
}
#endif

#ifndef Q_OS_MACOS
LivePlatform linuxLivePlatform()
{
    const linuxbus::Buses buses = linuxbus::Buses::standard();
    LivePlatform platform = commonLivePlatform();
    platform.name = QStringLiteral("linux");
    const LinuxBackends found = LinuxBackends::probe(buses);
    DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app, found.logLine());
    platform.readPower = [buses] { return readUPowerContext(buses, QDateTime::currentDateTimeUtc()); };
    platform.powerSourceChanges = upowerChanges(buses);
    platform.wakeNotifications = logindWakeNotifications(buses);
    // The session "tool" is this executable itself: the locks are held in-process, so the
    // preventer's check that its tool exists always finds one.
    platform.caffeinatePath = QCoreApplication::applicationFilePath();
    platform.makeChildProcess = sleepInhibitorFactory(buses);
    // PowerDevil takes the lid switch itself and acts on it past every inhibitor.
    platform.commandRunner = lidSwitchCommandRunner(buses, makeCommandRunner(platform.commands), [buses] {
        return linuxbus::hasOwner(buses.session, powerdevil::service) ? QStringLiteral("powerDevilHandlesLid")
                                                                      : QString();
    });
    platform.notes.needsAuthorization = false;
    if (found.powerDevil)
        platform.notes.closedLidUnavailable = LocalizationKey{QT_TRID_NOOP("closedLidUnavailableKde")};
    platform.authorizationChecker = [] { return Result<bool>(true); };
    platform.authorizationGrantor = [] { return Result<>(); };
    platform.authorizationRevoker = []() -> RevokeOutcome { return Revoke::Cancelled{}; };
    platform.notifier = freedesktopNotifier(buses.session);
    return platform;
}
#endif

LivePlatform simLivePlatform(const SimPlatform &sim)
{
    sim.ensureSandbox();
    LivePlatform platform = commonLivePlatform();
    platform.name = QStringLiteral("sim");
    // Every child, caffeinate included, must find the same sandbox as the app.
    qputenv("QUORVEL_SIM_ROOT", sim.root().toLocal8Bit());
    const QString powerFile = sim.powerFile();
    platform.readPower = [powerFile] { return readSimPower(powerFile, QDateTime::currentDateTimeUtc()); };
    auto watcher = std::make_shared<SimPowerWatcher>(powerFile);
    platform.powerSourceChanges = changeSourceFromSignal(watcher.get(), &SimPowerWatcher::changed);
    platform.keepAlive.push_back(watcher);
    // Wake and display changes are files too, touched by `quorvel-sim-power --wake` and
    // `--display-change`: every change of the file is one notice.
    auto wake = std::make_shared<SimPowerWatcher>(sim.sandboxPath(simlayout::kWakeFile));
    platform.wakeNotifications = changeSourceFromSignal(wake.get(), &SimPowerWatcher::changed);
    platform.keepAlive.push_back(wake);
    auto display = std::make_shared<SimPowerWatcher>(sim.sandboxPath(simlayout::kDisplayFile));
    platform.displayChanges = changeSourceFromSignal(display.get(), &SimPowerWatcher::changed);
    platform.keepAlive.push_back(display);
    platform.caffeinatePath = sim.mapPath(platform.caffeinatePath);
    platform.commands.mapPath = [sim](const QString &path) { return sim.mapPath(path); };
    platform.commands.environment = sim.environment();
    platform.sudoers.ruleFile.path = sim.mapPath(SudoersAuthorization::ruleFilePath);
    const auto owner = SimPlatform::expectedRuleOwner();
    platform.sudoers.ruleFile.ownerId = owner.uid;
    platform.sudoers.ruleFile.groupId = owner.gid;
    const CommandEnvironment commands = platform.commands;
    platform.sudoers.runShell = [commands](const QString &line) {
        return SudoersAuthorization::runShell(line, commands);
    };
#ifndef Q_OS_MACOS
    // The desktop's notices where a session bus is named; asking for the bus without one would
    // have the bus library try to start a daemon of its own.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        platform.notifier = freedesktopNotifier(QDBusConnection::sessionBus());
#endif
    return platform;
}

LivePlatform currentLivePlatform()
{
#ifdef Q_OS_MACOS
    if (qEnvironmentVariable("QUORVEL_PLATFORM") != QLatin1String("sim"))
        return macLivePlatform();
#else
    QString why;
    if (qEnvironmentVariable("QUORVEL_PLATFORM") == QLatin1String("sim"))
        why = QStringLiteral("QUORVEL_PLATFORM=sim");
    else if (!QDBusConnection::systemBus().isConnected())
        why = QStringLiteral("no system bus");
    else if (!linuxbus::hasOwner(QDBusConnection::systemBus(), logind::service))
        why = QStringLiteral("no logind on the system bus");
    if (why.isEmpty()) {
        Localization::setDeviceWording(Localization::Device::computer);
        return linuxLivePlatform();
    }
    const QString line = QStringLiteral("running the simulated platform, reason=") + why;
    std::fprintf(stderr, "quorvel: %s\n", qPrintable(line));
    DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app, line);
#endif
    return simLivePlatform(SimPlatform::fromEnvironment());
}

std::unique_ptr<AppCoordinator> AppCoordinator::makeLive()
{
    return makeLive(currentLivePlatform());
}

std::unique_ptr<AppCoordinator> AppCoordinator::makeLive(LivePlatform platform)
{
    // The order matters: the store starts from a real snapshot, and every emitter shares
    // the one journal.
    auto store = std::make_unique<AppStateStore>(platform.readPower(), platform.clock);
    QPointer<AppStateStore> weakStore(store.get());
    auto journal =
        std::make_shared<PersistentEventJournal>(platform.journalPath, PersistentEventJournal::defaultFileCapacity);

    AppCoordinator::Parts parts;
    parts.launchAtLogin = platform.launchAtLogin;
    parts.timedController = std::make_unique<TimedSleepPreventer>(
        weakStore, platform.caffeinatePath, 0, platform.defaults, journal, platform.scheduler,
        platform.makeChildProcess ? platform.makeChildProcess : liveChildProcessFactory());
    parts.powerMonitor = std::make_unique<PowerMonitor>(weakStore, platform.readPower, platform.powerSourceChanges,
                                                        platform.lowPowerModeChanges);
    parts.alertPresenter = platform.quitAlertPresenter;
    parts.terminator = platform.terminator;
    parts.runner = platform.commandRunner ? platform.commandRunner : makeCommandRunner(platform.commands);
    parts.bundle = platform.bundle;
    parts.notes = platform.notes;
    parts.processWatching = liveProcessWatching();
    parts.sessionEndNotices = std::make_unique<SessionEndNotices>(weakStore, platform.defaults, platform.notifier);

    auto controller = std::make_shared<ClamshellKeepRunningController>(weakStore, parts.runner, journal);
    const AuthorizationManager::Checker checker = platform.authorizationChecker
                                                      ? platform.authorizationChecker
                                                      : SudoersAuthorization::makeChecker(platform.sudoers);
    auto authorization = std::make_unique<AuthorizationManager>(
        weakStore, checker,
        platform.authorizationGrantor ? platform.authorizationGrantor
                                      : SudoersAuthorization::makeGrantor(platform.sudoers),
        journal);
    parts.updateChecker = makeLiveUpdateChecker(platform.scheduler, platform.clock, platform.defaults, platform.bundle);
    parts.updateJobs = std::make_unique<UpdateJobs>(parts.updateChecker.get());

    auto safety = std::make_unique<BatterySafetyCoordinator>(
        weakStore, std::weak_ptr<ClamshellPowerControl>(controller), journal, platform.defaults);
    safety->installAsThresholdReader();

    LiveClosedLidModule::Parts moduleParts;
    moduleParts.store = weakStore;
    moduleParts.eventJournal = journal;
    moduleParts.clamshellController = controller;
    moduleParts.authorizationManager = std::move(authorization);
    moduleParts.batterySafety = std::move(safety);
    moduleParts.powerMonitor = parts.powerMonitor.get();
    moduleParts.timedController = parts.timedController.get();
    moduleParts.pmsetReader = makePmsetReader(parts.runner);
    moduleParts.revokeRevoker = platform.authorizationRevoker ? platform.authorizationRevoker
                                                              : SudoersAuthorization::makeRevoker(platform.sudoers);
    moduleParts.revokeReadback = checker;
    moduleParts.alertPresenter = platform.alertPresenter;
    moduleParts.updateChecker = parts.updateJobs.get();
    moduleParts.scheduler = platform.scheduler;
    moduleParts.displayChanges = platform.displayChanges;
    moduleParts.wakeNotifications = platform.wakeNotifications;

    parts.store = std::move(store);
    parts.eventJournal = journal;
    PowerMonitor *monitor = parts.powerMonitor.get();

    auto coordinator = std::make_unique<AppCoordinator>(std::move(parts));
    auto module = std::make_unique<LiveClosedLidModule>(std::move(moduleParts));
    monitor->setOnChange(LiveClosedLidModule::powerChangeForwarder(module.get()));
    if (!platform.keepAlive.empty()) {
        auto *keep = new KeepAlive;
        keep->objects = std::move(platform.keepAlive);
        keep->setParent(monitor);
    }
    coordinator->setClosedLidModule(std::move(module));
    return coordinator;
}

} // namespace quorvel
