// Stand-in for /usr/bin/caffeinate.
//
//   caffeinate [-dimsu] [-t timeout] [-w pid] [utility arguments...]
//
// Holds nothing awake (there is nothing to hold in the simulation); what matters to Quorvel
// is how it lives and dies: with -t it exits 0 when the time is up, with -w it exits 0 when
// the watched process ends (at once when there is no such process), with neither, or -t 0,
// it runs until a signal ends it. SIGTERM and SIGKILL end it by signal as usual; the
// QUORVEL_SIM_CAFFEINATE_IGNORE_TERM switch makes it shrug off SIGTERM. Each start appends
// "<pid> <arguments...>" to <root>/sim/caffeinate.log once its signal handling is in place,
// so a test that sees its line may signal it safely.

#include "SimTool.h"
#include "platform/sim/SimLayout.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvel;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: caffeinate [-disu] [-t timeout] [-w pid] [utility arguments...]\n");
    return 1;
}

bool parseNumber(const char *text, long long min, long long max, long long &out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max)
        return false;
    out = value;
    return true;
}

long long monotonicMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool processExists(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// Waits until `pid` has ended or `deadlineMs` (monotonic, -1 = none) has passed. Returns true
// when the process ended. Uses a pidfd so that no polling is needed; where the kernel has
// none, falls back to checking ten times a second.
bool waitForProcess(pid_t pid, long long deadlineMs)
{
    const int fd = openPidFd(pid);
    if (fd < 0 && errno == ESRCH)
        return true;
    for (;;) {
        int timeout = -1;
        if (deadlineMs >= 0) {
            const long long left = deadlineMs - monotonicMs();
            if (left <= 0)
                return false;
            timeout = static_cast<int>(std::min<long long>(left, INT_MAX));
        }
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            const int n = ::poll(&p, 1, timeout);
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR)
                return !processExists(pid);
        } else {
            if (!processExists(pid))
                return true;
            ::poll(nullptr, 0, timeout < 0 ? 100 : std::min(timeout, 100));
        }
    }
}

void sleepUntil(long long deadlineMs)
{
    for (;;) {
        if (deadlineMs < 0) {
            ::pause();
            continue;
        }
        const long long left = deadlineMs - monotonicMs();
        if (left <= 0)
            return;
        ::poll(nullptr, 0, static_cast<int>(std::min<long long>(left, INT_MAX)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    long long timeout = 0;
    long long watched = 0;
    bool haveWatch = false;

    // "+" stops at the first operand, which starts the utility's own command line.
    int opt;
    while ((opt = ::getopt(argc, argv, "+dimsut:w:")) != -1) {
        switch (opt) {
        case 'd':
        case 'i':
        case 'm':
        case 's':
        case 'u': break;
        case 't':
            if (!parseNumber(optarg, 0, INT_MAX, timeout))
                return usage();
            break;
        case 'w':
            if (!parseNumber(optarg, 1, INT_MAX, watched))
                return usage();
            haveWatch = true;
            break;
        default: return usage();
        }
    }

    if (sim::switchIsOn(simlayout::kCaffeinateIgnoresTermVariable, simlayout::kCaffeinateIgnoresTermFile))
        std::signal(SIGTERM, SIG_IGN);

    std::string record = std::to_string(::getpid());
    for (int i = 1; i < argc; ++i)
        record += std::string(" ") + argv[i];
    sim::appendToFile(sim::sandboxPath(simlayout::kCaffeinateLog), record + "\n");

    const long long deadline = timeout > 0 ? monotonicMs() + timeout * 1000 : -1;

    if (optind < argc) {
        // A utility: stay awake while it runs and hand back its status.
        const pid_t child = ::fork();
        if (child < 0)
            return 1;
        if (child == 0) {
            ::execvp(argv[optind], argv + optind);
            std::fprintf(stderr, "caffeinate: %s: %s\n", argv[optind], std::strerror(errno));
            _exit(127);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    if (haveWatch) {
        waitForProcess(static_cast<pid_t>(watched), deadline);
        return 0;
    }
    sleepUntil(deadline);
    return 0;
}
