#include "DesktopSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace quorvel::test {

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate(); // ours, by pid
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

DesktopSession::~DesktopSession()
{
    stop(m_trayer);
    stop(m_xvfb);
}

QString DesktopSession::start()
{
    for (const char *tool : {"Xvfb", "trayer", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/deps installs it)").arg(QString::fromLatin1(tool));
    }
    // A display number nobody uses; Xvfb refuses one whose lock exists.
    for (int n = 90; n < 190 && m_display.isEmpty(); ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"), QStringLiteral("0"),
                      QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (waitUntil([n] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 5000))
            m_display = QStringLiteral(":%1").arg(n);
        else
            stop(m_xvfb);
    }
    if (m_display.isEmpty())
        return QStringLiteral("no X display could be started");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    m_trayer.setProcessEnvironment(env);
    m_trayer.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
                    QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"),
                    QStringLiteral("28"), QStringLiteral("--SetDockType"), QStringLiteral("true")});
    if (!waitUntil([this] { return trayRect().has_value(); }, 5000))
        return QStringLiteral("the tray host did not come up");
    return {};
}

QString DesktopSession::xdotool(const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::optional<QRect> DesktopSession::trayRect() const
{
    const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^panel$")});
    for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // "X=..\nY=..\nWIDTH=..\nHEIGHT=..\n"
        const QString shell = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        QRect rect;
        for (const QString &line : shell.split(QLatin1Char('\n'))) {
            const QString value = line.section(QLatin1Char('='), 1);
            if (line.startsWith(QLatin1String("X=")))
                rect.moveLeft(value.toInt());
            else if (line.startsWith(QLatin1String("Y=")))
                rect.moveTop(value.toInt());
            else if (line.startsWith(QLatin1String("WIDTH=")))
                rect.setWidth(value.toInt());
            else if (line.startsWith(QLatin1String("HEIGHT=")))
                rect.setHeight(value.toInt());
        }
        if (rect.height() > 0)
            return rect;
    }
    return std::nullopt;
}

void DesktopSession::moveMouse(const QPoint &at) const
{
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
}

void DesktopSession::click(const QPoint &at, int button) const
{
    moveMouse(at);
    QThread::msleep(50);
    xdotool({QStringLiteral("click"), QString::number(button)});
}

bool DesktopSession::screenshot(const QString &path) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

QJsonArray UiMap::windows() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).array();
}

std::optional<QJsonObject> UiMap::find(const QString &name) const
{
    for (const QJsonValue &window : windows()) {
        for (const QJsonValue &widget : window.toObject().value(QStringLiteral("widgets")).toArray()) {
            if (widget.toObject().value(QStringLiteral("name")).toString() == name)
                return widget.toObject();
        }
    }
    return std::nullopt;
}

std::optional<QJsonObject> UiMap::windowOfClass(const QString &className) const
{
    for (const QJsonValue &window : windows()) {
        if (window.toObject().value(QStringLiteral("class")).toString() == className)
            return window.toObject();
    }
    return std::nullopt;
}

QPoint UiMap::centre(const QJsonObject &item)
{
    const QJsonArray r = item.value(QStringLiteral("rect")).toArray();
    return {r.at(0).toInt() + r.at(2).toInt() / 2, r.at(1).toInt() + r.at(3).toInt() / 2};
}

} // namespace quorvel::test
