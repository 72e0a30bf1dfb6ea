#pragma once

#include "idle/ChildProcess.h"
#include "platform/linux/LinuxBus.h"

#include <QString>

namespace quorvel {

// The names the Linux locks carry, as logind, the desktops and `busctl` show them.
namespace LinuxLockNames {
inline const QString who = QStringLiteral("Quorvel");
inline const QString appId = QStringLiteral("app.quorvel.Quorvel");
inline const QString sleepReason = QStringLiteral("Keeping the computer awake");
inline const QString displayReason = QStringLiteral("Keeping the display on");
} // namespace LinuxLockNames

// What plays caffeinate's part on Linux: not a child, but the set of locks one session holds,
// behind the same handle. The caffeinate arguments decide what is taken ("-d" adds the display
// locks, "-t N" ends the session with status 0 after N seconds); the locks live exactly as long
// as the handle says the "child" runs. Its end is reported like a child's: 15 after terminate(),
// 9 after kill(), 0 at the end of "-t", and 1 when a service that holds one of our locks leaves
// the bus mid-session, so the preventer shows the failure of a tool that died. Whatever ends the
// session releases every lock at once; a process that dies loses them all to the system anyway.
ChildProcessFactory sleepInhibitorFactory(linuxbus::Buses buses);

} // namespace quorvel
