#include "app/AppDelegate.h"

#include "app/Instance.h"
#include "app/composition/LivePlatform.h"
#include "prefs/LanguageController.h"
#include "records/DiagnosticLog.h"
#include "support/TerminationSignals.h"
#include "ui/AlertDialogs.h"
#include "ui/ScreenChanges.h"
#include "ui/SecondaryWindows.h"

#include <QCoreApplication>
#include <QFileOpenEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace quorvel {

namespace {

[[maybe_unused]] bool onMainThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
    // Caught from the first moment; handled once the event loop runs.
    , m_signals(std::make_unique<TerminationSignals>())
    , m_instance(std::make_unique<Instance>())
{
}

bool AppDelegate::claimInstance()
{
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    return m_instance->claim([&] { return handOffToRunningInstance(arguments).has_value(); });
}

AppDelegate::~AppDelegate()
{
    // The views point into the graph: they go first.
    m_statusBar.reset();
    m_windows.reset();
}

void AppDelegate::launch()
{
    // 1-2. The stored language applies before any text is looked up.
    m_language = std::make_unique<LanguageController>(UserDefaults::standard());

    // 3. The object graph, with real dialogs, and its start-up steps.
    LivePlatform platform = currentLivePlatform();
    platform.alertPresenter = AlertDialogs::presenter();
    platform.quitAlertPresenter = AlertDialogs::quitPresenter();
    platform.displayChanges = eitherChangeSource(platform.displayChanges, screenChanges());
    m_coordinator = AppCoordinator::makeLive(std::move(platform));
    m_coordinator->start();
    AppCoordinator *coordinator = m_coordinator.get();

    // 4. Will-terminate: every way the event loop ends runs the clean-up, then appQuit.
    // Both clean-ups touch the state, which only the main thread may: a notice delivered
    // anywhere else is a wiring fault, caught here rather than as a torn state at shut-down.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [coordinator] {
        Q_ASSERT_X(onMainThread(), "will-terminate", "runs on the main thread");
        coordinator->handleWillTerminate();
    });
    // 5. Will-power-off: the workspace notice on the Mac; the termination signals (and the
    // session manager's log-out request) elsewhere.
    observeWillPowerOff([self = QPointer<AppDelegate>(this)] {
        Q_ASSERT_X(onMainThread(), "will-power-off", "runs on the main thread");
        if (self && self->m_coordinator)
            self->m_coordinator->handleWillPowerOff();
    });
    connect(m_signals.get(), &TerminationSignals::received, this,
            [coordinator](int signal) { coordinator->handleTerminationSignal(TerminationSignals::name(signal)); });
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [coordinator] {
            Q_ASSERT_X(onMainThread(), "will-power-off", "runs on the main thread");
            coordinator->handleWillPowerOff();
        });

    // 6. The status item: from here on the user can act.
    m_windows = std::make_unique<SecondaryWindows>(*m_coordinator, *m_language);
    m_statusBar = std::make_unique<StatusBarController>(*m_coordinator, *m_language, this);

    // `quorvel ctl`, second launches and quorvel:// addresses (on the Mac they arrive as
    // open-URL events).
    m_instance->serve(*m_coordinator, [this] {
        if (m_statusBar)
            m_statusBar->openPopover();
    });
    qApp->installEventFilter(this);

    // 7. Leftovers of an earlier run, once launching has returned; then an address the app
    // was launched with.
    QTimer::singleShot(0, this, [this, coordinator] {
        coordinator->runStartupChecks();
        m_instance->handleLaunchArguments(QCoreApplication::arguments().mid(1));
    });
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FileOpen) {
        const QUrl url = static_cast<QFileOpenEvent *>(event)->url();
        if (url.scheme() == QLatin1String("quorvel")) {
            m_instance->openUrl(url);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::showSettings()
{
    if (m_windows)
        m_windows->showSettings();
}

void AppDelegate::showAbout()
{
    if (m_windows)
        m_windows->showAbout();
}

void AppDelegate::showActivity()
{
    if (m_windows)
        m_windows->showActivity();
}

#ifndef Q_OS_MACOS
void observeWillPowerOff(std::function<void()>) {}
#endif

} // namespace quorvel
