#pragma once

#include "power/PowerChangeSource.h"

namespace quorvel {

// The GUI application's screens: one added, one removed, or another one made primary. Where
// no GUI application runs (headless), nothing can be installed and the source says so.
PowerChangeSource screenChanges();

} // namespace quorvel
