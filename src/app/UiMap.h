#pragma once

#include <QString>

namespace quorvel {

// For the real-desktop test, which drives the app from outside with synthetic clicks: while
// QUORVEL_UI_MAP names a file, every time a window appears the visible windows are written
// there as JSON — each with its class, title and geometry, its named widgets (screen geometry,
// text, enabled, checked) and a menu's entries — so the test knows where to click and what
// a tool tip says. Without the variable nothing is installed.
void installUiMapFromEnvironment();

} // namespace quorvel
