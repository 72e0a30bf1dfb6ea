#include "ui/SecondaryWindows.h"

#include "app/composition/AppCoordinator.h"
#include "support/UserDefaults.h"
#include "ui/AboutView.h"
#include "ui/Activation.h"
#include "ui/SettingsView.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace quorvel {

namespace {

// A titled, closable window around one view, kept when closed and shown again as it was. Its
// title is a key, looked up again when the language changes. Its size is fixed while it is
// open: fitted to the content when it opens, and grown (never shrunk) only when the content
// no longer fits, so a note that appears is never cut off and the window does not jump as
// texts change.
class SecondaryWindow final : public QWidget {
public:
    SecondaryWindow(const char *titleKey, QSize minimum, QWidget *content)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                               | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
        , m_titleKey(titleKey)
        , m_minimum(minimum)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(content);
        // Room left by a note that has gone stays below the content, not spread through it.
        layout->addStretch();
        setWindowTitle(qtTrId(m_titleKey));
        // The window itself holds the focus when it opens: otherwise the first switch would
        // get it, and its focus ring, as if the keyboard had chosen it. Tab moves on from here.
        setFocusPolicy(Qt::ClickFocus);
        fit();
    }

    void fit()
    {
        SecondaryWindows::fitToContent(this, m_minimum);
        m_fitted = true;
    }

protected:
    bool event(QEvent *event) override
    {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::LayoutRequest && m_fitted && isVisible()) {
            const QSize now = size();
            const QPoint topLeft = pos();
            SecondaryWindows::fitToContent(this, m_minimum.expandedTo(now));
            if (size() != now)
                move(topLeft);
        }
        return handled;
    }

    void changeEvent(QEvent *event) override
    {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::LanguageChange)
            setWindowTitle(qtTrId(m_titleKey));
    }

private:
    const char *m_titleKey;
    QSize m_minimum;
    bool m_fitted = false;
};

} // namespace

SecondaryWindows::SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, QObject *parent)
    : SecondaryWindows(coordinator, language, UserDefaults::standard(), parent)
{
}

SecondaryWindows::SecondaryWindows(AppCoordinator &coordinator, LanguageController &language,
                                   std::shared_ptr<UserDefaults> defaults, QObject *parent)
    : QObject(parent)
    , m_coordinator(coordinator)
    , m_language(language)
    , m_defaults(std::move(defaults))
{
}

SecondaryWindows::~SecondaryWindows()
{
    delete m_settings;
    delete m_about;
    delete m_activity;
}

QWidget *SecondaryWindows::buildSettingsWindow(AppCoordinator &coordinator, LanguageController &language,
                                               std::shared_ptr<UserDefaults> defaults)
{
    auto *window = new SecondaryWindow(QT_TRID_NOOP("settings"), settingsMinimumSize,
                                       new SettingsView(coordinator, language, std::move(defaults)));
    window->setObjectName(QStringLiteral("settingsWindow"));
    return window;
}

QWidget *SecondaryWindows::buildAboutWindow(BundleInfo bundle)
{
    auto *window = new SecondaryWindow(QT_TRID_NOOP("aboutApp"), aboutMinimumSize, new AboutView(std::move(bundle)));
    window->setObjectName(QStringLiteral("aboutWindow"));
    return window;
}

QWidget *SecondaryWindows::buildActivityWindow(ActivitySource source)
{
    auto *window =
        new SecondaryWindow(QT_TRID_NOOP("activity"), activityMinimumSize, new ActivityView(std::move(source)));
    window->setObjectName(QStringLiteral("activityWindow"));
    return window;
}

void SecondaryWindows::fitToContent(QWidget *window, QSize minimum)
{
    if (QLayout *layout = window->layout())
        layout->activate();
    const QSize hint = window->sizeHint();
    const int width = qMax(hint.width(), minimum.width());
    int height = window->hasHeightForWidth() ? window->heightForWidth(width) : hint.height();
    if (height <= 0)
        height = hint.height();
    height = qMax(height, minimum.height());
    if (window->minimumSize() != QSize(width, height) || window->maximumSize() != QSize(width, height))
        window->setFixedSize(width, height);
}

void SecondaryWindows::present(QWidget *window)
{
    if (auto *secondary = dynamic_cast<SecondaryWindow *>(window))
        secondary->fit();
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(0, 0), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    activateApplication(true);
    window->setAttribute(Qt::WA_KeyboardFocusChange, false);
    window->setFocus(Qt::ActiveWindowFocusReason);
    window->show();
    window->raise();
    window->activateWindow();
}

void SecondaryWindows::showSettings()
{
    if (m_settings && m_settings->isVisible()) {
        m_settings->raise();
        m_settings->activateWindow();
        return;
    }
    // Closed windows are kept: reopening shows the same one, where it was left.
    if (!m_settings) {
        m_settings = buildSettingsWindow(m_coordinator, m_language, m_defaults);
        if (auto *view = m_settings->findChild<SettingsView *>())
            view->setShowActivity([this] { showActivity(); });
    }
    present(m_settings);
}

void SecondaryWindows::showAbout()
{
    if (m_about && m_about->isVisible()) {
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    if (!m_about)
        m_about = buildAboutWindow(BundleInfo::running());
    present(m_about);
}

void SecondaryWindows::showActivity()
{
    if (m_activity && m_activity->isVisible()) {
        m_activity->raise();
        m_activity->activateWindow();
        return;
    }
    if (m_activity)
        m_activity->deleteLater();
    m_activity = buildActivityWindow(ActivitySource::of(m_coordinator.eventJournal()));
    // Unlike settings and about, the activity window follows the journal while it exists: a
    // closed one must cost nothing, so it goes with its close.
    m_activity->setAttribute(Qt::WA_DeleteOnClose);
    present(m_activity);
}

} // namespace quorvel
