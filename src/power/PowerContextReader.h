#pragma once

#include "state/VemoState.h"

#include <QDateTime>
#include <QVariant>

namespace quorvel {

// The keys of one power-source description, as the platform's power-source service spells them.
namespace PowerSourceKey {
inline constexpr auto state = "Power Source State";
inline constexpr auto currentCapacity = "Current Capacity";
inline constexpr auto maxCapacity = "Max Capacity";
} // namespace PowerSourceKey

// The state texts that decide a source; any other text decides nothing.
namespace PowerSourceStateText {
inline constexpr auto acPower = "AC Power";
inline constexpr auto batteryPower = "Battery Power";
} // namespace PowerSourceStateText

// Turns the platform's power-source descriptions into one snapshot. Pure: every platform reader
// (IOKit, sysfs, the simulated file) only gathers `sources` and hands them here.
//
// `sources` is the platform's list in its own order. Each entry is a QVariantMap under the
// keys above, or anything else (an invalid QVariant for "no description", a value that is not
// a table) which is skipped. A capacity counts when it is an integer or a floating-point number
// (its integer value, truncated); text such as "45" does not. An empty list reads as a machine
// with no power-source information.
PowerContext readPowerContext(const QVariantList &sources, bool lowPowerModeEnabled, const QDateTime &now);

// current / max as a percent: halves rounded away from zero, clamped to 0...100. `max` >= 1.
qint64 batteryPercent(qint64 current, qint64 max);

} // namespace quorvel
