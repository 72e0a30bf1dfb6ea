#include "state/VemoState.h"

namespace quorvel {

QString toString(VemoError error)
{
    switch (error) {
    case VemoError::caffeinateUnavailable: return QStringLiteral("caffeinateUnavailable");
    case VemoError::processLaunchFailed: return QStringLiteral("processLaunchFailed");
    case VemoError::processExitedUnexpectedly: return QStringLiteral("processExitedUnexpectedly");
    case VemoError::authorizationDenied: return QStringLiteral("authorizationDenied");
    case VemoError::authorizationNotConfigured: return QStringLiteral("authorizationNotConfigured");
    case VemoError::systemCommandFailed: return QStringLiteral("systemCommandFailed");
    case VemoError::readbackMismatch: return QStringLiteral("readbackMismatch");
    case VemoError::clamshellPowerUnsuitable: return QStringLiteral("clamshellPowerUnsuitable");
    case VemoError::clamshellRestoreFailed: return QStringLiteral("clamshellRestoreFailed");
    case VemoError::authorizationInvalidUser: return QStringLiteral("authorizationInvalidUser");
    case VemoError::authorizationSyntaxCheckFailed: return QStringLiteral("authorizationSyntaxCheckFailed");
    case VemoError::authorizationInstallFailed: return QStringLiteral("authorizationInstallFailed");
    case VemoError::authorizationReadbackMismatch: return QStringLiteral("authorizationReadbackMismatch");
    case VemoError::authorizationRevokeFailed: return QStringLiteral("authorizationRevokeFailed");
    }
    return {};
}

QString rawValue(ModuleId id)
{
    switch (id) {
    case ModuleId::timed: return QStringLiteral("timed");
    case ModuleId::display: return QStringLiteral("display");
    case ModuleId::clamshell: return QStringLiteral("clamshell");
    case ModuleId::powerMonitor: return QStringLiteral("powerMonitor");
    }
    return {};
}

std::optional<ModuleId> moduleIdFromRaw(const QString &raw)
{
    for (auto id : {ModuleId::timed, ModuleId::display, ModuleId::clamshell, ModuleId::powerMonitor})
        if (rawValue(id) == raw)
            return id;
    return std::nullopt;
}

bool isClamshellRunning(const ClamshellState &state)
{
    return is<Clamshell::RunningOnPowerAdapter>(state) || is<Clamshell::RunningOnBattery>(state)
           || is<Clamshell::LowBatteryWarning>(state);
}

} // namespace quorvel
