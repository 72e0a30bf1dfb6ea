#include "power/BatterySafetyCoordinator.h"

#include "prefs/Preferences.h"
#include "records/DiagnosticLog.h"
#include "records/VemoEvent.h"

namespace quorvel {

namespace {

using DiagnosticLog::Category;
using DiagnosticLog::Level;

void append(EventJournal *journal, VemoEventKind kind, std::optional<SystemEvidence> evidence = std::nullopt)
{
    if (journal)
        journal->append(VemoEvent::make(std::move(kind), std::move(evidence)));
}

} // namespace

BatterySafetyCoordinator::BatterySafetyCoordinator(QPointer<AppStateStore> store,
                                                   std::weak_ptr<ClamshellPowerControl> clamshell,
                                                   std::shared_ptr<EventJournal> eventJournal,
                                                   std::shared_ptr<UserDefaults> defaults)
    : m_store(std::move(store))
    , m_clamshell(std::move(clamshell))
    , m_eventJournal(std::move(eventJournal))
    , m_defaults(std::move(defaults))
{
}

qint64 BatterySafetyCoordinator::autoExitThreshold(const UserDefaults &defaults)
{
    // One reading rule for the safety stop and the settings window alike.
    return Preferences::autoExitThreshold(defaults);
}

qint64 BatterySafetyCoordinator::autoExitThreshold() const
{
    return m_defaults ? autoExitThreshold(*m_defaults) : defaultThreshold;
}

void BatterySafetyCoordinator::installAsThresholdReader() const
{
    if (!m_store)
        return;
    // The reader holds the defaults, not the coordinator, so it stays valid on its own.
    std::shared_ptr<UserDefaults> defaults = m_defaults;
    m_store->setThresholdReader(
        [defaults]() -> qint64 { return defaults ? autoExitThreshold(*defaults) : defaultThreshold; });
}

void BatterySafetyCoordinator::evaluate(const PowerContext &power)
{
    const std::shared_ptr<ClamshellPowerControl> clamshell = m_clamshell.lock();
    if (!m_store || !clamshell)
        return;
    if (!isClamshellRunning(m_store->state().clamshell))
        return;

    const bool wasWarning = is<Clamshell::LowBatteryWarning>(m_store->state().clamshell);
    switch (power.powerSource) {
    case PowerSource::unknown: return;
    case PowerSource::powerAdapter:
        clamshell->updatePowerSource(power);
        if (wasWarning)
            append(m_eventJournal.get(), EventKind::LowBatteryWarningCleared{});
        return;
    case PowerSource::battery:
        if (!power.batteryLevel)
            return; // missing data never stops closed-lid mode
        break;
    }

    const qint64 level = *power.batteryLevel;
    if (level <= autoExitThreshold()) {
        clamshell->safetyStop(level);
        // A failed restore has already been recorded by the controller (reason failed).
        if (m_store && is<Clamshell::SafetyStopped>(m_store->state().clamshell)) {
            DiagnosticLog::log(Level::error, Category::battery,
                               QStringLiteral("safety stop triggered, battery=%1").arg(level));
            append(m_eventJournal.get(), EventKind::SafetyStopTriggered{level},
                   SystemEvidence{std::nullopt, PowerSource::battery, level});
        }
        return;
    }

    clamshell->updatePowerSource(power);
    if (!m_store)
        return;
    m_store->applyBatteryLevel(level);
    if (const auto *warning = std::get_if<Clamshell::LowBatteryWarning>(&m_store->state().clamshell)) {
        // Every evaluation inside the band is told again, with its own level.
        DiagnosticLog::log(Level::warning, Category::battery,
                           QStringLiteral("low battery warning entered, level=%1").arg(warning->level));
        append(m_eventJournal.get(), EventKind::LowBatteryWarningEntered{warning->level});
    } else if (wasWarning) {
        DiagnosticLog::log(Level::info, Category::battery, QStringLiteral("low battery warning cleared"));
        append(m_eventJournal.get(), EventKind::LowBatteryWarningCleared{});
    }
}

} // namespace quorvel
