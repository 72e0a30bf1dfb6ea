#include "app/composition/AppCoordinator.h"

#include "records/DiagnosticLog.h"
#include "ui/Presentation.h"

#include <QStringList>

namespace quorvel {

QList<ResidualProcess> parsePgrepOutput(const QString &output)
{
    QList<ResidualProcess> found;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // Split at the first blank after the pid; leading blanks are skipped, and the rest
        // of the line (whatever blanks it starts with) is the command.
        qsizetype start = 0;
        while (start < line.size() && line.at(start) == QLatin1Char(' '))
            ++start;
        const qsizetype blank = line.indexOf(QLatin1Char(' '), start);
        if (start == line.size() || blank < 0)
            continue;
        const QString command = line.mid(blank + 1);
        if (command.isEmpty())
            continue;
        QString pidText = line.mid(start, blank - start);
        if (pidText.startsWith(QLatin1Char('+')))
            pidText.remove(0, 1);
        if (pidText.isEmpty() || pidText.startsWith(QLatin1Char('+')))
            continue;
        bool ok = false;
        const int pid = pidText.toInt(&ok, 10);
        // toInt accepts surrounding white space; a pid piece never has any.
        if (!ok || pidText.trimmed() != pidText)
            continue;
        found.append({pid, command});
    }
    return found;
}

AppCoordinator::AppCoordinator(Parts parts)
    : m_parts(std::move(parts))
    , m_binder(std::make_unique<SessionBinder>(QPointer<AppStateStore>(m_parts.store.get()), *m_parts.timedController,
                                               m_parts.processWatching))
{
}

AppCoordinator::~AppCoordinator()
{
    // The module points at the preventer, the power monitor and the store: it goes first.
    m_closedLidModule.reset();
    m_binder.reset();
}

void AppCoordinator::setClosedLidModule(std::unique_ptr<ClosedLidModule> module)
{
    m_closedLidModule = std::move(module);
}

void AppCoordinator::record(VemoEventKind kind, std::optional<SystemEvidence> evidence)
{
    m_parts.eventJournal->append(VemoEvent::make(std::move(kind), std::move(evidence)));
}

bool AppCoordinator::isBlocked(const VemoState &state) const
{
    return isClamshellRunning(state.clamshell) || state.startupResidual;
}

void AppCoordinator::start()
{
    m_parts.powerMonitor->refresh();
    m_parts.powerMonitor->start();
    if (m_closedLidModule) {
        // A failing check publishes nothing new; the menu shows what the state says.
        (void)m_closedLidModule->authorizationManager().verify();
        if (m_parts.updateChecker)
            m_parts.updateChecker->startAutoCheck();
    }
    const QString version = m_parts.bundle.shortVersionString.value_or(QStringLiteral("0"));
    const QString build = m_parts.bundle.bundleVersion.value_or(QStringLiteral("0"));
    record(EventKind::AppLaunched{version, build});
}

void AppCoordinator::detectResidualCaffeinate()
{
    if (!m_parts.runner)
        return;
    const auto result =
        m_parts.runner({QStringLiteral("/usr/bin/pgrep"), {QStringLiteral("-l"), QStringLiteral("caffeinate")}});
    const auto processes = parsePgrepOutput(result.stdout);
    if (processes.isEmpty())
        return;
    QStringList pids;
    for (const auto &p : processes)
        pids << QString::number(p.pid);
    DiagnosticLog::log(
        DiagnosticLog::Level::warning, DiagnosticLog::Category::startup,
        QStringLiteral("residual caffeinate detected, count=%1, pids=%2").arg(processes.size()).arg(pids.join(',')));
}

void AppCoordinator::runStartupChecks()
{
    detectResidualCaffeinate();
    if (m_closedLidModule)
        m_closedLidModule->detectStartupResidual();
}

void AppCoordinator::startTimed(qint64 seconds)
{
    AppStateStore &store = *m_parts.store;
    VemoState copy = store.state();
    const auto &session = copy.timedSession;
    if (seconds >= 1
        && (is<TimedSession::Off>(session) || is<TimedSession::Ended>(session) || is<TimedSession::Failed>(session))
        && !isBlocked(copy))
        copy.timedSession = TimedSession::Starting{};
    store.setState(copy);
    if (is<TimedSession::Starting>(store.state().timedSession))
        m_parts.timedController->startTimed(seconds);
}

void AppCoordinator::startPermanent()
{
    AppStateStore &store = *m_parts.store;
    VemoState copy = store.state();
    if (isBlocked(copy))
        return;
    const auto &session = copy.timedSession;
    if (is<TimedSession::Off>(session) || is<TimedSession::Ended>(session) || is<TimedSession::Failed>(session))
        copy.timedSession = TimedSession::Starting{};
    store.setState(copy);
    if (is<TimedSession::Starting>(store.state().timedSession))
        m_parts.timedController->startPermanent();
}

void AppCoordinator::stopTimed()
{
    AppStateStore &store = *m_parts.store;
    VemoState copy = store.state();
    const auto &session = copy.timedSession;
    if (is<TimedSession::Running>(session) || is<TimedSession::Starting>(session)
        || is<TimedSession::RunningPermanent>(session))
        copy.timedSession = TimedSession::Stopping{};
    store.setState(copy);
    if (is<TimedSession::Stopping>(store.state().timedSession))
        m_parts.timedController->stop();
}

void AppCoordinator::setDisplayAwake(bool enabled)
{
    AppStateStore &store = *m_parts.store;
    VemoState copy = store.state();
    if (enabled) {
        const bool displayIdle =
            is<DisplayAwake::Off>(copy.displayAwake) || is<DisplayAwake::Failed>(copy.displayAwake);
        const bool sessionRuns =
            is<TimedSession::Running>(copy.timedSession) || is<TimedSession::RunningPermanent>(copy.timedSession);
        if (displayIdle && sessionRuns && !isBlocked(copy))
            copy.displayAwake = DisplayAwake::Starting{};
        store.setState(copy);
        if (is<DisplayAwake::Starting>(store.state().displayAwake))
            m_parts.timedController->setDisplayAwake(true);
    } else {
        if (is<DisplayAwake::Starting>(copy.displayAwake) || is<DisplayAwake::On>(copy.displayAwake))
            copy.displayAwake = DisplayAwake::Stopping{};
        store.setState(copy);
        if (is<DisplayAwake::Stopping>(store.state().displayAwake))
            m_parts.timedController->setDisplayAwake(false);
    }
}

bool AppCoordinator::ask(const QuitAlert &alert) const
{
    return m_parts.alertPresenter && m_parts.alertPresenter(alert) == alertFirstButton;
}

void AppCoordinator::quitNow(bool sleepWarningShown)
{
    // Quitting must never leave the machine unable to sleep without the user knowing. The
    // closed-lid restore runs first, before anything else is torn down, so that a user who
    // stays after a failed restore finds every other mode as it was.
    if (!sleepWarningShown && m_closedLidModule && !m_closedLidModule->prepareForQuit()) {
        DiagnosticLog::log(DiagnosticLog::Level::error, DiagnosticLog::Category::app,
                           QStringLiteral("quit would leave sleep disabled, asking the user"));
        const QuitAlert alert{qtTrId("confirmQuit"), qtTrId("quitRestoreFailedMessage"), qtTrId("forceQuit"),
                              qtTrId("cancel")};
        if (!ask(alert))
            return;
    }
    cleanupAll();
    if (m_parts.terminator)
        m_parts.terminator();
}

void AppCoordinator::requestQuit()
{
    const VemoState state = m_parts.store->state();
    const QList<QuitBlocker> blockers = Presentation::quitBlockers(state);
    if (!blockers.isEmpty()) {
        record(EventKind::QuitRequested{blockers});
        const auto dialog = Presentation::quitDialog(state);
        if (!dialog) {
            quitNow(false);
            return;
        }
        const QuitAlert alert{dialog->title, dialog->bodyLines.join(QLatin1Char('\n')), dialog->confirmLabel,
                              dialog->cancelLabel};
        if (ask(alert))
            quitNow(false);
        return;
    }
    // Quitting would leave sleep disabled with nothing able to switch it back: the user decides.
    if ((state.startupResidual && !is<Authorization::Granted>(state.authorization))
        || (m_closedLidModule && m_closedLidModule->sleepStaysDisabledAtQuit())) {
        record(EventKind::QuitRequested{});
        const QuitAlert alert{qtTrId("confirmQuit"),
                              qtTrId("cannotClearSleepPrevention") + QLatin1Char('\n')
                                  + qtTrId("suggestManualCloseOrAuth"),
                              qtTrId("forceQuit"), qtTrId("cancel")};
        if (ask(alert))
            quitNow(true);
        return;
    }
    quitNow(false);
}

void AppCoordinator::cleanupAll()
{
    QList<ModuleId> failed;
    if (m_closedLidModule && !m_closedLidModule->prepareForQuit())
        failed.append(ModuleId::clamshell);
    const bool timedClean = m_parts.timedController->cleanup();
    const bool powerClean = m_parts.powerMonitor->stop();
    if (!timedClean)
        failed.append(ModuleId::timed);
    if (!powerClean)
        failed.append(ModuleId::powerMonitor);
    m_lastCleanupWasClean = failed.isEmpty();
    m_lastCleanupFailedModules = failed;

    if (m_cleanupEventEmitted)
        return;
    m_cleanupEventEmitted = true;
    // The clean-up events are the one place that carries an evidence record with nothing in it.
    const SystemEvidence empty;
    if (!failed.isEmpty()) {
        QStringList names;
        for (ModuleId id : failed)
            names << rawValue(id);
        DiagnosticLog::log(DiagnosticLog::Level::error, DiagnosticLog::Category::app,
                           QStringLiteral("cleanup partial, failedModules=") + names.join(QLatin1Char(',')));
        record(EventKind::CleanupPartial{failed}, empty);
    } else {
        DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                           QStringLiteral("cleanup completed, failedModules=none"));
        record(EventKind::CleanupCompleted{}, empty);
    }
}

void AppCoordinator::handleWillTerminate()
{
    cleanupAll();
    if (m_appQuitLogged)
        return;
    m_appQuitLogged = true;
    record(EventKind::AppQuit{m_lastCleanupWasClean});
}

void AppCoordinator::handleWillPowerOff()
{
    cleanupAll();
}

void AppCoordinator::handleTerminationSignal(const QString &signalName)
{
    DiagnosticLog::log(DiagnosticLog::Level::info, DiagnosticLog::Category::app,
                       QStringLiteral("termination signal received, signal=") + signalName);
    // Nobody can be asked: the clean-up runs at once, and a restore that failed is on record
    // as a partial clean-up.
    cleanupAll();
    if (m_parts.terminator)
        m_parts.terminator();
}

} // namespace quorvel
