#pragma once

#include "platform/linux/LinuxBus.h"
#include "power/PowerChangeSource.h"
#include "state/VemoState.h"

#include <QDateTime>

namespace quorvel {

namespace upower {
inline const QString service = QStringLiteral("org.freedesktop.UPower");
} // namespace upower
namespace powerprofiles {
inline const QString service = QStringLiteral("net.hadess.PowerProfiles");
} // namespace powerprofiles

// A snapshot from UPower's display device (the machine's combined battery) and the manager's
// OnBattery; no battery present, or a device that is not a battery, reads as the power adapter.
// Low-power mode is power-profiles-daemon's "power-saver" profile. Without UPower on the bus
// the kernel's power supplies are read instead.
PowerContext readUPowerContext(const linuxbus::Buses &buses, const QDateTime &now);

// PropertiesChanged of the display device, the manager and power-profiles-daemon, and UPower
// coming or going on the bus. The services send one signal per property, so a burst (level,
// state, time to empty) arrives as one notification on the next turn of the event loop.
PowerChangeSource upowerChanges(linuxbus::Buses buses);

} // namespace quorvel
