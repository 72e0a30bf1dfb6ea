#include "power/BatterySafetyCoordinator.h"

#include "records/DiagnosticLog.h"
#include "records/VemoEvent.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel {

namespace {

using DiagnosticLog::Category;
using DiagnosticLog::Level;

std::optional<qint64> storedInteger(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return value.toLongLong();
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return qint64(std::min<qulonglong>(value.toULongLong(), qulonglong(std::numeric_limits<qint64>::max())));
    case QMetaType::Double:
    case QMetaType::Float: {
        // A property-list number written as a real still counts when it is a whole number.
        const double d = value.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d))
            return std::nullopt;
        return qint64(std::clamp(d, -1e18, 1e18));
    }
    case QMetaType::QString: {
        static const QRegularExpression whole(QStringLiteral("^[+-]?[0-9]+$"));
        const QString text = value.toString();
        if (!whole.match(text).hasMatch())
            return std::nullopt;
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        if (ok)
            return n;
        // Too many digits for 64 bits is still a whole number: its sign says which bound.
        return text.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min()
                                                 : std::numeric_limits<qint64>::max();
    }
    default: return std::nullopt;
    }
}

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
    const std::optional<qint64> stored = storedInteger(defaults.value(QLatin1String(thresholdKey)));
    if (!stored)
        return defaultThreshold;
    return std::clamp(*stored, minimumThreshold, maximumThreshold);
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
