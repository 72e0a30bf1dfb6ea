#include "app/AppDelegate.h"
#include "app/CtlHistory.h"
#include "app/composition/ControlChannel.h"
#include "app/composition/ControlCommands.h"
#include "prefs/LanguageController.h"
#include "support/UserDefaults.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quorvel {

namespace {

void print(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

bool pleaseWait(const Control::Exchange &result)
{
    return result.outcome == Control::Exchange::Outcome::busy
           || (result.outcome == Control::Exchange::Outcome::answered
               && result.reply.value(QStringLiteral("reason")).toString() == QLatin1String("pleaseWait"));
}

// A change still settling, or a moment with every connection taken, passes within a blink:
// asked again for a while before the user is told.
Control::Exchange patientExchange(const QJsonObject &message, int timeoutMs)
{
    QDeadlineTimer patience(2000);
    for (;;) {
        Control::Exchange result = Control::exchange(message, timeoutMs);
        if (!pleaseWait(result) || patience.hasExpired())
            return result;
        QThread::msleep(50);
    }
}

bool instanceAnswers()
{
    QLocalSocket socket;
    socket.connectToServer(Control::socketPath());
    return socket.waitForConnected(300);
}

pid_t runningChild = 0;

// The terminal sends Ctrl-C to the whole foreground group, the command included; a signal
// sent to us alone is passed on, so that the command ends as if it had been sent to it.
void forwardSignal(int signal)
{
    if (runningChild > 0)
        ::kill(runningChild, signal);
}

// `ctl run`: the command is started first, held before exec until the app has taken up the
// session for its pid, then runs in this terminal with our streams. We wait for it and exit
// with its status (a signal as 128 + n), as a shell would.
int runCommand(const ControlCommands::Parsed &parsed)
{
    std::vector<QByteArray> storage;
    for (const QString &argument : parsed.runCommand)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int gate[2];
    if (::pipe(gate) != 0 || ::fcntl(gate[0], F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(gate[1], F_SETFD, FD_CLOEXEC) != 0) {
        print(stderr, QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        print(stderr, QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    if (child == 0) {
        ::close(gate[1]);
        char go = 0;
        ssize_t got;
        do
            got = ::read(gate[0], &go, 1);
        while (got < 0 && errno == EINTR);
        if (got != 1)
            ::_exit(127); // refused: the command never runs
        ::execvp(argv[0], argv.data());
        const int error = errno;
        const char *text = std::strerror(error);
        (void)!::write(STDERR_FILENO, argv[0], std::strlen(argv[0]));
        (void)!::write(STDERR_FILENO, ": ", 2);
        (void)!::write(STDERR_FILENO, text, std::strlen(text));
        (void)!::write(STDERR_FILENO, "\n", 1);
        ::_exit(error == ENOENT ? 127 : 126);
    }
    ::close(gate[0]);
    const auto reap = [child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        return status;
    };

    QJsonObject request = parsed.request;
    request.insert(QStringLiteral("pid"), qint64(child));
    const std::optional<QJsonObject> reply = Control::request(request, 15000);
    if (!reply || !reply->value(QStringLiteral("ok")).toBool()) {
        ::close(gate[1]);
        reap();
        if (!reply) {
            print(stderr, qtTrId("ctlNotRunning"));
            return 2;
        }
        print(stderr, reply->value(QStringLiteral("error")).toString());
        return 1;
    }
    if (parsed.json)
        print(stdout, QString::fromUtf8(QJsonDocument(*reply).toJson(QJsonDocument::Compact)));

    runningChild = child;
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
    for (int signal : {SIGTERM, SIGHUP, SIGUSR1, SIGUSR2})
        std::signal(signal, forwardSignal);
    const char go = 1;
    (void)!::write(gate[1], &go, 1);
    ::close(gate[1]);
    const int status = reap();
    runningChild = 0;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

} // namespace

int runCtl(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The replies' reasons come in the interface language the user chose for the app.
    LanguageController language(UserDefaults::standard());
    const QStringList arguments = QCoreApplication::arguments().mid(2);
    if (const std::optional<int> history = runCtlHistory(arguments))
        return *history;
    const ControlCommands::Parsed parsed = ControlCommands::parseArguments(arguments);
    if (!parsed.error.isEmpty()) {
        print(stderr, parsed.error);
        return 64;
    }
    if (!parsed.runCommand.isEmpty())
        return runCommand(parsed);
    // Authorizing waits for a person at the administrator dialog.
    const bool authorize = parsed.request.value(QStringLiteral("command")).toString() == QLatin1String("authorize");
    const Control::Exchange result = patientExchange(parsed.request, authorize ? 600000 : 15000);
    switch (result.outcome) {
    case Control::Exchange::Outcome::answered: break;
    case Control::Exchange::Outcome::notRunning: print(stderr, qtTrId("ctlNotRunning")); return 2;
    case Control::Exchange::Outcome::permissionDenied: print(stderr, qtTrId("ctlPermissionDenied")); return 77;
    case Control::Exchange::Outcome::busy: print(stderr, qtTrId("ctlBusy")); return 75;
    }
    const std::optional<QJsonObject> reply = result.reply;
    const bool ok = reply->value(QStringLiteral("ok")).toBool();
    const bool quitting = parsed.request.value(QStringLiteral("command")).toString() == QLatin1String("quit");
    if (parsed.json) {
        print(stdout, QString::fromUtf8(QJsonDocument(*reply).toJson(QJsonDocument::Compact)));
    } else if (!ok) {
        print(stderr, reply->value(QStringLiteral("error")).toString());
    } else if (!quitting) { // the state just before quitting tells nothing
        if (const auto state = ControlCommands::stateFromStatusJson(reply->value(QStringLiteral("status")).toObject()))
            print(stdout, ControlCommands::describe(*state));
    }
    if (!ok)
        return 1;
    if (quitting) {
        // The app may ask first; it has quit once nobody answers any more.
        QDeadlineTimer deadline(parsed.request.value(QStringLiteral("force")).toBool() ? 15000 : 120000);
        while (instanceAnswers()) {
            if (deadline.hasExpired()) {
                print(stderr, qtTrId("ctlQuitNotConfirmed"));
                return 1;
            }
            QThread::msleep(100);
        }
    }
    return 0;
}

std::optional<QJsonObject> handOffToRunningInstance(const QStringList &arguments)
{
    QJsonArray forwarded;
    for (const QString &argument : arguments)
        if (argument != QLatin1String("--headless"))
            forwarded.append(argument);
    const Control::Exchange result = patientExchange(
        {{QStringLiteral("command"), QStringLiteral("activate")}, {QStringLiteral("arguments"), forwarded}}, 5000);
    if (result.outcome != Control::Exchange::Outcome::answered)
        return std::nullopt;
    return result.reply;
}

} // namespace quorvel
