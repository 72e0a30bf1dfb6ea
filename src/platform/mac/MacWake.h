#pragma once

#include "power/PowerChangeSource.h"

namespace quorvel {

// NSWorkspaceDidWakeNotification, delivered on the main queue: the machine woke from sleep.
PowerChangeSource macWakeNotifications();

} // namespace quorvel
