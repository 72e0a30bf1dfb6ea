#pragma once

#include "platform/linux/LinuxBus.h"
#include "power/PowerChangeSource.h"

namespace quorvel {

// logind's PrepareForSleep(false) on the system bus: the machine has just woken. The signal
// with true (going to sleep) is not a notice: nothing can be repaired before the sleep.
PowerChangeSource logindWakeNotifications(linuxbus::Buses buses);

} // namespace quorvel
