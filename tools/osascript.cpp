// Stand-in for osascript with the administrator-privileges dialog. It understands exactly
// the two scripts Quorvel runs:
//
//   do shell script "install -m 0440 -o root -g wheel \"<tmp>\" /etc/sudoers.d/quorvel.pending
//                    && printf \"<format>\" <user> \"<line>\" <user> \"<line>\" | cmp -s - <pending>
//                    && visudo -cf <pending> && mv -f <pending> /etc/sudoers.d/quorvel
//                    && (rm -f /etc/sudoers.d/vemo || true) || (rm -f <pending> && false)"
//                    with administrator privileges
//   do shell script "rm /etc/sudoers.d/quorvel" with administrator privileges
//
// Each step of the install runs as the root shell would run it, in the sandbox: the copy is
// staged, compared with what printf prints, checked by the visudo on PATH and renamed into
// place, so a file swapped after the caller's own check fails here as it would on a Mac.
// The script text is unescaped as AppleScript does and the shell command split into words
// as /bin/sh does, so a quoting mistake in the caller fails here as it would on a Mac. The
// "user" answers the dialog through QUORVEL_SIM_OSASCRIPT_ANSWER or <root>/sim/osascript-answer:
// approve (the default) runs the command inside the sandbox, cancel prints the real
// "User canceled. (-128)" error, fail prints a wrong-password error. Errors go to standard
// error in osascript's "0:<end>: execution error: <text> (<number>)" form, with exit code 1.
// A slow install (QUORVEL_SIM_OSASCRIPT_DELAY_MS or <root>/sim/osascript-delay, milliseconds)
// waits with the copy staged and not yet in place; a SIGTERM, SIGINT or SIGHUP meanwhile
// abandons it as the root shell's failure branch would: the staged copy is removed, the rule
// file stays as it was, and the tool ends by that signal.

#include "SimTool.h"
#include "platform/sim/SimLayout.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quorvel;

namespace {

constexpr char kStagedRuleFile[] = "/etc/sudoers.d/quorvel.pending";
std::string g_script;

int executionError(const std::string &text, int number)
{
    std::fprintf(stderr, "0:%zu: execution error: %s (%d)\n", g_script.size(), text.c_str(), number);
    return 1;
}

int notUnderstood()
{
    std::fprintf(stderr, "osascript: the simulated administrator dialog runs only the sudoers rule install "
                         "and removal\n");
    return 1;
}

// `do shell script "<literal>" with administrator privileges` -> the unescaped literal.
std::optional<std::string> shellCommandOf(const std::string &script)
{
    const std::string text = sim::trim(script);
    const std::string head = "do shell script \"";
    if (text.rfind(head, 0) != 0)
        return std::nullopt;
    std::string literal;
    size_t i = head.size();
    for (; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] != '\\') {
            literal += text[i];
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case '"':
        case '\\': literal += text[i]; break;
        case 'n': literal += '\n'; break;
        case 'r': literal += '\r'; break;
        case 't': literal += '\t'; break;
        default: return std::nullopt;
        }
    }
    if (i >= text.size() || sim::trim(text.substr(i + 1)) != "with administrator privileges")
        return std::nullopt;
    return literal;
}

struct ShellWord {
    std::string text;
    bool isOperator = false;
    bool operator==(const ShellWord &) const = default;
};

// Splits a command as /bin/sh would for the little it needs: blanks, '...' and "..." quotes,
// backslash escapes, and the operators && || ( ). Unterminated quotes are a syntax error.
std::optional<std::vector<ShellWord>> shellWords(const std::string &line)
{
    std::vector<ShellWord> words;
    std::string current;
    bool inWord = false;
    auto flush = [&]() {
        if (inWord)
            words.push_back({current, false});
        current.clear();
        inWord = false;
    };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            flush();
        } else if (c == '(' || c == ')') {
            flush();
            words.push_back({std::string(1, c), true});
        } else if ((c == '&' || c == '|') && i + 1 < line.size() && line[i + 1] == c) {
            flush();
            words.push_back({std::string(2, c), true});
            ++i;
        } else if (c == '|') {
            flush();
            words.push_back({"|", true});
        } else if (c == '&' || c == ';' || c == '<' || c == '>' || c == '$' || c == '`') {
            return std::nullopt; // more shell than the two commands need
        } else if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            if (end == std::string::npos)
                return std::nullopt;
            current += line.substr(i + 1, end - i - 1);
            inWord = true;
            i = end;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= line.size())
                    return std::nullopt;
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size() && std::strchr("$`\"\\\n", line[i + 1]))
                    ++i;
                current += line[i];
            }
        } else if (c == '\\') {
            if (++i < line.size())
                current += line[i];
            inWord = true;
        } else {
            current += c;
            inWord = true;
        }
    }
    flush();
    return words;
}

std::vector<ShellWord> plain(std::initializer_list<const char *> texts)
{
    std::vector<ShellWord> words;
    for (const char *text : texts) {
        const bool op = !std::strcmp(text, "&&") || !std::strcmp(text, "||") || !std::strcmp(text, "(")
                        || !std::strcmp(text, ")") || !std::strcmp(text, "|");
        words.push_back({text, op});
    }
    return words;
}

// printf's own rule for the little the format needs: "%s" takes the next argument, "\n" and
// "\\" are escapes, and the format is used again while arguments remain.
std::string printfOutput(const std::string &format, const std::vector<std::string> &arguments)
{
    std::string out;
    size_t next = 0;
    do {
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
                out += next < arguments.size() ? arguments[next++] : std::string();
                ++i;
            } else if (format[i] == '\\' && i + 1 < format.size() && (format[i + 1] == 'n' || format[i + 1] == '\\')) {
                out += format[++i] == 'n' ? '\n' : '\\';
            } else {
                out += format[i];
            }
        }
    } while (next > 0 && next < arguments.size());
    return out;
}

// "visudo -cf <file>" through the visudo on PATH, as the root shell finds it.
bool visudoAccepts(const std::string &file)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execlp("visudo", "visudo", "-cf", file.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

volatile sig_atomic_t g_stopSignal = 0;

void onStopSignal(int signal)
{
    g_stopSignal = signal;
}

// The half-done install's pause: false when a termination signal cut it short.
bool pauseHalfDone()
{
    const std::string word = sim::switchWord(simlayout::kAdminDelayVariable, simlayout::kAdminDelayFile);
    char *end = nullptr;
    const long milliseconds = word.empty() ? 0 : std::strtol(word.c_str(), &end, 10);
    if (milliseconds <= 0 || *end != '\0')
        return !g_stopSignal;
    // Short naps against a deadline (macOS has no clock_nanosleep); a signal cuts a nap short.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!g_stopSignal && std::chrono::steady_clock::now() < deadline) {
        const struct timespec nap {
            0, 20 * 1000000L
        };
        ::nanosleep(&nap, nullptr);
    }
    return !g_stopSignal;
}

int install(const std::string &source, const std::string &expected)
{
    const std::string staged = sim::sandboxPath(kStagedRuleFile);
    const auto fail = [&](const std::string &text) {
        ::unlink(staged.c_str()); // || (rm -f <pending> && false)
        return executionError(text.empty() ? "The command exited with a non-zero status." : text, 1);
    };
    const auto content = sim::readFile(source);
    if (!content)
        return fail("install: " + source + ": " + std::strerror(errno));
    if (!sim::writeFileAtomic(staged, *content, 0440))
        return fail(std::string("install: ") + kStagedRuleFile + ": " + std::strerror(errno));
    if (::getuid() == 0) {
        const sim::Owner owner = sim::expectedRuleOwner();
        if (::chown(staged.c_str(), owner.uid, owner.gid) != 0)
            return fail(std::string("install: ") + kStagedRuleFile + ": " + std::strerror(errno));
    }
    const auto abandoned = [&] {
        ::unlink(staged.c_str());
        ::signal(g_stopSignal, SIG_DFL);
        ::raise(g_stopSignal);
        return 1;
    };
    if (!pauseHalfDone())
        return abandoned();
    const auto staysStaged = sim::readFile(staged);
    if (!staysStaged || *staysStaged != expected)
        return fail({}); // cmp -s prints nothing
    if (!visudoAccepts(staged))
        return fail(staged + ": parse error");
    if (g_stopSignal)
        return abandoned();
    if (::rename(staged.c_str(), sim::sandboxPath(simlayout::kRuleFile).c_str()) != 0)
        return fail(std::string("mv: ") + simlayout::kRuleFile + ": " + std::strerror(errno));
    ::unlink(sim::sandboxPath(simlayout::kLegacyRuleFile).c_str()); // rm -f ... || true
    return 0;
}

int removeRule()
{
    if (::unlink(sim::sandboxPath(simlayout::kRuleFile).c_str()) != 0)
        return executionError(std::string("rm: ") + simlayout::kRuleFile + ": " + std::strerror(errno), 1);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-e") != 0 || i + 1 >= argc)
            return notUnderstood();
        if (!g_script.empty())
            g_script += '\n';
        g_script += argv[++i];
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    const auto command = shellCommandOf(g_script);
    if (!command)
        return notUnderstood();

    // The dialog comes before the command runs.
    std::string answer = sim::switchWord(simlayout::kAdminAnswerVariable, simlayout::kAdminAnswerFile);
    if (answer.empty())
        answer = "approve";
    if (answer == "cancel")
        return executionError("User canceled.", -128);
    if (answer != "approve")
        return executionError("The administrator user name or password was incorrect.", -60005);

    const auto words = shellWords(*command);
    if (!words)
        return executionError("sh: syntax error: unterminated quoted string", 2);
    const std::vector<ShellWord> &w = *words;
    if (w == plain({"rm", simlayout::kRuleFile}))
        return removeRule();

    // The install line with its six variable words (the copy, the printf format, and the user
    // and command line twice) marked "*".
    const std::vector<ShellWord> shape = plain({"install",
                                                "-m",
                                                "0440",
                                                "-o",
                                                "root",
                                                "-g",
                                                "wheel",
                                                "*",
                                                kStagedRuleFile,
                                                "&&",
                                                "printf",
                                                "*",
                                                "*",
                                                "*",
                                                "*",
                                                "*",
                                                "|",
                                                "cmp",
                                                "-s",
                                                "-",
                                                kStagedRuleFile,
                                                "&&",
                                                "visudo",
                                                "-cf",
                                                kStagedRuleFile,
                                                "&&",
                                                "mv",
                                                "-f",
                                                kStagedRuleFile,
                                                simlayout::kRuleFile,
                                                "&&",
                                                "(",
                                                "rm",
                                                "-f",
                                                simlayout::kLegacyRuleFile,
                                                "||",
                                                "true",
                                                ")",
                                                "||",
                                                "(",
                                                "rm",
                                                "-f",
                                                kStagedRuleFile,
                                                "&&",
                                                "false",
                                                ")"});
    const bool matches = w.size() == shape.size()
                         && std::equal(shape.begin(), shape.end(), w.begin(),
                                       [](auto &a, auto &b) { return a.text == "*" ? !b.isOperator : a == b; });
    if (matches)
        return install(w[7].text, printfOutput(w[11].text, {w[12].text, w[13].text, w[14].text, w[15].text}));
    return notUnderstood();
}
