#include "power/PowerContextReader.h"

#include <QVariantMap>
#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel {

namespace {

std::optional<qint64> integerEntry(const QVariantMap &description, const char *key)
{
    const auto it = description.constFind(QLatin1String(key));
    if (it == description.constEnd())
        return std::nullopt;
    const QVariant &value = *it;
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return value.toLongLong();
    case QMetaType::ULongLong: {
        // Saturate rather than wrap: a huge unsigned count must not turn negative.
        const qulonglong raw = value.toULongLong();
        return raw > qulonglong(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max() : qint64(raw);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        // A number object answers with its integer value; NaN and infinities have none.
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return std::nullopt;
        const double truncated = std::trunc(d);
        if (truncated >= 9.2e18)
            return std::numeric_limits<qint64>::max();
        if (truncated <= -9.2e18)
            return std::numeric_limits<qint64>::min();
        return qint64(truncated);
    }
    default: return std::nullopt;
    }
}

std::optional<PowerSource> stateEntry(const QVariantMap &description)
{
    const auto it = description.constFind(QLatin1String(PowerSourceKey::state));
    if (it == description.constEnd() || it->metaType().id() != QMetaType::QString)
        return std::nullopt;
    const QString text = it->toString();
    if (text == QLatin1String(PowerSourceStateText::acPower))
        return PowerSource::powerAdapter;
    if (text == QLatin1String(PowerSourceStateText::batteryPower))
        return PowerSource::battery;
    return std::nullopt;
}

} // namespace

qint64 batteryPercent(qint64 current, qint64 max)
{
    // std::round rounds halves away from zero; clamping in floating point keeps a huge ratio
    // from overflowing the conversion.
    const double percent = std::round(double(current) / double(max) * 100.0);
    return qint64(std::clamp(percent, 0.0, 100.0));
}

PowerContext readPowerContext(const QVariantList &sources, bool lowPowerModeEnabled, const QDateTime &now)
{
    PowerContext ctx;
    ctx.isLowPowerModeEnabled = lowPowerModeEnabled;
    ctx.updatedAt = now;

    // The first source that tells something decides: capacities win outright, a state alone
    // ends the search without a level.
    for (const QVariant &entry : sources) {
        if (entry.metaType().id() != QMetaType::QVariantMap)
            continue;
        const QVariantMap description = entry.toMap();
        const std::optional<PowerSource> state = stateEntry(description);
        const std::optional<qint64> current = integerEntry(description, PowerSourceKey::currentCapacity);
        const std::optional<qint64> max = integerEntry(description, PowerSourceKey::maxCapacity);
        if (current && max && *max >= 1) {
            ctx.powerSource = state.value_or(PowerSource::unknown);
            ctx.batteryLevel = batteryPercent(*current, *max);
            return ctx;
        }
        if (state) {
            ctx.powerSource = *state;
            return ctx;
        }
    }
    return ctx;
}

} // namespace quorvel
