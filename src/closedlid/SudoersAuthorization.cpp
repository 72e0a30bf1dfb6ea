#include "closedlid/SudoersAuthorization.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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

void removeQuietly(const QString &path)
{
    (void)QFile::remove(path);
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

Result<QString> currentUserName(const ShellRunner &runShell)
{
    const ShellResult result = runShell(QStringLiteral("/usr/bin/id -un"));
    if (result.exitCode != 0)
        return VemoError::authorizationInvalidUser;
    return result.stdout.trimmed();
}

bool isValidUserName(const QString &user)
{
    if (user.isEmpty())
        return false;
    for (const QChar c : user) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'
                             || u == '.' || u == '_';
        if (!allowed)
            return false;
    }
    return true;
}

QString makeTemporaryRuleURL(const QString &temporaryDirectory)
{
    const QString directory = temporaryDirectory.isEmpty() ? QDir::tempPath() : temporaryDirectory;
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return QDir(directory).filePath(QStringLiteral("quorvel-authorization-%1.tmp").arg(uuid));
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

QString installAdminLine(const QString &temporaryPath)
{
    // The path sits inside a double-quoted AppleScript string, itself inside single quotes
    // for the shell: its own double quotes are escaped for AppleScript.
    QString quotedPath = temporaryPath;
    quotedPath.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringLiteral("osascript -e 'do shell script \"install -m 0440 -o root -g wheel \\\"") + quotedPath
           + QStringLiteral("\\\" ") + ruleFilePath + QStringLiteral(" && (rm -f ") + legacyRuleFilePath
           + QStringLiteral(" || true)\" with administrator privileges'");
}

QString revokeAdminLine()
{
    return QStringLiteral("osascript -e 'do shell script \"rm ") + ruleFilePath
           + QStringLiteral("\" with administrator privileges'");
}

bool isSafeForAdminLine(const QString &path)
{
    for (QChar c : path)
        if (c == QLatin1Char('$') || c == QLatin1Char('`') || c == QLatin1Char('\\') || c == QLatin1Char('\'')
            || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

Result<> install(const std::function<Result<QString>()> &userName, const std::function<QString()> &temporaryURL,
                 const ShellRunner &runShell, const std::function<Result<bool>()> &isRulePresent)
{
    const Result<QString> user = userName();
    if (!user)
        return user.failure();
    // Checked before anything is written: the name ends up in a root-owned rule.
    if (!isValidUserName(user.value()))
        return VemoError::authorizationInvalidUser;

    const QString path = temporaryURL();
    // The path reaches a root shell inside double quotes, where only the double quote is
    // escaped: a temporary folder whose name could start a substitution or end the quoting
    // is refused before anything is written or run.
    if (!isSafeForAdminLine(path))
        return VemoError::authorizationInstallFailed;
    // Nothing of ours is at `path` when the write fails, so there is nothing to delete.
    if (const Result<> written = writeRuleCopy(path, ruleText(user.value()).toUtf8()); !written)
        return written.failure();
    if (isSymbolicLink(path)) {
        removeQuietly(path);
        return VemoError::authorizationInstallFailed;
    }
    if (runShell(visudoLine(path)).exitCode != 0) {
        removeQuietly(path);
        return VemoError::authorizationSyntaxCheckFailed;
    }

    const AdminResult admin = classifyAdminResult(runShell(installAdminLine(path)));
    if (admin != AdminResult::success) {
        removeQuietly(path);
        return admin == AdminResult::cancelled ? VemoError::authorizationDenied : VemoError::authorizationInstallFailed;
    }
    const Result<bool> present = isRulePresent();
    removeQuietly(path);
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
