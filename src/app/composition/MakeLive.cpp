#include "app/composition/LivePlatform.h"

#include "closedlid/ClosedLidModule.h"
#include "platform/sim/SimPlatform.h"
#include "platform/sim/SimPower.h"
#include "power/BatterySafetyCoordinator.h"
#include "records/DiagnosticLog.h"
#include "update/LiveUpdateChecker.h"

#include <QCoreApplication>
#include <QMetaObject>

#ifdef Q_OS_MACOS
#include "platform/mac/LaunchAtLogin.h"
#include "platform/mac/MacPower.h"
#else
#include "platform/linux/LaunchAtLogin.h"
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
    return platform;
}

LivePlatform currentLivePlatform()
{
#ifdef Q_OS_MACOS
    if (qEnvironmentVariable("QUORVEL_PLATFORM") != QLatin1String("sim"))
        return macLivePlatform();
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
    parts.runner = makeCommandRunner(platform.commands);
    parts.bundle = platform.bundle;
    parts.processWatching = liveProcessWatching();

    auto controller = std::make_shared<ClamshellKeepRunningController>(weakStore, parts.runner, journal);
    auto authorization =
        std::make_unique<AuthorizationManager>(weakStore, SudoersAuthorization::makeChecker(platform.sudoers),
                                               SudoersAuthorization::makeGrantor(platform.sudoers), journal);
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
    moduleParts.revokeRevoker = SudoersAuthorization::makeRevoker(platform.sudoers);
    moduleParts.revokeReadback = SudoersAuthorization::makeChecker(platform.sudoers);
    moduleParts.alertPresenter = platform.alertPresenter;
    moduleParts.updateChecker = parts.updateJobs.get();
    moduleParts.scheduler = platform.scheduler;

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
