#pragma once

// Private D-Bus daemons and python3-dbusmock services for the Linux platform's tests: a bus of
// the test's own (system or session type), and mocked services on it whose calls the test reads
// back. Nothing here reaches the machine's own buses.

#include "platform/linux/LinuxBus.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace quorvel::test {

inline const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// One dbus-daemon of ours. A system-type bus without root or systemd: same protocol, own rules.
class PrivateBus {
public:
    PrivateBus(const QString &folder, const QString &type)
    {
        const QString config = folder + QStringLiteral("/") + type + QStringLiteral(".conf");
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write(
            QStringLiteral("<busconfig><type>%1</type><listen>unix:dir=%2</listen><auth>EXTERNAL</auth>"
                           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy></busconfig>")
                .arg(type, folder)
                .toUtf8());
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        m_daemon.waitForStarted();
        while (m_daemon.state() == QProcess::Running && !m_daemon.canReadLine())
            m_daemon.waitForReadyRead(5000);
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        connection = QDBusConnection::connectToBus(address, type + QStringLiteral("-test"));
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(connection.name());
        m_daemon.terminate();
        m_daemon.waitForFinished(2000);
    }
    QString address;
    QDBusConnection connection{QString()};

private:
    QProcess m_daemon;
};

// One python3-dbusmock service: a template, or a bare object that the test fills with methods.
class Mock {
public:
    Mock(const PrivateBus &bus, bool system, const QStringList &arguments, const QString &name)
        : m_bus(bus.connection)
        , m_name(name)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(system ? QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS") : QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   bus.address);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList all{QStringLiteral("-m"), QStringLiteral("dbusmock"),
                        system ? QStringLiteral("--system") : QStringLiteral("--session")};
        m_process.start(QStringLiteral("/usr/bin/python3"), all + arguments);
        m_process.waitForStarted();
        QElapsedTimer waited;
        waited.start();
        while (!linuxbus::hasOwner(m_bus, name) && waited.elapsed() < 10000 && m_process.state() == QProcess::Running)
            QTest::qWait(20);
    }
    ~Mock() { stop(); }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    bool isUp() const { return linuxbus::hasOwner(m_bus, m_name); }
    QDBusMessage call(const QString &path, const QString &method, const QVariantList &arguments)
    {
        return linuxbus::call(m_bus, m_name, path, mockInterface, method, arguments);
    }
    // The argument lists of every call of `method` so far.
    QList<QVariantList> calls(const QString &path, const QString &method)
    {
        QList<QVariantList> result;
        const QDBusMessage reply = call(path, QStringLiteral("GetMethodCalls"), {method});
        if (reply.arguments().isEmpty())
            return result;
        const auto argument = reply.arguments().constFirst().value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            quint64 time = 0;
            QVariantList args;
            argument.beginStructure();
            argument >> time;
            argument.beginArray();
            while (!argument.atEnd()) {
                QDBusVariant value;
                argument >> value;
                args.append(value.variant());
            }
            argument.endArray();
            argument.endStructure();
            result.append(args);
        }
        argument.endArray();
        return result;
    }

private:
    QDBusConnection m_bus;
    QString m_name;
    QProcess m_process;
};

inline std::unique_ptr<Mock> plainMock(const PrivateBus &bus, const QString &name, const QString &path,
                                       const QString &interface, const QList<QStringList> &methods)
{
    auto mock = std::make_unique<Mock>(bus, false, QStringList{name, path, interface}, name);
    for (const QStringList &m : methods)
        mock->call(path, QStringLiteral("AddMethod"), {interface, m[0], m[1], m[2], m[3]});
    return mock;
}

} // namespace quorvel::test
