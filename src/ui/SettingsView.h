#pragma once

#include "ui/Links.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QToolButton;

namespace quorvel {

class AppCoordinator;
class ExternalLinkButton;
class LabeledRow;
class LanguageController;
class LaunchAtLoginSettings;
class SettingsAuthorizationRows;
class SettingsSwitch;
class UserDefaults;

// The settings window's content: general (launch at login, language, automatic update
// checks), menu bar, closed-lid mode (help, low-battery threshold) and the system
// authorization. Stored preferences are written the moment they change; every text follows
// the interface language as it changes.
class SettingsView final : public QWidget {
    Q_OBJECT
public:
    // The product's online help; the "learn more" link opens its "closed-lid-mode" section.
    static constexpr auto helpAddress = Links::help;
    static QUrl closedLidHelpUrl();

    // `defaults` is the preferences domain the rest of the graph uses.
    SettingsView(AppCoordinator &coordinator, LanguageController &language, std::shared_ptr<UserDefaults> defaults,
                 QWidget *parent = nullptr);
    ~SettingsView() override;

    qint64 batteryExitThreshold() const { return m_batteryExitThreshold; }
    bool isRevoking() const;
    bool showingAuthorizationExplanation() const;
    SettingsAuthorizationRows *authorizationRows() const { return m_authorization; }

    // Wide enough for the longer language's rows; as tall as the rows need at that width.
    QSize sizeHint() const override;

    // What the window does each time it is shown: the login item and the rule are read back.
    void refreshOnShow();

    // What the link to the activity window opens; until given, the link does nothing.
    void setShowActivity(std::function<void()> show);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeGeneralSection();
    QWidget *makeMenuBarSection();
    QWidget *makeClosedLidSection();
    void retranslate();
    void syncLaunchAtLogin();
    void syncLanguagePicker();
    void changeThreshold(qint64 step);
    void syncThreshold();

    AppCoordinator &m_coordinator;
    LanguageController &m_language;
    std::shared_ptr<UserDefaults> m_defaults;
    LaunchAtLoginSettings *m_launchAtLogin;
    qint64 m_batteryExitThreshold;

    SettingsSwitch *m_launchSwitch = nullptr;
    ExternalLinkButton *m_openSystemSettings = nullptr;
    QLabel *m_launchError = nullptr;
    QComboBox *m_languagePicker = nullptr;
    SettingsSwitch *m_autoCheckSwitch = nullptr;
    SettingsSwitch *m_countdownSwitch = nullptr;
    SettingsSwitch *m_notifySwitch = nullptr;
    LabeledRow *m_thresholdRow = nullptr;
    QLabel *m_thresholdValue = nullptr;
    QToolButton *m_thresholdMinus = nullptr;
    QToolButton *m_thresholdPlus = nullptr;
    SettingsAuthorizationRows *m_authorization = nullptr;
    std::function<void()> m_showActivity;
};

} // namespace quorvel
