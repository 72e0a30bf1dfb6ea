#include "platform/sim/SimPower.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace quorvel {

PowerContext readSimPower(const QString &path, const QDateTime &now)
{
    PowerContext ctx;
    ctx.powerSource = PowerSource::unknown;
    ctx.isLowPowerModeEnabled = false;
    ctx.updatedAt = now;

    QFile file(path);
    // A power file is a few dozen bytes; refuse anything absurd rather than read it all.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return ctx;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject())
        return ctx;
    const QJsonObject obj = doc.object();

    const QString source = obj.value(QStringLiteral("source")).toString();
    if (source == QLatin1String("battery"))
        ctx.powerSource = PowerSource::battery;
    else if (source == QLatin1String("ac"))
        ctx.powerSource = PowerSource::powerAdapter;

    const QJsonValue level = obj.value(QStringLiteral("level"));
    if (level.isDouble()) {
        // A level no battery can have tells nothing: it reads as unknown, not as full or empty.
        const double rounded = std::round(level.toDouble()); // halves away from zero
        if (rounded >= 0.0 && rounded <= 100.0)
            ctx.batteryLevel = static_cast<qint64>(rounded);
    }

    const QJsonValue lowPower = obj.value(QStringLiteral("lowPower"));
    if (lowPower.isBool())
        ctx.isLowPowerModeEnabled = lowPower.toBool();
    return ctx;
}

SimPowerWatcher::SimPowerWatcher(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(QFileInfo(path).absoluteFilePath())
{
    // The folder must exist to be watched; the sandbox is created on first use anyway.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_last = currentSignature();
    rearm();
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SimPowerWatcher::check);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SimPowerWatcher::check);
}

SimPowerWatcher::Signature SimPowerWatcher::currentSignature() const
{
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return {};
#ifdef __APPLE__
    const struct timespec &modified = st.st_mtimespec;
    const struct timespec &changed = st.st_ctimespec;
#else
    const struct timespec &modified = st.st_mtim;
    const struct timespec &changed = st.st_ctim;
#endif
    return {true, static_cast<qint64>(st.st_ino), static_cast<qint64>(st.st_size),
            static_cast<qint64>(modified.tv_sec) * 1000000000 + modified.tv_nsec,
            static_cast<qint64>(changed.tv_sec) * 1000000000 + changed.tv_nsec};
}

void SimPowerWatcher::rearm()
{
    // A watch follows an inode, not a name: after a rename-over it still points at the old
    // file. Dropping and re-adding binds it to whatever the name means now.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(folder) && QFileInfo::exists(folder))
        m_watcher.addPath(folder);
    m_watcher.removePath(m_path);
    if (QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
}

void SimPowerWatcher::check()
{
    rearm();
    const Signature now = currentSignature();
    if (now == m_last)
        return;
    m_last = now;
    emit changed();
}

} // namespace quorvel
