#pragma once

#include "closedlid/AuthorizationManager.h"
#include "closedlid/Result.h"
#include "closedlid/SystemCommands.h"

#include <QString>
#include <functional>
#include <sys/types.h>

namespace quorvel::SudoersAuthorization {

// The rule and the command lines always name the real paths. On the simulated platform the
// stand-in tools map them into the sandbox themselves; only the status checks, which we
// make directly, are pointed elsewhere (see RuleFileLocation).
inline const QString ruleFilePath = QStringLiteral("/etc/sudoers.d/quorvel");
inline const QString legacyRuleFilePath = QStringLiteral("/etc/sudoers.d/vemo");

// Where the installed rule file is looked for and who must own it.
struct RuleFileLocation {
    QString path = ruleFilePath;
    uid_t ownerId = 0;
    gid_t groupId = 0;
};

// "/usr/bin/pmset -a disablesleep 1" and "/usr/bin/pmset -a disablesleep 0", in that order.
QStringList allowedCommandLines();

// The file itself (a link is not followed) is a regular file owned by the expected user
// and group with permission bits exactly 0440. Anything else, or no status, is false.
bool ruleFileIsInstalled(const RuleFileLocation &location = {});

// Both pmset lines are listed by "sudo -n -l <line>" with status 0. Both are always asked.
bool sudoAllowsCommands(const ShellRunner &runShell);

// The rule file checks first; sudo is asked only when the file looks right.
Result<bool> isRulePresent(const RuleFileLocation &location, const ShellRunner &runShell);

// "/usr/bin/id -un", trimmed; a non-zero status is authorizationInvalidUser.
Result<QString> currentUserName(const ShellRunner &runShell);

// Not empty, and only ASCII letters, digits, "-", "." and "_": anything else could change
// the meaning of the rule line or of the shell lines it is passed through.
bool isValidUserName(const QString &user);

// <temporaryDirectory>/quorvel-authorization-<UPPER-CASE UUID>.tmp
QString makeTemporaryRuleURL(const QString &temporaryDirectory);

QString ruleText(const QString &user);

enum class AdminResult { success, cancelled, failed };
// Status 0 is success; otherwise "user canceled", "-128" or "cancelled" anywhere in the
// lower-cased output means the user dismissed the administrator dialog.
AdminResult classifyAdminResult(const ShellResult &result);

// The shell lines, byte for byte as they are run.
QString visudoLine(const QString &temporaryPath);
QString installAdminLine(const QString &temporaryPath);
QString revokeAdminLine();

// The grantor: writes the rule to a temporary copy, checks it with visudo, moves it into
// place through the administrator dialog and reads it back. The temporary copy is gone
// afterwards whatever happened.
Result<> install(const std::function<Result<QString>()> &userName, const std::function<QString()> &temporaryURL,
                 const ShellRunner &runShell, const std::function<Result<bool>()> &isRulePresent);

// False for a path that could break out of the administrator line's quoting ("$", "`",
// "\\", "'" or a control character); install refuses such a temporary path up front.
bool isSafeForAdminLine(const QString &path);

// The revoker: removes the rule through the administrator dialog.
RevokeOutcome revoke(const ShellRunner &runShell);

// What the live functions of a platform vary in. The defaults are the real system.
struct Setup {
    RuleFileLocation ruleFile;
    ShellRunner runShell = [](const QString &line) { return SudoersAuthorization::runShell(line); };
    QString temporaryDirectory; // empty: the user's temporary directory
};

// The checker (and revoke read-back), the grantor and the revoker that the composition
// root hands to AuthorizationManager.
AuthorizationManager::Checker makeChecker(Setup setup);
AuthorizationManager::Grantor makeGrantor(Setup setup);
AuthorizationManager::Revoker makeRevoker(Setup setup);

} // namespace quorvel::SudoersAuthorization
