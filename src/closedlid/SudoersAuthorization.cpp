#include "closedlid/SudoersAuthorization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QUuid>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::SudoersAuthorization {

namespace {

// Writes `bytes` to a fresh file beside `path` and renames it into place. rename()
// replaces whatever sits at `path`, a symbolic link included, instead of writing through
// it; the mode is set on the open descriptor so the file never exists at `path` with
// wider permissions than 0440.
Result<> writeRuleCopy(const QString &path, const QByteArray &bytes)
{
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return Failure::platform(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        return Failure::platform(file.errorString());
    // A failure to narrow the mode is not fatal: visudo and install judge the copy, and
    // install sets the final mode itself.
    (void)::fchmod(file.handle(), 0440);
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return Failure::platform(QString::fromLocal8Bit(std::strerror(errno)));
    file.setAutoRemove(false);
    return {};
}

bool isSymbolicLink(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

} // namespace

QStringList allowedCommandLines()
{
    return {ClamshellCapabilityProbe::pmsetLine(ClamshellCapabilityProbe::applyOverrideCommand()),
            ClamshellCapabilityProbe::pmsetLine(ClamshellCapabilityProbe::restoreDefaultCommand())};
}

bool ruleFileIsInstalled(const RuleFileLocation &location)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(location.path).constData(), &status) != 0)
        return false;
    return S_ISREG(status.st_mode) && status.st_uid == location.ownerId && status.st_gid == location.groupId
           && (status.st_mode & 0777) == 0440;
}

bool sudoAllowsCommands(const ShellRunner &runShell)
{
    bool allAllowed = true;
    for (const QString &line : allowedCommandLines()) {
        const ShellResult result = runShell(QStringLiteral("sudo -n -l ") + line);
        allAllowed = (result.exitCode == 0 && result.stdout.contains(line)) && allAllowed;
    }
    return allAllowed;
}

Result<bool> isRulePresent(const RuleFileLocation &location, const ShellRunner &runShell)
{
    if (!ruleFileIsInstalled(location))
        return false;
    return sudoAllowsCommands(runShell);
}

QString ownAccountName()
{
    const passwd *entry = ::getpwuid(::getuid());
    return entry && entry->pw_name ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

Result<QString> currentUserName(const ShellRunner &runShell, const QString &accountName)
{
    const ShellResult result = runShell(QStringLiteral("/usr/bin/id -un"));
    // A shell that could not even start (no descriptor or process left) says nothing about
    // the user: that is the system failing, and is told as such.
    if (result.exitCode == couldNotRun)
        return VemoError::systemCommandFailed;
    if (result.exitCode != 0)
        return VemoError::authorizationInvalidUser;
    const QString name = result.stdout.trimmed();
    // A shell whose id answers for somebody else must not decide whose rule goes in.
    if (name.isEmpty() || name != accountName)
        return VemoError::authorizationInvalidUser;
    return name;
}

bool isValidUserName(const QString &user)
{
    if (user.isEmpty())
        return false;
    bool aliasShaped = user.front() >= QLatin1Char('A') && user.front() <= QLatin1Char('Z');
    for (const QChar c : user) {
        const char16_t u = c.unicode();
        const bool upper = u >= 'A' && u <= 'Z', digit = u >= '0' && u <= '9';
        if (!(upper || digit || (u >= 'a' && u <= 'z') || u == '-' || u == '.' || u == '_'))
            return false;
        aliasShaped = aliasShaped && (upper || digit || u == '_');
    }
    return !aliasShaped;
}

bool isSafeTemporaryPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '/' || u == '.'
              || u == '_' || u == '-'))
            return false;
    }
    return true;
}

Result<QString> makeTemporaryRuleURL(const QString &temporaryDirectory)
{
    const QString base = QDir::cleanPath(temporaryDirectory.isEmpty() ? QDir::tempPath() : temporaryDirectory);
    if (!isSafeTemporaryPath(base))
        return VemoError::authorizationInstallFailed;
    QByteArray pattern = QFile::encodeName(base + QStringLiteral("/quorvel-XXXXXX"));
    if (!::mkdtemp(pattern.data())) // mode 0700, and it did not exist before
        return Failure::platform(QString::fromLocal8Bit(std::strerror(errno)));
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return QFile::decodeName(pattern) + QStringLiteral("/quorvel-authorization-%1.tmp").arg(uuid);
}

QString ruleText(const QString &user)
{
    QString text;
    for (const QString &line : allowedCommandLines())
        text += user + QStringLiteral(" ALL=(root) NOPASSWD: ") + line + QLatin1Char('\n');
    return text;
}

AdminResult classifyAdminResult(const ShellResult &result)
{
    if (result.exitCode == 0)
        return AdminResult::success;
    const QString output = (result.stdout + QLatin1Char('\n') + result.stderr).toLower();
    // -128 is the error number of a dismissed administrator dialog; some systems report
    // nothing else.
    if (output.contains(QLatin1String("user canceled")) || output.contains(QLatin1String("-128"))
        || output.contains(QLatin1String("cancelled")))
        return AdminResult::cancelled;
    return AdminResult::failed;
}

QString visudoLine(const QString &temporaryPath)
{
    return QStringLiteral("visudo -cf \"") + temporaryPath + QLatin1Char('"');
}

QString installAdminLine(const QString &temporaryPath, const QString &user)
{
    const QStringList commands = allowedCommandLines();
    const auto quoted = [](const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); };
    const QString staged = stagedRuleFilePath;
    // The rule's own text, printed by root: the same bytes as ruleText(user).
    const QString expected = QStringList{QStringLiteral("printf"),
                                         quoted(QStringLiteral("%s ALL=(root) NOPASSWD: %s\\n")),
                                         user,
                                         quoted(commands[0]),
                                         user,
                                         quoted(commands[1])}
                                 .join(QLatin1Char(' '));
    const QString shell = QStringLiteral("install -m 0440 -o root -g wheel ") + quoted(temporaryPath) + QLatin1Char(' ')
                          + staged + QStringLiteral(" && ") + expected + QStringLiteral(" | cmp -s - ") + staged
                          + QStringLiteral(" && visudo -cf ") + staged + QStringLiteral(" && mv -f ") + staged
                          + QLatin1Char(' ') + ruleFilePath + QStringLiteral(" && (rm -f ") + legacyRuleFilePath
                          + QStringLiteral(" || true) || (rm -f ") + staged + QStringLiteral(" && false)");
    // An AppleScript string literal, itself inside single quotes for the outer shell (the
    // command holds no single quote): backslashes and double quotes are escaped for AppleScript.
    QString literal = shell;
    literal.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("osascript -e 'do shell script \"") + literal
           + QStringLiteral("\" with administrator privileges'");
}

QString revokeAdminLine()
{
    return QStringLiteral("osascript -e 'do shell script \"rm ") + ruleFilePath
           + QStringLiteral("\" with administrator privileges'");
}

Result<> install(const std::function<Result<QString>()> &userName, const std::function<Result<QString>()> &temporaryURL,
                 const ShellRunner &runShell, const std::function<Result<bool>()> &isRulePresent)
{
    // Refused before anything runs: the path reaches the visudo line and the root shell.
    const Result<QString> url = temporaryURL();
    if (!url)
        return url.failure();
    const QString path = url.value();
    const auto cleanUp = qScopeGuard([&] {
        (void)QFile::remove(path);
        (void)QDir().rmdir(QFileInfo(path).path());
    });
    if (!isSafeTemporaryPath(path))
        return VemoError::authorizationInstallFailed;

    const Result<QString> user = userName();
    if (!user)
        return user.failure();
    // Checked before anything is written: the name ends up in a root-owned rule.
    if (!isValidUserName(user.value()))
        return VemoError::authorizationInvalidUser;
    if (const Result<> written = writeRuleCopy(path, ruleText(user.value()).toUtf8()); !written)
        return written.failure();
    if (isSymbolicLink(path))
        return VemoError::authorizationInstallFailed;
    if (const int checked = runShell(visudoLine(path)).exitCode; checked != 0)
        return checked == couldNotRun ? VemoError::systemCommandFailed : VemoError::authorizationSyntaxCheckFailed;

    const AdminResult admin = classifyAdminResult(runShell(installAdminLine(path, user.value())));
    if (admin != AdminResult::success)
        return admin == AdminResult::cancelled ? VemoError::authorizationDenied : VemoError::authorizationInstallFailed;
    const Result<bool> present = isRulePresent();
    if (!present || !present.value())
        return VemoError::authorizationReadbackMismatch;
    return {};
}

RevokeOutcome revoke(const ShellRunner &runShell)
{
    switch (classifyAdminResult(runShell(revokeAdminLine()))) {
    case AdminResult::success: return Revoke::Completed{};
    case AdminResult::cancelled: return Revoke::Cancelled{};
    case AdminResult::failed: break;
    }
    return Revoke::Failed{VemoError::authorizationRevokeFailed};
}

AuthorizationManager::Checker makeChecker(Setup setup)
{
    return [setup = std::move(setup)] { return isRulePresent(setup.ruleFile, setup.runShell); };
}

AuthorizationManager::Grantor makeGrantor(Setup setup)
{
    return [setup = std::move(setup)] {
        return install([&] { return currentUserName(setup.runShell); },
                       [&] { return makeTemporaryRuleURL(setup.temporaryDirectory); }, setup.runShell,
                       [&] { return isRulePresent(setup.ruleFile, setup.runShell); });
    };
}

AuthorizationManager::Revoker makeRevoker(Setup setup)
{
    return [setup = std::move(setup)] { return revoke(setup.runShell); };
}

} // namespace quorvel::SudoersAuthorization
