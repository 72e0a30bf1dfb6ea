#include "DesktopSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QThread>

namespace quorvel::test {

namespace {

bool waitUntil(const std::function<bool()> &condition)
{
    for (QDeadlineTimer deadline(5000); !condition(); QThread::msleep(20)) {
        if (deadline.hasExpired())
            return false;
    }
    return true;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate(); // ours, by pid
    if (!process.waitForFinished(3000))
        process.kill(), process.waitForFinished(3000);
}

} // namespace

DesktopSession::~DesktopSession()
{
    stop(m_trayer);
    stop(m_watcher);
    stop(m_bus);
    stop(m_xvfb);
}

QString DesktopSession::start()
{
    for (const QString tool : {"Xvfb", "trayer", "xdotool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + " is not installed (scripts/deps installs it)";
    }
    if (const QString why = startDisplay(); !why.isEmpty())
        return why;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    m_trayer.setProcessEnvironment(env);
    m_trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28",
                              "--SetDockType", "true"});
    return waitUntil([this] { return trayRect().has_value(); }) ? QString() : "the tray host did not come up";
}

QString DesktopSession::startStatusNotifierPanel(const QString &background)
{
    for (const QString tool :
         {"Xvfb", "xdotool", "dbus-daemon", "status-notifier-watcher", "gtk-sni-tray-standalone", "import"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + " is not installed (scripts/deps installs it)";
    }
    if (const QString why = startDisplay(); !why.isEmpty())
        return why;
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!m_bus.waitForReadyRead(5000))
        return "no session bus";
    m_sessionBus = QString::fromUtf8(m_bus.readLine()).trimmed();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_sessionBus);
    m_watcher.setProcessEnvironment(env);
    m_watcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_watcher.start("status-notifier-watcher", {});
    QThread::msleep(300);
    m_trayer.setProcessEnvironment(env);
    // Its chatter is of no use to the test.
    m_trayer.setStandardOutputFile(QProcess::nullDevice());
    m_trayer.setStandardErrorFile(QProcess::nullDevice());
    m_trayer.start("gtk-sni-tray-standalone", {"--top", "--end", "--size", "32", "--color", background});
    return m_trayer.waitForStarted() ? QString() : "the panel did not start";
}

DesktopSession::Pixels DesktopSession::grabTop(int height) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    process.setProcessEnvironment(env);
    process.start("import", {"-window", "root", "-crop", QString("1280x%1+0+0").arg(height), "-depth", "8", "rgb:-"});
    process.waitForFinished(10000);
    Pixels pixels{1280, height, process.readAllStandardOutput()};
    if (pixels.rgb.size() != 3 * pixels.width * pixels.height)
        pixels = {};
    return pixels;
}

QString DesktopSession::startDisplay()
{
    // A display number nobody uses; Xvfb refuses one whose lock exists.
    for (int n = 90; n < 190 && m_display.isEmpty(); ++n) {
        const QString socket = QString("/tmp/.X11-unix/X%1").arg(n);
        if (QFile::exists(QString("/tmp/.X%1-lock").arg(n)) || QFile::exists(socket))
            continue;
        m_xvfb.start("Xvfb", {QString(":%1").arg(n), "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        if (waitUntil([&] { return QFile::exists(socket); }))
            m_display = QString(":%1").arg(n);
        else
            stop(m_xvfb);
    }
    return m_display.isEmpty() ? "no X display could be started" : QString();
}

QString DesktopSession::xdotool(const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    process.setProcessEnvironment(env);
    process.start("xdotool", arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::optional<QRect> DesktopSession::trayRect() const
{
    for (const QString &id : xdotool({"search", "--name", "^panel$"}).split('\n', Qt::SkipEmptyParts)) {
        // "X=..\nY=..\nWIDTH=..\nHEIGHT=..\n"
        QHash<QString, int> value;
        for (const QString &line : xdotool({"getwindowgeometry", "--shell", id}).split('\n'))
            value[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        if (value["HEIGHT"] > 0)
            return QRect(value["X"], value["Y"], value["WIDTH"], value["HEIGHT"]);
    }
    return std::nullopt;
}

void DesktopSession::moveMouse(const QPoint &at) const
{
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
}

void DesktopSession::click(const QPoint &at, int button) const
{
    moveMouse(at);
    QThread::msleep(50);
    xdotool({"click", QString::number(button)});
}

QJsonArray UiMap::windows() const
{
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).array() : QJsonArray();
}

std::optional<QJsonObject> UiMap::find(const QString &name) const
{
    for (const QJsonValue &window : windows()) {
        for (const QJsonValue &widget : window["widgets"].toArray()) {
            if (widget["name"].toString() == name)
                return widget.toObject();
        }
    }
    return std::nullopt;
}

std::optional<QJsonObject> UiMap::windowOfClass(const QString &className) const
{
    for (const QJsonValue &window : windows()) {
        if (window["class"].toString() == className)
            return window.toObject();
    }
    return std::nullopt;
}

QPoint UiMap::centre(const QJsonObject &item)
{
    const QJsonArray r = item["rect"].toArray();
    return {r[0].toInt() + r[2].toInt() / 2, r[1].toInt() + r[3].toInt() / 2};
}

} // namespace quorvel::test
