#pragma once

#include "prefs/Localization.h"
#include "state/VemoState.h"

#include <optional>

namespace quorvel {

// What the platform of this process can and cannot do, for the views that have to say so. The
// logic never looks at it: only the texts and which controls are offered follow it.
struct PlatformNotes {
    // False where the locks are the user's own and end with the process (Linux): there is no
    // rule to install, so the settings explain that instead of offering one.
    bool needsAuthorization = true;
    // Set where closed-lid mode cannot be provided honestly; the text says why and what to set
    // in the system instead. The switch is not offered then.
    std::optional<LocalizationKey> closedLidUnavailable;
};

// The reason the closed-lid row shows instead of its own status: only while the mode is off or
// a try failed, so a mode that runs after all is still shown as running and can be switched off.
inline std::optional<LocalizationKey> closedLidUnavailableNow(const PlatformNotes &notes, const VemoState &state)
{
    if (!notes.closedLidUnavailable || state.startupResidual
        || !(is<Clamshell::Off>(state.clamshell) || is<Clamshell::Failed>(state.clamshell)))
        return std::nullopt;
    return notes.closedLidUnavailable;
}

} // namespace quorvel
