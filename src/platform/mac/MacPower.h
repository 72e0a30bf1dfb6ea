#pragma once

#include "power/PowerChangeSource.h"
#include "state/VemoState.h"

#include <QDateTime>
#include <QVariant>

namespace quorvel {

// IOKit's power sources as descriptions for readPowerContext: one QVariantMap per source with
// the state text and the two capacities as the service reports them; a source without a
// dictionary description is an invalid QVariant. Empty when the service has no information.
QVariantList macPowerSourceDescriptions();

// NSProcessInfo's low-power-mode flag (false before macOS 12, which has none).
bool macLowPowerModeEnabled();

// The live snapshot: the two readers above through readPowerContext.
PowerContext readMacPowerContext(const QDateTime &now);

// IOPSNotificationCreateRunLoopSource on the main run loop, in its common modes.
PowerChangeSource macPowerSourceChanges();

// NSProcessInfoPowerStateDidChangeNotification, delivered on the main queue.
PowerChangeSource macLowPowerModeChanges();

} // namespace quorvel
