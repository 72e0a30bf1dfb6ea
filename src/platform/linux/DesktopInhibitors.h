#pragma once

#include "platform/linux/LinuxBus.h"

#include <optional>

namespace quorvel {

// The session-bus inhibitors of the desktops. Each returns a cookie that only the same bus
// connection may release; the service drops it by itself when our connection closes.
namespace gnomesession {
inline const QString service = QStringLiteral("org.gnome.SessionManager");
// gnome-session's flags: 4 keeps the machine from suspending, 8 from going idle (which is what
// keeps the screen on).
inline constexpr quint32 suspendFlag = 4;
inline constexpr quint32 idleFlag = 8;
std::optional<quint32> inhibit(const QDBusConnection &bus, const QString &appId, quint32 flags, const QString &reason);
void uninhibit(const QDBusConnection &bus, quint32 cookie);
} // namespace gnomesession

namespace powerdevil {
inline const QString service = QStringLiteral("org.kde.Solid.PowerManagement");
// PolicyAgent's types: 1 interrupts the session (sleep), 4 changes the screen settings.
inline constexpr quint32 interruptSession = 1;
inline constexpr quint32 changeScreenSettings = 4;
std::optional<quint32> addInhibition(const QDBusConnection &bus, quint32 types, const QString &app,
                                     const QString &reason);
void releaseInhibition(const QDBusConnection &bus, quint32 cookie);
} // namespace powerdevil

namespace screensaver {
inline const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
std::optional<quint32> inhibit(const QDBusConnection &bus, const QString &app, const QString &reason);
void uninhibit(const QDBusConnection &bus, quint32 cookie);
} // namespace screensaver

} // namespace quorvel
