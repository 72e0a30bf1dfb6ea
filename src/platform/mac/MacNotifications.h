#pragma once

#include "support/Notifier.h"

namespace quorvel {

// Notices through the user-notification centre. The first one asks the person for permission
// (the system asks only once and remembers the answer); a refusal or an error drops the
// notice with one log line for the whole process. A newer notice replaces the one shown.
Notifier macUserNotifier();

} // namespace quorvel
