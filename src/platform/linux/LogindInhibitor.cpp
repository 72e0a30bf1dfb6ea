#include "platform/linux/LogindInhibitor.h"

#include <QDBusArgument>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>

namespace quorvel::logind {

namespace {
const QString path = QStringLiteral("/org/freedesktop/login1");
const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

linuxbus::UniqueFd inhibit(const QDBusConnection &bus, const QString &what, const QString &who, const QString &why,
                           QString *error)
{
    linuxbus::UniqueFd lock;
    {
        const QDBusMessage reply = linuxbus::call(bus, service, path, manager, QStringLiteral("Inhibit"),
                                                  {what, who, why, QStringLiteral("block")});
        if (!linuxbus::succeeded(reply) || reply.arguments().isEmpty()) {
            if (error)
                *error = reply.errorName().isEmpty() ? QStringLiteral("noReply") : reply.errorName();
            return lock;
        }
        const auto descriptor = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
        if (descriptor.isValid())
            lock = linuxbus::UniqueFd(::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 3));
        // The reply and the descriptor object close their own copies at the end of this scope.
    }
    if (!lock.isValid() && error)
        *error = QStringLiteral("noDescriptor");
    return lock;
}

std::optional<QList<Inhibitor>> listInhibitors(const QDBusConnection &bus)
{
    const QDBusMessage reply = linuxbus::call(bus, service, path, manager, QStringLiteral("ListInhibitors"));
    if (!linuxbus::succeeded(reply) || reply.arguments().isEmpty() || reply.signature() != QLatin1String("a(ssssuu)"))
        return std::nullopt;
    const auto argument = reply.arguments().constFirst().value<QDBusArgument>();
    QList<Inhibitor> result;
    argument.beginArray();
    while (!argument.atEnd()) {
        Inhibitor entry;
        argument.beginStructure();
        argument >> entry.what >> entry.who >> entry.why >> entry.mode >> entry.uid >> entry.pid;
        argument.endStructure();
        result.append(entry);
    }
    argument.endArray();
    return result;
}

} // namespace quorvel::logind
