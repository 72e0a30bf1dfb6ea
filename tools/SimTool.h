#pragma once

// Small helpers every stand-in shares: where the sandbox is, reading and writing its files,
// the fault switches. Plain C++ and POSIX so that a stand-in starts in a millisecond or two;
// the tests spawn them by the hundred.

#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvel::sim {

// QUORVEL_SIM_ROOT made absolute, or $TMPDIR/quorvel-sim-<uid> when it is unset. Never the
// real file system root: every path a stand-in touches is below this.
std::string sandboxRoot();
// The sandbox mirror of an absolute path ("/etc/sudoers.d/quorvel" -> <root>/etc/...).
std::string sandboxPath(const std::string &absolute);

bool makeDirs(const std::string &path);
std::optional<std::string> readFile(const std::string &path);
// Writes through a temporary file in the same folder and a rename, so a reader never sees
// half a file; the folder is created when missing.
bool writeFileAtomic(const std::string &path, const std::string &content, mode_t mode);
bool appendToFile(const std::string &path, const std::string &content);

// A fault switch: the environment variable wins when set ("1", "true", "yes", "on" mean on);
// otherwise the switch is on while the file exists in the sandbox.
bool switchIsOn(const char *variable, const char *sandboxFile);
// A word-valued switch: the variable when set, else the first word of the file, else "".
std::string switchWord(const char *variable, const char *sandboxFile);

// The folder this executable lives in (the other stand-ins are its siblings).
std::string selfDir(const char *argv0);

// Who must own the rule file: root when we run as root, otherwise the invoking user.
struct Owner {
    uid_t uid;
    gid_t gid;
};
Owner expectedRuleOwner();
// The invoking user's name; empty when the user is not in the passwd database.
std::string currentUserName();

std::string trim(const std::string &text);

} // namespace quorvel::sim
