#pragma once

namespace quorvel {

// Makes Quorvel the active application before it shows a popover, a window or an alert: an
// agent app is never active by itself, so whatever it opens would sit behind the frontmost
// app. `ignoringOtherApps` takes the focus even from an app the user is working in, as an
// explicit request (settings, about, an alert) may; the popover asks politely. Does nothing
// where windows activate themselves.
void activateApplication(bool ignoringOtherApps);

} // namespace quorvel
