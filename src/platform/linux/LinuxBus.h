#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <utility>

namespace quorvel::linuxbus {

// The two buses the Linux platform talks to. Live: the desktop's own; tests: private
// daemons of their own, so a test never touches the machine's logind or session.
struct Buses {
    QDBusConnection system;
    QDBusConnection session;
    static Buses standard() { return {QDBusConnection::systemBus(), QDBusConnection::sessionBus()}; }
};

// Every call blocks the main thread (as the Mac's tools do): a service that hangs must not
// freeze the menu, so it gets a few seconds and then counts as failed.
inline constexpr int callTimeoutMs = 5000;

// Whether `service` has an owner now. A bus that is not connected has none.
bool hasOwner(const QDBusConnection &bus, const QString &service);

// One method call; the reply, or an error message when the bus or the service failed.
QDBusMessage call(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &arguments = {});
bool succeeded(const QDBusMessage &reply);

// One property through org.freedesktop.DBus.Properties.Get; invalid when it cannot be read.
QVariant property(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &name);

// A descriptor we own alone: closed exactly once, when the holder goes. Closing the last
// duplicate is what ends a logind lock, so copies are impossible by construction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    {
    }
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    void reset();

private:
    int m_fd = -1;
};

} // namespace quorvel::linuxbus
