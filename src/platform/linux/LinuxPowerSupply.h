#pragma once

#include "state/VemoState.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace quorvel {

inline constexpr auto linuxPowerSupplyRoot = "/sys/class/power_supply";

// The kernel's power supplies under `root` as power-source descriptions, in name order: one per
// system battery (peripheral batteries and absent slots are left out), or, on a machine without
// one, a single entry for an online mains supply. A battery's state comes from the mains-type
// supplies' "online" flags when there are any, otherwise from its own "status".
QVariantList linuxPowerSourceDescriptions(const QString &root = QLatin1String(linuxPowerSupplyRoot));

// A snapshot of the real machine. Linux has no low-power-mode flag to match, so it reads false.
PowerContext readLinuxPowerContext(const QDateTime &now, const QString &root = QLatin1String(linuxPowerSupplyRoot));

} // namespace quorvel
