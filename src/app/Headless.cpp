#include "app/AppDelegate.h"
#include "app/Instance.h"
#include "app/composition/HeadlessShell.h"
#include "app/composition/LivePlatform.h"
#include "prefs/LanguageController.h"
#include "support/TerminationSignals.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace quorvel {

int runHeadless(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // kill, Ctrl-C and a closed terminal end the app the orderly way: clean-up, then appQuit.
    TerminationSignals terminationSignals;
    // One instance per user: a second launch hands its arguments over and ends.
    Instance instance;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (handOffToRunningInstance(arguments)
        || !instance.claim([&] { return handOffToRunningInstance(arguments).has_value(); }))
        return 0;

    LanguageController language(UserDefaults::standard());
    LivePlatform platform = currentLivePlatform();
    // Quitting from the terminal confirms by itself: there is nobody to ask.
    platform.quitAlertPresenter = [](const QuitAlert &) { return alertFirstButton; };
    auto coordinator = AppCoordinator::makeLive(std::move(platform));
    coordinator->start();

    QTextStream out(stdout);
    // On a terminal the countdown ticks in place; piped, every change is a line of its own.
    HeadlessShell shell(*coordinator, out,
                        ::isatty(STDOUT_FILENO) == 1 ? HeadlessShell::Output::terminal : HeadlessShell::Output::lines);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&] {
        Q_ASSERT_X(QThread::currentThread() == app.thread(), "will-terminate", "runs on the main thread");
        coordinator->handleWillTerminate();
    });
    QObject::connect(&terminationSignals, &TerminationSignals::received, &app,
                     [&](int signal) { coordinator->handleTerminationSignal(TerminationSignals::name(signal)); });
    instance.serve(*coordinator, [&] { shell.execute(QStringLiteral("status")); });
    QTimer::singleShot(0, &app, [&] {
        coordinator->runStartupChecks();
        shell.execute(QStringLiteral("status"));
        shell.attachStandardInput();
        instance.handleLaunchArguments(QCoreApplication::arguments().mid(1));
    });
    return app.exec();
}

} // namespace quorvel
