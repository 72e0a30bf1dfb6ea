#pragma once

#include "ui/ActivityView.h"
#include "update/BundleInfo.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <memory>

namespace quorvel {

class AppCoordinator;
class LanguageController;
class UserDefaults;

// The settings and about windows: one of each, made when first asked for and kept when closed,
// so reopening one shows the same window. Each has a fixed size taken from its content, opens
// centred on the screen and retitles itself when the interface language changes. Closing one
// never ends the application.
class SecondaryWindows final : public QObject {
    Q_OBJECT
public:
    static constexpr QSize settingsMinimumSize{360, 180};
    static constexpr QSize aboutMinimumSize{340, 200};
    static constexpr QSize activityMinimumSize{640, 560};

    // The windows store preferences in the standard domain.
    SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, QObject *parent = nullptr);
    // The windows store preferences in `defaults`: the domain the rest of the graph was built with.
    SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, std::shared_ptr<UserDefaults> defaults,
                     QObject *parent = nullptr);
    ~SecondaryWindows() override;

    void showSettings();
    void showAbout();
    // The history of what kept the computer awake. The window reads the history file when it
    // opens and follows the journal while it is open; closed, it is gone and costs nothing.
    void showActivity();
    QWidget *settingsWindow() const { return m_settings; }
    QWidget *aboutWindow() const { return m_about; }
    QWidget *activityWindow() const { return m_activity; }

    // The windows as showSettings() and showAbout() make them: titled, content laid out, fixed
    // size, but neither shown nor placed. For screenshots: set the state
    // in the coordinator's store after show() (showing reads the login item and the rule back),
    // or grab without showing to keep the state as it was set.
    static QWidget *buildSettingsWindow(AppCoordinator &coordinator, LanguageController &language,
                                        std::shared_ptr<UserDefaults> defaults);
    static QWidget *buildAboutWindow(BundleInfo bundle = BundleInfo::running());
    static QWidget *buildActivityWindow(ActivitySource source);

    // Fixes `window` at its content's size, raised to at least `minimum`; the height follows
    // the width where the content wraps its text.
    static void fitToContent(QWidget *window, QSize minimum);

private:
    static void present(QWidget *window);

    AppCoordinator &m_coordinator;
    LanguageController &m_language;
    std::shared_ptr<UserDefaults> m_defaults;
    QPointer<QWidget> m_settings;
    QPointer<QWidget> m_about;
    QPointer<QWidget> m_activity;
};

} // namespace quorvel
