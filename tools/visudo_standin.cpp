// Fallback for visudo on a system that has none: check mode only, and strict.
//
//   visudo-standin -c -f <file>    (also -cf <file>)
//
// Prints "<file>: parsed OK" and exits 0 when every line has the one rule form the
// simulation knows (SudoersRules.h); otherwise prints "<file>:<line>:<column>: <error>"
// on standard error and exits 1. It is stricter than the real checker, never looser:
// anything it passes, the real one passes too.

#include "SimTool.h"
#include "SudoersRules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace quorvel;

int main(int argc, char **argv)
{
    bool check = false;
    const char *file = nullptr;
    int opt;
    while ((opt = ::getopt(argc, argv, "cf:qs")) != -1) {
        switch (opt) {
        case 'c': check = true; break;
        case 'f': file = optarg; break;
        case 'q':
        case 's': break;
        default: std::fprintf(stderr, "usage: visudo -c [-qs] [-f sudoers]\n"); return 1;
        }
    }
    if (!check || !file || optind != argc) {
        std::fprintf(stderr, "visudo: the simulation supports only checking a file: visudo -c -f sudoers\n");
        return 1;
    }
    const auto content = sim::readFile(file);
    if (!content) {
        std::fprintf(stderr, "visudo: unable to open %s: %s\n", file, std::strerror(errno));
        return 1;
    }
    const sim::SudoersParse parsed = sim::parseSudoers(*content);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s:%d:%d: %s\n", file, parsed.errorLine, parsed.errorColumn, parsed.errorText.c_str());
        return 1;
    }
    std::printf("%s: parsed OK\n", file);
    return 0;
}
