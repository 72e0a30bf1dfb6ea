#pragma once

#include "prefs/LaunchAtLoginController.h"

namespace quorvel {

// The login item on Linux: an XDG autostart entry that starts this executable.
LaunchAtLoginController makeLiveLaunchAtLogin();

} // namespace quorvel
