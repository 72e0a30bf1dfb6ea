#include "platform/linux/DesktopInhibitors.h"

namespace quorvel {

namespace {

std::optional<quint32> cookieOf(const QDBusMessage &reply)
{
    if (!linuxbus::succeeded(reply) || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const quint32 cookie = reply.arguments().constFirst().toUInt(&ok);
    return ok ? std::optional<quint32>(cookie) : std::nullopt;
}

} // namespace

namespace gnomesession {

const QString path = QStringLiteral("/org/gnome/SessionManager");

std::optional<quint32> inhibit(const QDBusConnection &bus, const QString &appId, quint32 flags, const QString &reason)
{
    // The second argument is a toplevel X window id; an agent without a window passes 0.
    return cookieOf(
        linuxbus::call(bus, service, path, service, QStringLiteral("Inhibit"), {appId, quint32(0), reason, flags}));
}

void uninhibit(const QDBusConnection &bus, quint32 cookie)
{
    linuxbus::call(bus, service, path, service, QStringLiteral("Uninhibit"), {cookie});
}

} // namespace gnomesession

namespace powerdevil {

const QString path = QStringLiteral("/org/kde/Solid/PowerManagement/PolicyAgent");
const QString interface = QStringLiteral("org.kde.Solid.PowerManagement.PolicyAgent");

std::optional<quint32> addInhibition(const QDBusConnection &bus, quint32 types, const QString &app,
                                     const QString &reason)
{
    return cookieOf(
        linuxbus::call(bus, service, path, interface, QStringLiteral("AddInhibition"), {types, app, reason}));
}

void releaseInhibition(const QDBusConnection &bus, quint32 cookie)
{
    linuxbus::call(bus, service, path, interface, QStringLiteral("ReleaseInhibition"), {cookie});
}

} // namespace powerdevil

namespace screensaver {

const QString path = QStringLiteral("/org/freedesktop/ScreenSaver");

std::optional<quint32> inhibit(const QDBusConnection &bus, const QString &app, const QString &reason)
{
    return cookieOf(linuxbus::call(bus, service, path, service, QStringLiteral("Inhibit"), {app, reason}));
}

void uninhibit(const QDBusConnection &bus, quint32 cookie)
{
    linuxbus::call(bus, service, path, service, QStringLiteral("UnInhibit"), {cookie});
}

} // namespace screensaver

} // namespace quorvel
