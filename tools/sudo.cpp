// Stand-in for /usr/bin/sudo: exactly what Quorvel uses.
//
//   sudo -n <command...>       run an allowed command, else "sudo: a password is required", 1
//   sudo -n -l <command...>    print the allowed command line and exit 0, else exit 1
//   sudo -n -l                 list the invoking user's rules
//
// The rules come from the sandbox's etc/sudoers.d/quorvel, and only while that file is a
// regular file (a link is not followed), has mode 0440 exactly, belongs to the expected
// owner (root when we run as root, otherwise the invoking user) and parses under the strict
// form of SudoersRules.h. A command is allowed when a rule for the invoking user names
// exactly its words. An allowed /usr/bin/pmset runs the stand-in pmset with root rights;
// commands the simulation has no stand-in for are refused rather than run for real.

#include "SimTool.h"
#include "SudoersRules.h"
#include "platform/sim/SimLayout.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace quorvel;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: sudo -n [-l] command [arg ...]\n");
    return 1;
}

// The rules of the sandbox rule file, or none when the file is missing or not trustworthy.
// Like the real sudo, a file it will not use is reported on standard error.
std::vector<sim::SudoersRule> loadRules()
{
    const std::string path = sim::sandboxPath(simlayout::kRuleFile);
    const char *shown = simlayout::kRuleFile;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    if (!S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "sudo: %s is not a regular file\n", shown);
        return {};
    }
    const sim::Owner owner = sim::expectedRuleOwner();
    if (st.st_uid != owner.uid || st.st_gid != owner.gid) {
        std::fprintf(stderr, "sudo: %s is owned by uid %u, gid %u, should be %u, %u\n", shown,
                     static_cast<unsigned>(st.st_uid), static_cast<unsigned>(st.st_gid),
                     static_cast<unsigned>(owner.uid), static_cast<unsigned>(owner.gid));
        return {};
    }
    if ((st.st_mode & 0777) != 0440) {
        std::fprintf(stderr, "sudo: %s has mode %04o, should be 0440\n", shown,
                     static_cast<unsigned>(st.st_mode & 0777));
        return {};
    }
    const auto content = sim::readFile(path);
    if (!content)
        return {};
    const sim::SudoersParse parsed = sim::parseSudoers(*content);
    if (!parsed.ok) {
        std::fprintf(stderr, "sudo: %s:%d:%d: %s\n", shown, parsed.errorLine, parsed.errorColumn,
                     parsed.errorText.c_str());
        return {};
    }
    return parsed.rules;
}

// The stand-in that plays an absolute tool path, or empty when the simulation has none.
std::string standInFor(const std::string &path, const char *argv0)
{
    for (const char *tool : {"pmset", "caffeinate"}) {
        if (path == std::string("/usr/bin/") + tool)
            return sim::selfDir(argv0) + "/" + tool;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    bool nonInteractive = false;
    bool list = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
        for (const char *p = argv[i] + 1; *p; ++p) {
            if (*p == 'n') {
                nonInteractive = true;
            } else if (*p == 'l') {
                list = true;
            } else {
                std::fprintf(stderr, "sudo: invalid option -- '%c'\n", *p);
                return usage();
            }
        }
    }
    std::vector<std::string> command(argv + i, argv + argc);
    if (command.empty() && !list)
        return usage();

    const std::string user = sim::currentUserName();
    if (user.empty()) {
        std::fprintf(stderr, "sudo: you do not exist in the passwd database\n");
        return 1;
    }
    // Quorvel always names its tools by absolute path; a bare name gets the macOS location.
    if (!command.empty() && command[0].find('/') == std::string::npos) {
        if (command[0] != "pmset") {
            std::fprintf(stderr, "sudo: %s: command not found\n", command[0].c_str());
            return 1;
        }
        command[0] = "/usr/bin/pmset";
    }

    std::vector<sim::SudoersRule> mine;
    for (sim::SudoersRule &rule : loadRules()) {
        if (rule.user == user)
            mine.push_back(std::move(rule));
    }
    bool allowed = false;
    for (const sim::SudoersRule &rule : mine)
        allowed = allowed || rule.command == command;

    const auto passwordRequired = [&]() {
        if (nonInteractive)
            std::fprintf(stderr, "sudo: a password is required\n");
        else
            std::fprintf(stderr, "sudo: a terminal is required to read the password; either use the -S option to "
                                 "read from standard input or configure an askpass helper\n"
                                 "sudo: a password is required\n");
        return 1;
    };

    if (list) {
        if (mine.empty())
            return passwordRequired();
        if (command.empty()) {
            std::printf("User %s may run the following commands on this host:\n", user.c_str());
            for (const sim::SudoersRule &rule : mine)
                std::printf("    (root) NOPASSWD: %s\n", sim::joinWords(rule.command).c_str());
            return 0;
        }
        if (!allowed)
            return 1;
        std::printf("%s\n", sim::joinWords(command).c_str());
        return 0;
    }

    if (!allowed)
        return passwordRequired();
    const std::string standIn = standInFor(command[0], argv[0]);
    if (standIn.empty()) {
        std::fprintf(stderr, "sudo: %s: command not found\n", command[0].c_str());
        return 1;
    }
    ::setenv(simlayout::kRootRightsVariable, "1", 1);
    std::vector<char *> args;
    for (std::string &word : command)
        args.push_back(word.data());
    args.push_back(nullptr);
    ::execv(standIn.c_str(), args.data());
    std::fprintf(stderr, "sudo: unable to execute %s: %s\n", command[0].c_str(), std::strerror(errno));
    return 1;
}
