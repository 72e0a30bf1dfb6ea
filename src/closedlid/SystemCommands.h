#pragma once

// <cstdio> first: the C library may define stdout and stderr as macros (macOS maps them to
// __stdoutp and __stderrp). Including it here means every file that sees the result types
// below sees the same spelling of their fields.
#include <cstdio>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

namespace quorvel {

// Where a child process really comes from. On macOS both parts stay empty and the
// command lines run as written. The simulated platform maps "/usr/bin/sudo" and
// "/usr/bin/pmset" to its stand-in tools and puts them first on PATH, so the same command
// lines reach the sandbox without being rewritten.
struct CommandEnvironment {
    std::function<QString(const QString &)> mapPath; // absolute launch path -> path to start; empty: unchanged
    std::optional<QProcessEnvironment> environment;  // absent: the parent's environment
    // The commands block the main thread, quit included: one that hangs is ended after this and
    // counts as failed (-1), so a stuck pmset or sudo can never freeze the app or pass for a
    // proven switch. The administrator dialog waits for a person and has no limit.
    std::chrono::milliseconds timeout{20000};
    // Asked while the administrator dialog is up: true ends the dialog's whole process group
    // (SIGTERM, then SIGKILL after `interruptGrace`) and the line counts as failed (-1), so a
    // termination signal is not held up by a person who may never answer. Empty: never.
    std::function<bool()> interrupted;
    std::chrono::milliseconds interruptGrace{500};

    QString resolve(const QString &launchPath) const { return mapPath ? mapPath(launchPath) : launchPath; }
};

namespace ClamshellCapabilityProbe {

// One program invocation. The program is started directly, never through a shell.
struct Command {
    QString launchPath;
    QStringList arguments; // not including the program name
    bool operator==(const Command &) const = default;
};

// The three command lines of closed-lid mode. The pmset texts that the sudoers rule names
// are derived from the first two (see pmsetLine), so the rule and these argument lists
// cannot drift apart.
Command applyOverrideCommand();  // /usr/bin/sudo -n /usr/bin/pmset -a disablesleep 1
Command restoreDefaultCommand(); // /usr/bin/sudo -n /usr/bin/pmset -a disablesleep 0
Command readSettingsCommand();   // /usr/bin/pmset -g

// The pmset part of a sudo command, as one text: "/usr/bin/pmset -a disablesleep 1".
QString pmsetLine(const Command &sudoCommand);

// The sleep-disabled value of a `pmset -g` report: 1, 0, or absent when no line decides.
// Only an exact 1 proves the override is in force and only an exact 0 that it is not.
std::optional<int> parseSleepDisabled(const QString &output);

} // namespace ClamshellCapabilityProbe

// The result of runCommand. The closed-lid controller names it as its own CommandResult.
struct CommandResult {
    QString stdout;   // UTF-8; empty when not valid UTF-8 or when the program could not start
    int exitCode = 0; // termination status; -1 when the program could not start
    bool operator==(const CommandResult &) const = default;
};

using CommandRunner = std::function<CommandResult(const ClamshellCapabilityProbe::Command &)>;
using PmsetReader = std::function<QString()>;

// Starts the command, waits for it without a time-out and returns its standard output
// and status. Both pipes are drained while waiting, so a chatty child cannot stall on a
// full pipe; standard error is read but dropped, standard input is inherited.
// A child ended by a signal reports the signal number as its status (what QProcess gives).
CommandResult runCommand(const ClamshellCapabilityProbe::Command &command, const CommandEnvironment &environment = {});
CommandRunner makeCommandRunner(CommandEnvironment environment = {});

// The output of "/usr/bin/pmset -g" through `runner`; any failure reads as empty text.
QString pmsetReader(const CommandRunner &runner);
PmsetReader makePmsetReader(CommandRunner runner);

namespace SudoersAuthorization {

// The status of a command that never ran to its end: it could not start, timed out, or was
// ended by a termination signal. No real exit status is negative.
inline constexpr int couldNotRun = -1;

struct ShellResult {
    QString stdout;   // UTF-8; empty when not valid UTF-8 or when the shell could not start
    int exitCode = 0; // the shell's status; -1 when it could not start
    QString stderr;   // as stdout
    bool operator==(const ShellResult &) const = default;
};

using ShellRunner = std::function<ShellResult(const QString &line)>;

// Runs `line` with "/bin/sh -c" and waits for it, like runCommand, keeping standard error.
ShellResult runShell(const QString &line, const CommandEnvironment &environment = {});
ShellRunner makeShellRunner(CommandEnvironment environment = {});

} // namespace SudoersAuthorization

} // namespace quorvel
