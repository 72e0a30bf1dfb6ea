#pragma once

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

// The settings and about windows: one of each, reused while visible, a new one after close.
// Each has a fixed size taken from its content, opens centred on the screen and retitles
// itself when the interface language changes. Closing one never ends the application.
class SecondaryWindows final : public QObject {
    Q_OBJECT
public:
    static constexpr QSize settingsMinimumSize{360, 180};
    static constexpr QSize aboutMinimumSize{340, 200};

    // The windows store preferences in the standard domain.
    SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, QObject *parent = nullptr);
    // The windows store preferences in `defaults`: the domain the rest of the graph was built with.
    SecondaryWindows(AppCoordinator &coordinator, LanguageController &language, std::shared_ptr<UserDefaults> defaults,
                     QObject *parent = nullptr);
    ~SecondaryWindows() override;

    void showSettings();
    void showAbout();
    QWidget *settingsWindow() const { return m_settings; }
    QWidget *aboutWindow() const { return m_about; }

    // The windows as showSettings() and showAbout() make them: titled, content laid out, fixed
    // size, deleted when closed, but neither shown nor placed. For screenshots: set the state
    // in the coordinator's store after show() (showing reads the login item and the rule back),
    // or grab without showing to keep the state as it was set.
    static QWidget *buildSettingsWindow(AppCoordinator &coordinator, LanguageController &language,
                                        std::shared_ptr<UserDefaults> defaults);
    static QWidget *buildAboutWindow(BundleInfo bundle = BundleInfo::running());

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
};

} // namespace quorvel
