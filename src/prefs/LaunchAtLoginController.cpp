#include "prefs/LaunchAtLoginController.h"

#include "prefs/XdgAutostart.h"

namespace quorvel {

LaunchAtLoginController::LaunchAtLoginController(StatusFunction getStatus, ChangeFunction doRegister,
                                                 ChangeFunction doUnregister)
    : m_getStatus(std::move(getStatus))
    , m_doRegister(std::move(doRegister))
    , m_doUnregister(std::move(doUnregister))
{
}

QUrl loginItemsSettingsUrl()
{
#ifdef Q_OS_MACOS
    return QUrl(QStringLiteral("x-apple.systempreferences:com.apple.LoginItems-Settings.extension"));
#else
    return QUrl::fromLocalFile(XdgAutostart::directory());
#endif
}

LaunchAtLoginSettings::LaunchAtLoginSettings(std::shared_ptr<LaunchAtLoginController> controller, QObject *parent)
    : QObject(parent)
    , m_controller(std::move(controller))
{
}

std::optional<LocalizationKey> LaunchAtLoginSettings::errorTextKey() const
{
    if (!m_values.launchToggleError)
        return std::nullopt;
    return *m_values.launchToggleError ? LocalizationKey{QT_TRID_NOOP("launchAtLoginOnFailed")}
                                       : LocalizationKey{QT_TRID_NOOP("launchAtLoginOffFailed")};
}

void LaunchAtLoginSettings::publish(const Values &values)
{
    if (values == m_values)
        return;
    m_values = values;
    emit changed();
}

void LaunchAtLoginSettings::refreshLaunchAtLogin()
{
    Values next = m_values;
    // Two reads, as the platform may settle between them; each answers its own question.
    next.launchAtLogin = m_controller->getStatus() == LoginItemStatus::enabled;
    next.requiresApproval = m_controller->getStatus() == LoginItemStatus::requiresApproval;
    publish(next);
}

void LaunchAtLoginSettings::setLaunchAtLogin(bool enabled)
{
    if (m_values.isBusy)
        return;
    Values busy = m_values;
    busy.isBusy = true;
    busy.launchToggleError.reset();
    publish(busy);

    const bool succeeded = enabled ? m_controller->doRegister() : m_controller->doUnregister();
    if (!succeeded) {
        Values failed = m_values;
        failed.launchToggleError = enabled;
        publish(failed);
    }
    refreshLaunchAtLogin();

    Values done = m_values;
    done.isBusy = false;
    publish(done);
}

} // namespace quorvel
