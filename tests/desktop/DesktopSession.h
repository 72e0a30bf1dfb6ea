#pragma once

// A private X display (Xvfb) with a tray host, and synthetic input through xdotool, so a test
// can use the real app as a person would: click its tray icon, its menu, its buttons. The app
// tells where its widgets are through QUORVEL_UI_MAP (see src/app/UiMap.h). The host is an
// X11 tray (trayer), or a StatusNotifierItem panel (gtk-sni-tray-standalone with its watcher)
// on a private session bus, in a background colour of the test's choosing.

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <array>
#include <optional>

namespace quorvel::test {

class DesktopSession {
public:
    ~DesktopSession();

    // Empty when the display and the tray host run; otherwise why not (a missing tool, say).
    QString start();
    QString startStatusNotifierPanel(const QString &background);
    QString display() const { return m_display; }
    // The private session bus of the StatusNotifierItem panel; empty with the X11 tray.
    QString sessionBus() const { return m_sessionBus; }
    // The screen's top `height` rows as they are shown now: 8-bit RGB, row after row.
    struct Pixels {
        int width = 0, height = 0;
        QByteArray rgb;
        std::array<int, 3> at(int x, int y) const
        {
            const auto *p = reinterpret_cast<const uchar *>(rgb.constData()) + 3 * (y * width + x);
            return {p[0], p[1], p[2]};
        }
    };
    Pixels grabTop(int height) const;

    // Runs xdotool on this display; its standard output.
    QString xdotool(const QStringList &arguments) const;
    // The tray host's panel: where docked icons sit.
    std::optional<QRect> trayRect() const;
    void click(const QPoint &at, int button = 1) const;
    void moveMouse(const QPoint &at) const;

private:
    QString startDisplay();
    QString m_display;
    QString m_sessionBus;
    QProcess m_xvfb, m_trayer, m_bus, m_watcher;
};

// The app's map of its visible windows (QUORVEL_UI_MAP).
class UiMap {
public:
    explicit UiMap(QString path)
        : m_path(std::move(path))
    {
    }
    QJsonArray windows() const;
    // The first visible widget with this object name.
    std::optional<QJsonObject> find(const QString &name) const;
    std::optional<QJsonObject> windowOfClass(const QString &className) const;
    static QPoint centre(const QJsonObject &item);

private:
    QString m_path;
};

} // namespace quorvel::test
