#include "platform/sim/SimPlatform.h"

#include "platform/sim/SimLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

#ifndef QUORVEL_TOOLS_DIR
#define QUORVEL_TOOLS_DIR ""
#endif

namespace quorvel {

namespace {

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

} // namespace

SimPlatform::SimPlatform(const QString &root, const QString &toolsDir)
    : m_root(absoluteClean(root))
    , m_toolsDir(absoluteClean(toolsDir))
{
}

QString SimPlatform::defaultRoot()
{
    // Same rule as the stand-ins use when the variable is missing, so both sides agree.
    const QByteArray tmp = qgetenv("TMPDIR");
    const QString base = tmp.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(tmp);
    return base + QStringLiteral("/quorvel-sim-") + QString::number(::getuid());
}

SimPlatform SimPlatform::fromEnvironment()
{
    QString root = qEnvironmentVariable(simlayout::kRootVariable);
    if (root.isEmpty())
        root = defaultRoot();
    QString tools = qEnvironmentVariable(simlayout::kToolsVariable);
    // An installed app keeps the stand-ins beside it (<prefix>/libexec/quorvel); a build tree
    // has them in its own tools folder.
    const QString installed = QCoreApplication::instance()
                                  ? QCoreApplication::applicationDirPath() + QStringLiteral("/../libexec/quorvel")
                                  : QString();
    if (tools.isEmpty() && !installed.isEmpty() && QFileInfo::exists(installed + QStringLiteral("/caffeinate")))
        tools = installed;
    if (tools.isEmpty())
        tools = QStringLiteral(QUORVEL_TOOLS_DIR);
    return SimPlatform(root, tools);
}

QString SimPlatform::mapPath(const QString &absolute) const
{
    static const QString toolPaths[] = {QStringLiteral("/usr/bin/caffeinate"), QStringLiteral("/usr/bin/pmset"),
                                        QStringLiteral("/usr/bin/sudo")};
    for (const QString &tool : toolPaths) {
        if (absolute == tool)
            return m_toolsDir + QLatin1Char('/') + QFileInfo(tool).fileName();
    }
    if (absolute == QLatin1String(simlayout::kRuleFile) || absolute == QLatin1String(simlayout::kLegacyRuleFile))
        return m_root + absolute;
    return absolute;
}

QString SimPlatform::sandboxPath(const char *relative) const
{
    return m_root + QString::fromLatin1(relative);
}

QString SimPlatform::powerFile() const
{
    return sandboxPath(simlayout::kPowerFile);
}

SimPlatform::Owner SimPlatform::expectedRuleOwner()
{
    if (::getuid() == 0)
        return {0, 0};
    return {::getuid(), ::getgid()};
}

bool SimPlatform::ensureSandbox() const
{
    QDir dir;
    return dir.mkpath(m_root + QStringLiteral("/etc/sudoers.d")) && dir.mkpath(sandboxPath(simlayout::kStateFolder));
}

QString SimPlatform::systemVisudo(const QString &path) const
{
    // Our own fallback link must not count as the system's visudo.
    const QString fallbackBin = sandboxPath(simlayout::kFallbackBinFolder);
    QStringList dirs;
    for (const QString &dir : path.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString clean = absoluteClean(dir);
        if (clean != m_toolsDir && clean != fallbackBin)
            dirs << clean;
    }
    return QStandardPaths::findExecutable(QStringLiteral("visudo"), dirs);
}

QString SimPlatform::visudoPath() const
{
    const QString found = systemVisudo(environment().value(QStringLiteral("PATH")));
    return found.isEmpty() ? sandboxPath(simlayout::kFallbackBinFolder) + QStringLiteral("/visudo") : found;
}

QProcessEnvironment SimPlatform::environment() const
{
    return environment(QProcessEnvironment::systemEnvironment());
}

QProcessEnvironment SimPlatform::environment(const QProcessEnvironment &base) const
{
    ensureSandbox();
    QProcessEnvironment env = base;
    env.remove(QLatin1String(simlayout::kRootRightsVariable));
    env.insert(QLatin1String(simlayout::kRootVariable), m_root);
    env.insert(QLatin1String(simlayout::kToolsVariable), m_toolsDir);

    QStringList path = env.value(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"))
                           .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    path.removeAll(m_toolsDir);
    path.removeAll(sandboxPath(simlayout::kFallbackBinFolder));
    // visudo lives in sbin on Debian, which a normal user's PATH often lacks.
    for (const QString &sbin : {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")}) {
        if (!path.contains(sbin))
            path << sbin;
    }

    QStringList front{m_toolsDir};
    if (systemVisudo(path.join(QLatin1Char(':'))).isEmpty()) {
        const QString bin = sandboxPath(simlayout::kFallbackBinFolder);
        const QString link = bin + QStringLiteral("/visudo");
        QDir().mkpath(bin);
        if (!QFileInfo(link).isSymLink())
            QFile::link(m_toolsDir + QLatin1Char('/') + QLatin1String(simlayout::kVisudoFallback), link);
        front << bin;
    }
    env.insert(QStringLiteral("PATH"), (front + path).join(QLatin1Char(':')));
    return env;
}

} // namespace quorvel
