#pragma once

// A private X display (Xvfb) with a tray host (trayer), and synthetic input through xdotool,
// so a test can use the real app as a person would: click its tray icon, its menu, its
// buttons. The app tells where its widgets are through QUORVEL_UI_MAP (see src/app/UiMap.h).

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <optional>

namespace quorvel::test {

class DesktopSession {
public:
    ~DesktopSession();

    // Empty when the display and the tray host run; otherwise why not (a missing tool, say).
    QString start();
    QString display() const { return m_display; }

    // Runs xdotool on this display; its standard output.
    QString xdotool(const QStringList &arguments) const;
    // The tray host's panel: where docked icons sit.
    std::optional<QRect> trayRect() const;
    void click(const QPoint &at, int button = 1) const;
    void moveMouse(const QPoint &at) const;

private:
    QString m_display;
    QProcess m_xvfb, m_trayer;
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
