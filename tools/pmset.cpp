// Stand-in for /usr/bin/pmset: just the "disablesleep" system setting, with the real tool's
// awkward habits.
//
//   pmset -g                          the settings report; " SleepDisabled\t\t<n>" appears
//                                     under "System-wide power settings:" only once the
//                                     value has ever been set
//   pmset [-a|-b|-c|-u] disablesleep <n>
//                                     writes 1 for any non-zero number, 0 for zero, and only
//                                     with root rights (QUORVEL_SIM_ROOT_RIGHTS=1, which the
//                                     stand-in sudo grants). Without them it prints the real
//                                     complaint and still exits 0: the exit code lies, and
//                                     only a read-back tells the truth.
//
// A value that is not a number prints the usage and exits 1. The
// QUORVEL_SIM_PMSET_IGNORE_WRITES switch makes an authorised write silently do nothing; the
// QUORVEL_SIM_PMSET_GARBAGE switch (file sim/pmset-garbage) makes `pmset -g` print a report
// nobody can read (bytes that are not text where the setting should be), still with status 0.
// The QUORVEL_SIM_PMSET_RESET_ON_POWER_CHANGE switch (file sim/pmset-resets-on-power-change)
// plays the system resetting the setting by itself: every write notes the power file as it is
// then (sim/pmset-power-stamp), and the first `pmset -g` after the power file changed finds
// disablesleep 1 turned back to 0, and keeps it so until the next write.

#include "SimTool.h"
#include "platform/sim/SimLayout.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

using namespace quorvel;

namespace {

constexpr char kGarbageVariable[] = "QUORVEL_SIM_PMSET_GARBAGE";
constexpr char kGarbageFile[] = "/sim/pmset-garbage";

int usage()
{
    std::printf("Usage: pmset <options>\n"
                "See pmset(1) for details: 'man pmset'\n"
                "  pmset -g                               display the current settings\n"
                "  pmset [-a | -b | -c | -u] <setting> <value> [<setting> <value> ...]\n"
                "     -a all power sources, -b battery, -c charger, -u UPS\n"
                "  settings understood here: disablesleep (0 or 1)\n");
    return 1;
}

bool isNumber(const char *text)
{
    if (!*text)
        return false;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}

std::string storedValue()
{
    const auto content = sim::readFile(sim::sandboxPath(simlayout::kSleepDisabledFile));
    if (!content)
        return {};
    const std::string value = sim::trim(*content);
    return value == "0" || value == "1" ? value : std::string();
}

// The power file's identity, size and times: a simulated power change always moves one of them.
std::string powerStamp()
{
    struct stat st {};
    if (::stat(sim::sandboxPath(simlayout::kPowerFile).c_str(), &st) != 0)
        return "absent";
#ifdef __APPLE__
    const struct timespec &modified = st.st_mtimespec;
#else
    const struct timespec &modified = st.st_mtim;
#endif
    return std::to_string(st.st_ino) + ' ' + std::to_string(st.st_size) + ' ' + std::to_string(modified.tv_sec) + '.'
           + std::to_string(modified.tv_nsec);
}

// The system's own reset: only a setting we saw written, under a power file that has changed since.
void resetAfterPowerChange()
{
    if (!sim::switchIsOn(simlayout::kPmsetResetsOnPowerChangeVariable, simlayout::kPmsetResetsOnPowerChangeFile)
        || storedValue() != "1")
        return;
    const auto stamp = sim::readFile(sim::sandboxPath(simlayout::kPmsetPowerStampFile));
    if (stamp && sim::trim(*stamp) != powerStamp())
        sim::writeFileAtomic(sim::sandboxPath(simlayout::kSleepDisabledFile), "0\n", 0644);
}

int report()
{
    resetAfterPowerChange();
    if (sim::switchIsOn(kGarbageVariable, kGarbageFile)) {
        std::fputs("System-wide power settings:\n SleepDisabled\t\t\xff\xfe\x01\n\x80\x80 garbled\n", stdout);
        return 0;
    }
    std::printf("System-wide power settings:\n");
    const std::string value = storedValue();
    if (!value.empty())
        std::printf(" SleepDisabled\t\t%s\n", value.c_str());
    std::printf("Currently in use:\n"
                " standby              1\n"
                " Sleep On Power Button 1\n"
                " hibernatefile        /var/vm/sleepimage\n"
                " powernap             1\n"
                " networkoversleep     0\n"
                " disksleep            10\n"
                " sleep                1\n"
                " hibernatemode        3\n"
                " ttyskeepawake        1\n"
                " displaysleep         10\n"
                " tcpkeepalive         1\n"
                " lowpowermode         0\n"
                " womp                 0\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    if (std::strcmp(argv[1], "-g") == 0) {
        if (argc == 2 || (argc == 3 && std::strcmp(argv[2], "live") == 0))
            return report();
        return usage();
    }

    int i = 1;
    if (std::strcmp(argv[i], "-a") == 0 || std::strcmp(argv[i], "-b") == 0 || std::strcmp(argv[i], "-c") == 0
        || std::strcmp(argv[i], "-u") == 0)
        ++i;
    if (i >= argc || (argc - i) % 2 != 0)
        return usage();

    std::string value;
    for (; i < argc; i += 2) {
        if (std::strcmp(argv[i], "disablesleep") != 0 || !isNumber(argv[i + 1]))
            return usage();
        // A switch setting: any non-zero number turns it on, however many digits it has.
        value = std::strspn(argv[i + 1], "0") == std::strlen(argv[i + 1]) ? "0" : "1";
    }

    const char *rights = std::getenv(simlayout::kRootRightsVariable);
    if (!rights || std::strcmp(rights, "1") != 0) {
        std::printf("'%s' must be run as root...\n", argv[0]);
        return 0;
    }
    if (sim::switchIsOn(simlayout::kPmsetIgnoresWritesVariable, simlayout::kPmsetIgnoresWritesFile))
        return 0;
    if (!sim::writeFileAtomic(sim::sandboxPath(simlayout::kSleepDisabledFile), value + "\n", 0644))
        std::printf("'%s' failed to set the value.\n", argv[0]);
    else
        sim::writeFileAtomic(sim::sandboxPath(simlayout::kPmsetPowerStampFile), powerStamp() + "\n", 0644);
    return 0;
}
