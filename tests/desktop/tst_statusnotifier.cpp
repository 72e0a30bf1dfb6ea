// The real app's tray icon on a StatusNotifierItem panel (gtk-sni-tray-standalone and its
// watcher on a private session bus, under Xvfb), as on most Linux desktops today: the item
// registers, it can be seen on a dark and on a light panel, and a click on it opens the menu
// next to the pointer.

#include "DesktopSession.h"
#include "support/RealApp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QTest>

#include <csignal>

using namespace quorvel::test;

namespace {

QVariant busProperty(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                     const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call.setArguments({interface, name});
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    return reply.arguments().isEmpty() ? QVariant() : reply.arguments().constFirst().value<QDBusVariant>().variant();
}

// Where the panel shows something other than its background: the icon, in the right half
// (the panel puts items at its end).
QRect inkOn(const DesktopSession::Pixels &panel, uint background)
{
    QRect ink;
    for (int y = 0; y < panel.height; ++y)
        for (int x = panel.width / 2; x < panel.width; ++x) {
            const auto c = panel.at(x, y);
            const int distance = qAbs(c[0] - int(background >> 16 & 0xff)) + qAbs(c[1] - int(background >> 8 & 0xff))
                                 + qAbs(c[2] - int(background & 0xff));
            if (distance > 150)
                ink |= QRect(x, y, 1, 1);
        }
    return ink;
}

} // namespace

class StatusNotifierTest : public QObject {
    Q_OBJECT

private slots:
    void visibleAndClickable_data()
    {
        QTest::addColumn<QString>("background");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("dark panel") << "#202020" << 0x202020u;
        QTest::newRow("light panel") << "#f0f0f0" << 0xf0f0f0u;
    }
    void visibleAndClickable()
    {
        QFETCH(QString, background);
        QFETCH(uint, rgb);
        DesktopSession desktop;
        if (const QString why = desktop.startStatusNotifierPanel(background); !why.isEmpty())
            QSKIP(qPrintable(why));

        RealApp app;
        const QString map = app.sandbox("../ui-map.json");
        UiMap ui(map);
        QProcessEnvironment env = app.process().processEnvironment();
        env.insert("DISPLAY", desktop.display());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QUORVEL_UI_MAP", map);
        env.insert("DBUS_SESSION_BUS_ADDRESS", desktop.sessionBus());
        // The symbolic icons as the package installs them, from the build tree.
        env.insert("XDG_DATA_DIRS", QStringLiteral(QUORVEL_BUILD_DIR "/share:/usr/share"));
        app.process().setProcessEnvironment(env);
        QDBusConnection bus = QDBusConnection::connectToBus(desktop.sessionBus(), "panel");
        // Qt looks for a host once, at start: the panel must be there first.
        QVERIFY(app.waitFor([&] {
            return busProperty(bus, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                               "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered")
                .toBool();
        }));
        app.start({});

        QStringList items;
        QVERIFY2(app.waitFor([&] {
            items = busProperty(bus, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
                        .toStringList();
            return !items.isEmpty();
        }),
                 app.transcript());
        QCOMPARE(items.size(), 1);
        // Hosts that draw themed icons get the name of our symbolic one and recolour it.
        const QString service = items.first().section('/', 0, 0);
        QCOMPARE(busProperty(bus, service, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "IconName").toString(),
                 QStringLiteral("app.quorvel.Quorvel-symbolic"));

        // This panel draws the pixels: they must stand out from its background.
        QRect ink;
        QVERIFY2(app.waitFor([&] { return (ink = inkOn(desktop.grabTop(32), rgb)).width() >= 8; }),
                 qPrintable(QString("ink %1x%2").arg(ink.width()).arg(ink.height())));
        QVERIFY2(ink.height() >= 8 && ink.bottom() < 32,
                 qPrintable(QString("ink %1x%2").arg(ink.width()).arg(ink.height())));

        // A click opens the menu at the pointer (the panel does not say where the icon is),
        // under the panel and inside the screen.
        desktop.click(ink.center());
        QVERIFY2(app.waitFor([&] { return ui.find("modePicker.timed").has_value(); }), app.transcript());
        const QJsonArray rect = ui.windowOfClass("quorvel::MenuPopover")->value("rect").toArray();
        QVERIFY2(rect.size() == 4, app.transcript());
        const QRect popover(rect[0].toInt(), rect[1].toInt(), rect[2].toInt(), rect[3].toInt());
        const QString where = QString("popover at %1,%2").arg(popover.x()).arg(popover.y());
        QVERIFY2(popover.left() - 40 <= ink.center().x() && ink.center().x() <= popover.right() + 40,
                 qPrintable(where));
        QVERIFY2(QRect(0, 0, 1280, 800).contains(popover), qPrintable(where));
        QVERIFY(popover.top() >= ink.center().y());

        ::kill(pid_t(app.pid()), SIGTERM);
        QVERIFY(app.waitForExit());
        QDBusConnection::disconnectFromBus("panel");
    }
};

QTEST_GUILESS_MAIN(StatusNotifierTest)
#include "tst_statusnotifier.moc"
