#pragma once

#include "prefs/LaunchAtLoginController.h"

namespace quorvel {

// The login item on macOS: the main application registered as a service-management login item.
LoginItemStatus mainAppServiceStatus();
bool registerMainAppService();
bool unregisterMainAppService();

LaunchAtLoginController makeLiveLaunchAtLogin();

} // namespace quorvel
