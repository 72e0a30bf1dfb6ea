#include "app/AppDelegate.h"
#include "app/UiMap.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

using namespace quorvel;

namespace {

bool hasArgument(int argc, char *argv[], const char *wanted)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], wanted) == 0)
            return true;
    return false;
}

// Without a window system (an X or Wayland display, or a platform named through
// QT_QPA_PLATFORM) there is nowhere to put a status item.
bool displayAvailable()
{
#if defined(Q_OS_MACOS)
    return true;
#else
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
           || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
#endif
}

// A flood of descriptors (connections, children's pipes) must find room before it finds the
// limit: the Mac's default soft limit of 256 is far below what the hard limit allows.
void raiseDescriptorLimit()
{
    constexpr rlim_t sane = 10240;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? sane : std::min(limit.rlim_max, sane);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "ctl") == 0)
        return runCtl(argc, argv);
    raiseDescriptorLimit();
    if (hasArgument(argc, argv, "--headless"))
        return runHeadless(argc, argv);
    if (!displayAvailable()) {
        std::fprintf(stderr, "quorvel: no display to show the menu-bar item on; running headless in this terminal "
                             "(start it with --headless to skip this message)\n");
        return runHeadless(argc, argv);
    }
    QApplication app(argc, argv);
    // An agent: windows come and go, the app stays until it is told to quit.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quorvel"));
    // One instance per user: a second launch hands its arguments over (a bare one opens the
    // running app's menu) and ends.
    if (handOffToRunningInstance(QCoreApplication::arguments().mid(1)))
        return 0;
    installUiMapFromEnvironment();
    AppDelegate delegate;
    if (!delegate.claimInstance())
        return 0;
    delegate.launch();
    return app.exec();
}
