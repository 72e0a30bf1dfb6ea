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
// Where the root shell stages and proves the copy before it becomes the rule. sudo never reads
// a file of its includes folder whose name holds a dot, so a half-done install grants nothing.
inline const QString stagedRuleFilePath = QStringLiteral("/etc/sudoers.d/quorvel.pending");

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

// The account name of this process's own user, from the user database.
QString ownAccountName();

// "/usr/bin/id -un", trimmed; a non-zero status, or a name that is not `accountName`, is
// authorizationInvalidUser: the rule is only ever written for the user running the app.
Result<QString> currentUserName(const ShellRunner &runShell, const QString &accountName = ownAccountName());

// Not empty, only ASCII letters, digits, "-", "." and "_", and not shaped like a sudoers alias
// (an upper-case letter followed by upper-case letters, digits and "_", "ALL" among them): such
// a word would name every user, or a group of users, instead of one account.
bool isValidUserName(const QString &user);

// True for paths made only of ASCII letters, digits, "/", ".", "_" and "-": the only ones that
// reach the visudo line and the root shell. Everything else is refused before a command runs.
bool isSafeTemporaryPath(const QString &path);

// <temporaryDirectory>/quorvel-XXXXXX/quorvel-authorization-<UPPER-CASE UUID>.tmp, the middle
// folder fresh and private (0700), so nothing else can have placed or linked anything there.
// A temporary directory whose path is not safe is refused with authorizationInstallFailed.
Result<QString> makeTemporaryRuleURL(const QString &temporaryDirectory);

QString ruleText(const QString &user);

enum class AdminResult { success, cancelled, failed };
// Status 0 is success; otherwise "user canceled", "-128" or "cancelled" anywhere in the
// lower-cased output means the user dismissed the administrator dialog.
AdminResult classifyAdminResult(const ShellResult &result);

// The shell lines, byte for byte as they are run.
QString visudoLine(const QString &temporaryPath);
// The root shell copies the checked file to the staging name, proves it is byte for byte the
// rule for `user` (printed by the root shell itself, so nothing the user's other processes can
// write takes part) and valid for visudo, and only then renames it into place. Any failure
// removes the staging copy and fails the line.
QString installAdminLine(const QString &temporaryPath, const QString &user);
QString revokeAdminLine();

// The grantor: writes the rule to a temporary copy, checks it with visudo, moves it into
// place through the administrator dialog and reads it back. The temporary copy and its
// private folder are gone afterwards whatever happened.
Result<> install(const std::function<Result<QString>()> &userName, const std::function<Result<QString>()> &temporaryURL,
                 const ShellRunner &runShell, const std::function<Result<bool>()> &isRulePresent);

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
