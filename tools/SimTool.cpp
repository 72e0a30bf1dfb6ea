#include "SimTool.h"

#include "platform/sim/SimLayout.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

#ifndef QUORVEL_TOOLS_DIR
#define QUORVEL_TOOLS_DIR ""
#endif

namespace quorvel::sim {

namespace {

bool writeAll(int fd, const std::string &content)
{
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string parentOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string trim(const std::string &text)
{
    const char *blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string sandboxRoot()
{
    std::string root;
    if (const char *env = std::getenv(simlayout::kRootVariable); env && *env) {
        root = env;
    } else {
        const char *tmp = std::getenv("TMPDIR");
        root = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvel-sim-" + std::to_string(::getuid());
    }
    if (root.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd))
            root = std::string(cwd) + "/" + root;
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

std::string sandboxPath(const std::string &absolute)
{
    return sandboxRoot() + absolute;
}

bool makeDirs(const std::string &path)
{
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = parentOf(path);
    if (parent != path && !makeDirs(parent))
        return false;
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

std::optional<std::string> readFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

bool writeFileAtomic(const std::string &path, const std::string &content, mode_t mode)
{
    if (!makeDirs(parentOf(path)))
        return false;
    const std::string temp = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, content) && ::fchmod(fd, mode) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

bool appendToFile(const std::string &path, const std::string &content)
{
    if (!makeDirs(parentOf(path)))
        return false;
    // O_APPEND keeps lines from concurrent stand-ins whole (one short write each).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, content);
    return ::close(fd) == 0 && ok;
}

bool switchIsOn(const char *variable, const char *sandboxFile)
{
    if (const char *env = std::getenv(variable)) {
        const std::string value = env;
        return value == "1" || value == "true" || value == "yes" || value == "on";
    }
    struct stat st {};
    return ::stat(sandboxPath(sandboxFile).c_str(), &st) == 0;
}

std::string switchWord(const char *variable, const char *sandboxFile)
{
    if (const char *env = std::getenv(variable))
        return trim(env);
    const auto content = readFile(sandboxPath(sandboxFile));
    if (!content)
        return {};
    const std::string text = trim(*content);
    return text.substr(0, text.find_first_of(" \t\r\n"));
}

std::string selfDir(const char *argv0)
{
    char buffer[PATH_MAX];
#ifdef __APPLE__
    uint32_t size = sizeof buffer;
    if (_NSGetExecutablePath(buffer, &size) == 0) {
        char resolved[PATH_MAX];
        if (::realpath(buffer, resolved))
            return parentOf(resolved);
    }
#else
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        buffer[n] = '\0';
        return parentOf(buffer);
    }
#endif
    if (argv0 && std::strchr(argv0, '/')) {
        char resolved[PATH_MAX];
        if (::realpath(argv0, resolved))
            return parentOf(resolved);
    }
    return QUORVEL_TOOLS_DIR;
}

Owner expectedRuleOwner()
{
    if (::getuid() == 0)
        return {0, 0};
    return {::getuid(), ::getgid()};
}

std::string currentUserName()
{
    const struct passwd *pw = ::getpwuid(::getuid());
    return pw && pw->pw_name ? std::string(pw->pw_name) : std::string();
}

} // namespace quorvel::sim
