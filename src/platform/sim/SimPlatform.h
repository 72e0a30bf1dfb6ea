#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace quorvel {

// The simulated platform: Quorvel's own command lines, byte for byte the macOS ones, run
// against the stand-in tools built from tools/ and a sandbox folder instead of the system.
//
// Sandbox (QUORVEL_SIM_ROOT, created on first use; default $TMPDIR/quorvel-sim-<uid>).
// Absolute system paths are mirrored below the root, the sim's own state lives in sim/:
//
//   <root>/etc/sudoers.d/quorvel   the sudoers rule file ("/etc/sudoers.d/quorvel")
//   <root>/etc/sudoers.d/vemo      the legacy rule file, removed by the install
//   <root>/sim/disablesleep        pmset's "disablesleep" value, "0" or "1"; absent until
//                                  first set, and then `pmset -g` has no SleepDisabled line
//   <root>/sim/power.json          the power source: {"source": "battery" | "ac" | "unknown",
//                                  "level": 0-100 (may be absent), "lowPower": true | false}
//   <root>/sim/caffeinate.log      one line per caffeinate start: its pid, then its arguments,
//                                  separated by single blanks
//   <root>/sim/osascript-answer    what the "user" answers the administrator dialog:
//                                  approve | cancel | fail (absent: approve)
//   <root>/sim/osascript-delay     fault: milliseconds an approved install stays half done
//                                  (staged, not yet in place)
//   <root>/sim/caffeinate-ignores-term   fault: present = caffeinate ignores SIGTERM
//   <root>/sim/pmset-ignores-writes      fault: present = pmset writes silently do nothing
//   <root>/sim/pmset-garbage             fault: present = pmset -g prints an unreadable report
//   <root>/sim/pmset-resets-on-power-change  fault: present = the first pmset -g after the power
//                                  file changed finds disablesleep reset to 0, as the system
//                                  does by itself (sim/pmset-power-stamp is pmset's own note)
//   <root>/sim/wake, <root>/sim/display  every change of the file is a wake from sleep or a
//                                  display change (quorvel-sim-power --wake, --display-change)
//   <root>/bin/visudo              only when the system has no visudo: a link to the strict
//                                  stand-in checker, so the shell's "visudo" still resolves
//
// Each switch file has an environment variable too, which wins when set (value 1/0 for the
// faults, the answer word for the dialog): QUORVEL_SIM_CAFFEINATE_IGNORE_TERM,
// QUORVEL_SIM_PMSET_IGNORE_WRITES, QUORVEL_SIM_PMSET_GARBAGE, QUORVEL_SIM_PMSET_RESET_ON_POWER_CHANGE,
// QUORVEL_SIM_OSASCRIPT_ANSWER. Files suit a running
// demo (change them while the app runs), variables suit a single child in a test.
//
// Root rights: the stand-in sudo runs the stand-in pmset with QUORVEL_SIM_ROOT_RIGHTS=1.
// pmset without that marker behaves as the real tool run by a normal user, whatever the
// Linux uid: the sandbox has its own notion of root so that a developer who is root in a
// container still sees the unprivileged path.
class SimPlatform {
public:
    struct Owner {
        uint uid = 0;
        uint gid = 0;
        bool operator==(const Owner &) const = default;
    };

    SimPlatform(const QString &root, const QString &toolsDir);

    // QUORVEL_SIM_ROOT (or the default root) and QUORVEL_TOOLS_DIR (or the folder the build
    // put the stand-ins in).
    static SimPlatform fromEnvironment();
    static QString defaultRoot();

    QString root() const { return m_root; }
    QString toolsDir() const { return m_toolsDir; }

    // "/usr/bin/caffeinate", "/usr/bin/pmset", "/usr/bin/sudo" to the stand-ins,
    // "/etc/sudoers.d/quorvel" and "/etc/sudoers.d/vemo" into the sandbox; any other path
    // is returned unchanged.
    QString mapPath(const QString &absolute) const;
    // The sandbox file for one of the sim's own state files (a SimLayout name).
    QString sandboxPath(const char *relative) const;
    QString powerFile() const;

    // Who must own the rule file: root when we run as root, otherwise the invoking user, so
    // that the simulation works without root rights.
    static Owner expectedRuleOwner();

    // The visudo the shell will find: the system's, or the link to the stand-in checker.
    QString visudoPath() const;

    // For child processes: PATH starts with the stand-ins (so the shell's "sudo" and
    // "osascript" are ours) and still holds /usr/sbin and /sbin (so the real visudo is
    // found); QUORVEL_SIM_ROOT and QUORVEL_TOOLS_DIR are set; a root-rights marker the
    // parent may carry is dropped. Creates the sandbox folders.
    QProcessEnvironment environment() const;
    QProcessEnvironment environment(const QProcessEnvironment &base) const;

    // Creates the sandbox folders; false when that failed.
    bool ensureSandbox() const;

private:
    QString systemVisudo(const QString &path) const;

    QString m_root;
    QString m_toolsDir;
};

} // namespace quorvel
