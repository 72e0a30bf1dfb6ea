#pragma once

#include "closedlid/SystemCommands.h"
#include "platform/linux/LinuxBus.h"

#include <functional>

namespace quorvel {

// Closed-lid mode on Linux: a logind "handle-lid-switch:sleep" block lock stands for
// "disablesleep 1". The closed-lid controller keeps speaking its three commands; this runner
// answers them against logind and hands every other command to `fallback`:
//   apply   -> take the lock (kept once; a second apply keeps the one held while logind still
//              lists it, and takes a new one when it does not), status 0 or 1
//   restore -> close it, status 0
//   read    -> logind's ListInhibitors, reported in the one line the read-back parser knows
//              ("SleepDisabled 1" when logind lists our lock, "0" when it does not); a list
//              that cannot be read gives status 1 and no text, which proves nothing.
// `refuseReason`, when it returns text, makes apply fail without asking logind: the desktop
// holds the lid itself (KDE), and a lock would only pretend.
CommandRunner lidSwitchCommandRunner(linuxbus::Buses buses, CommandRunner fallback,
                                     std::function<QString()> refuseReason = {});

// The reason our lid lock carries: it names this process, so the proof cannot be fooled by
// another Quorvel's lock (another user's, say).
QString lidLockReason();

} // namespace quorvel
