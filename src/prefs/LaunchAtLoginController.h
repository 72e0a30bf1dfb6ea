#pragma once

#include "prefs/Localization.h"

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace quorvel {

// The platform's status of the application's login-item registration.
enum class LoginItemStatus {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2, // registered, but the user must still allow it in the system settings
    notFound = 3,
};

// The login item as three replaceable functions; the composition root hands in the platform's
// (the main-app service on macOS, an XDG autostart entry on Linux). The registration lives in
// the platform: nothing about it is stored in the application's preferences.
class LaunchAtLoginController {
public:
    using StatusFunction = std::function<LoginItemStatus()>;
    // Returns false when the platform refused; why it refused is not kept.
    using ChangeFunction = std::function<bool()>;

    LaunchAtLoginController(StatusFunction getStatus, ChangeFunction doRegister, ChangeFunction doUnregister);

    LoginItemStatus getStatus() const { return m_getStatus(); }
    bool doRegister() const { return m_doRegister(); }
    bool doUnregister() const { return m_doUnregister(); }

private:
    StatusFunction m_getStatus;
    ChangeFunction m_doRegister;
    ChangeFunction m_doUnregister;
};

// Where the "openSystemSettings" button leads: the Login Items pane on macOS, the autostart
// folder elsewhere.
QUrl loginItemsSettingsUrl();

// What the settings window shows for launch at login, and its two operations. The switch
// always ends up showing what the platform reports, whatever the user asked for.
class LaunchAtLoginSettings final : public QObject {
    Q_OBJECT
public:
    explicit LaunchAtLoginSettings(std::shared_ptr<LaunchAtLoginController> controller, QObject *parent = nullptr);

    bool launchAtLogin() const { return m_values.launchAtLogin; }
    bool requiresApproval() const { return m_values.requiresApproval; }
    // The direction of the last failed change: true when switching on failed.
    std::optional<bool> launchToggleError() const { return m_values.launchToggleError; }
    bool isBusy() const { return m_values.isBusy; }
    // "launchAtLoginOnFailed" or "launchAtLoginOffFailed" while an error is to be shown.
    std::optional<LocalizationKey> errorTextKey() const;

    // Reads the registration back: when the window is shown and after every change.
    void refreshLaunchAtLogin();
    // The switch's setter. Ignored while a change is being made; runs synchronously.
    void setLaunchAtLogin(bool enabled);

signals:
    void changed();

private:
    struct Values {
        bool launchAtLogin = false;
        bool requiresApproval = false;
        std::optional<bool> launchToggleError;
        bool isBusy = false;
        bool operator==(const Values &) const = default;
    };
    void publish(const Values &values);

    std::shared_ptr<LaunchAtLoginController> m_controller;
    Values m_values;
};

} // namespace quorvel
