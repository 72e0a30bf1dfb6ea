#pragma once

#include "support/Notifier.h"

#include <QDBusConnection>

namespace quorvel {

namespace notifications {
inline const QString service = QStringLiteral("org.freedesktop.Notifications");
inline const QString path = QStringLiteral("/org/freedesktop/Notifications");
inline const QString interface = QStringLiteral("org.freedesktop.Notifications");
// Long enough to be read on returning to the desk; the service keeps it in its list after.
inline constexpr int expireTimeoutMs = 10000;
} // namespace notifications

// Notices through the freedesktop notification service on `bus`. Each call is sent without
// waiting for the answer, so a slow or hung service never holds up the menu. A newer notice
// replaces the one still shown instead of stacking up under it. Without a bus, or without a
// service on it, notices are dropped with one log line for the whole process.
Notifier freedesktopNotifier(QDBusConnection bus);

} // namespace quorvel
