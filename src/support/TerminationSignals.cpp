#include "support/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel {

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t g_writeEnd = -1;
volatile sig_atomic_t g_arrived = 0;

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    g_arrived = 1;
    if (g_writeEnd >= 0)
        (void)!::write(g_writeEnd, &number, 1); // a full socket drops the repeat, never blocks
    errno = saved;
}

// Neither end may leak into caffeinate, pmset or sudo: a child holding the write end could
// keep the pair alive after we are gone.
bool makeSocketPair(int sockets[2])
{
#ifdef SOCK_CLOEXEC
    return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) == 0;
#else
    // macOS has no SOCK_CLOEXEC. No other thread starts children this early, so setting the
    // flag right after creation leaves no window for an exec in between.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
        return false;
    for (int i = 0; i < 2; ++i)
        ::fcntl(sockets[i], F_SETFD, FD_CLOEXEC);
    return true;
#endif
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (!makeSocketPair(m_sockets))
        return;
    ::fcntl(m_sockets[0], F_SETFL, O_NONBLOCK);
    ::fcntl(m_sockets[1], F_SETFL, O_NONBLOCK);
    g_writeEnd = m_sockets[0];
    m_notifier = new QSocketNotifier(m_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : handledSignals)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int signal : handledSignals)
        ::signal(signal, SIG_DFL);
    if (g_writeEnd == m_sockets[0])
        g_writeEnd = -1;
    for (int fd : m_sockets)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::drain()
{
    unsigned char numbers[16];
    const ssize_t n = ::read(m_sockets[1], numbers, sizeof numbers);
    for (ssize_t i = 0; i < n; ++i)
        emit received(numbers[i]);
}

bool TerminationSignals::arrived()
{
    return g_arrived != 0;
}

QString TerminationSignals::name(int signal)
{
    switch (signal) {
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QString::number(signal);
    }
}

} // namespace quorvel
