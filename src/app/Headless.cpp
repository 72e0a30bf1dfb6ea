#include "app/AppDelegate.h"
#include "app/composition/HeadlessShell.h"
#include "app/composition/LivePlatform.h"
#include "prefs/LanguageController.h"
#include "support/TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>

namespace quorvel {

int runHeadless(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // kill, Ctrl-C and a closed terminal end the app the orderly way: clean-up, then appQuit.
    TerminationSignals terminationSignals;

    LanguageController language(UserDefaults::standard());
    LivePlatform platform = currentLivePlatform();
    // Quitting from the terminal confirms by itself: there is nobody to ask.
    platform.quitAlertPresenter = [](const QuitAlert &) { return alertFirstButton; };
    auto coordinator = AppCoordinator::makeLive(std::move(platform));
    coordinator->start();

    QTextStream out(stdout);
    HeadlessShell shell(*coordinator, out);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&] { coordinator->handleWillTerminate(); });
    QObject::connect(&terminationSignals, &TerminationSignals::received, &app,
                     [&](int signal) { coordinator->handleTerminationSignal(TerminationSignals::name(signal)); });
    QTimer::singleShot(0, &app, [&] {
        coordinator->runStartupChecks();
        shell.execute(QStringLiteral("status"));
        shell.attachStandardInput();
    });
    return app.exec();
}

} // namespace quorvel
