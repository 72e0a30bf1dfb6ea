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
    stop(m_xvfb);
}

QString DesktopSession::start()
{
    for (const QString tool : {"Xvfb", "trayer", "xdotool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + " is not installed (scripts/deps installs it)";
    }
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
    if (m_display.isEmpty())
        return "no X display could be started";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    m_trayer.setProcessEnvironment(env);
    m_trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "28",
                              "--SetDockType", "true"});
    return waitUntil([this] { return trayRect().has_value(); }) ? QString() : "the tray host did not come up";
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
