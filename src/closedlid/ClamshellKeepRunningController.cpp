#include "closedlid/ClamshellKeepRunningController.h"

#include "records/DiagnosticLog.h"

namespace quorvel {

namespace {

void logClamshell(DiagnosticLog::Level level, const QString &message)
{
    DiagnosticLog::log(level, DiagnosticLog::Category::clamshell, message);
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString powerSourceText(PowerSource source)
{
    switch (source) {
    case PowerSource::battery: return QStringLiteral("battery");
    case PowerSource::powerAdapter: return QStringLiteral("powerAdapter");
    case PowerSource::unknown: break;
    }
    return QStringLiteral("unknown");
}

template <class T> QString valueOrNil(const std::optional<T> &value)
{
    return value ? QString::number(*value) : QStringLiteral("nil");
}

} // namespace

ClamshellKeepRunningController::ClamshellKeepRunningController(QPointer<AppStateStore> store, Runner runner,
                                                               std::shared_ptr<EventJournal> eventJournal)
    : m_store(std::move(store))
    , m_runner(std::move(runner))
    , m_eventJournal(std::move(eventJournal))
{
}

bool ClamshellKeepRunningController::isPowerSuitable(const PowerContext &power)
{
    switch (power.powerSource) {
    case PowerSource::powerAdapter: return true;
    case PowerSource::battery: return power.batteryLevel.has_value();
    case PowerSource::unknown: return false;
    }
    return false;
}

std::optional<int> ClamshellKeepRunningController::readBack() const
{
    return ClamshellCapabilityProbe::parseSleepDisabled(
        m_runner(ClamshellCapabilityProbe::readSettingsCommand()).stdout);
}

std::optional<ClamshellKeepRunningController::Unproven> ClamshellKeepRunningController::applyAndProve()
{
    // Both commands always run: the read-back is the proof, whatever the apply's status says.
    const CommandResult applied = m_runner(ClamshellCapabilityProbe::applyOverrideCommand());
    const std::optional<int> readback = readBack();
    if (applied.exitCode != 0)
        return Unproven{QStringLiteral("setFailed"), VemoError::systemCommandFailed};
    if (readback != 1)
        return Unproven{QStringLiteral("readbackMismatch"), VemoError::readbackMismatch};
    return std::nullopt;
}

void ClamshellKeepRunningController::append(VemoEventKind kind, std::optional<SystemEvidence> evidence)
{
    if (m_eventJournal)
        m_eventJournal->append(VemoEvent::make(std::move(kind), std::move(evidence)));
}

void ClamshellKeepRunningController::applyOverride()
{
    if (!m_store)
        return;
    const VemoState &state = m_store->state();
    if (!is<Clamshell::Starting>(state.clamshell) || !is<Authorization::Granted>(state.authorization))
        return;

    const PowerContext power = state.power;
    if (!isPowerSuitable(power)) {
        // Nothing ran, but the user asked and deserves a reason on record: an unknown source
        // (no power information at all, or a report that could not be read) or a battery
        // whose level is unknown.
        logClamshell(DiagnosticLog::Level::error,
                     QStringLiteral("clamshell override not applied, reason=clamshellPowerUnsuitable, powerSource=%1, "
                                    "battery=%2")
                         .arg(powerSourceText(power.powerSource), valueOrNil(power.batteryLevel)));
        m_store->setClamshellFailed(VemoError::clamshellPowerUnsuitable);
        return;
    }

    // The restore below undoes an apply that "failed" but still switched the setting.
    if (const std::optional<Unproven> unproven = applyAndProve()) {
        logClamshell(DiagnosticLog::Level::error,
                     QStringLiteral("clamshell override apply failed, verdict=") + unproven->verdict);
        const bool restored = restoreOverride();
        // The store may have gone while the commands ran.
        if (m_store)
            m_store->setClamshellFailed(restored ? unproven->error : VemoError::clamshellRestoreFailed);
        return;
    }

    if (m_store)
        m_store->setClamshellRunning(power);
    const bool onAdapter = power.powerSource == PowerSource::powerAdapter;
    logClamshell(DiagnosticLog::Level::info,
                 QStringLiteral("clamshell override applied, sleepDisabled=1, onAdapter=%1, battery=%2")
                     .arg(boolText(onAdapter), valueOrNil(power.batteryLevel)));
    append(EventKind::ClamshellStarted{onAdapter, power.batteryLevel},
           SystemEvidence{qint64(1), power.powerSource, power.batteryLevel});
}

bool ClamshellKeepRunningController::restoreOverride()
{
    const CommandResult restored = m_runner(ClamshellCapabilityProbe::restoreDefaultCommand());
    const std::optional<int> readback = readBack();
    const bool back = restored.exitCode == 0 && readback == 0;
    if (back)
        logClamshell(DiagnosticLog::Level::info,
                     QStringLiteral("clamshell override restored (disablesleep=0), readback=0"));
    else
        logClamshell(DiagnosticLog::Level::error,
                     QStringLiteral("clamshell override restore failed, readback=") + valueOrNil(readback));
    return back;
}

void ClamshellKeepRunningController::recordRestoreFailure()
{
    if (m_store)
        m_store->keepClamshellRunning(VemoError::clamshellRestoreFailed, m_store->state().power);
    append(EventKind::ClamshellStopped{ClamshellStopReason::failed});
}

void ClamshellKeepRunningController::stop()
{
    if (!m_store || !is<Clamshell::Stopping>(m_store->state().clamshell))
        return;
    if (!restoreOverride()) {
        recordRestoreFailure();
        return;
    }
    if (m_store)
        m_store->setClamshellOff();
    append(EventKind::ClamshellStopped{ClamshellStopReason::manual});
}

bool ClamshellKeepRunningController::stopForQuit()
{
    if (!m_store || !isClamshellRunning(m_store->state().clamshell))
        return true;
    if (!restoreOverride()) {
        recordRestoreFailure();
        return false;
    }
    if (m_store)
        m_store->setClamshellOff();
    append(EventKind::ClamshellStopped{ClamshellStopReason::quit});
    return true;
}

void ClamshellKeepRunningController::safetyStop(qint64 level)
{
    if (!m_store || !isClamshellRunning(m_store->state().clamshell))
        return;
    if (!restoreOverride()) {
        recordRestoreFailure();
        return;
    }
    if (m_store)
        m_store->setSafetyStopped(level);
    append(EventKind::ClamshellStopped{ClamshellStopReason::safety});
}

void ClamshellKeepRunningController::reapplyOverride(const QString &trigger)
{
    if (!m_store || !isClamshellRunning(m_store->state().clamshell))
        return;
    const std::optional<Unproven> unproven = applyAndProve();
    if (!unproven) {
        // The history keeps the one session it has: a second start would split it, and to the
        // user the mode never stopped. The log line is the record of the repair.
        logClamshell(DiagnosticLog::Level::info,
                     QStringLiteral("clamshell override re-applied, sleepDisabled=1, trigger=") + trigger);
        return;
    }
    logClamshell(
        DiagnosticLog::Level::error,
        QStringLiteral("clamshell override re-apply failed, verdict=%1, trigger=%2").arg(unproven->verdict, trigger));
    // As after a failed start: an apply that "failed" may still have switched the setting.
    const bool restored = restoreOverride();
    if (m_store)
        m_store->setClamshellFailed(restored ? unproven->error : VemoError::clamshellRestoreFailed);
    // The mode no longer keeps the machine awake: its session ends here, as failed.
    append(EventKind::ClamshellStopped{ClamshellStopReason::failed});
}

void ClamshellKeepRunningController::updatePowerSource(const PowerContext &power)
{
    if (!m_store || !isClamshellRunning(m_store->state().clamshell))
        return;
    if (power.powerSource == PowerSource::unknown)
        return;
    if (power.powerSource == PowerSource::battery && !power.batteryLevel)
        return;
    m_store->setClamshellRunning(power);
}

} // namespace quorvel
