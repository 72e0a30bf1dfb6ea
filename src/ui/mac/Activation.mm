// Brings the agent app forward, as NSApplication documents for each macOS release.
#import <AppKit/AppKit.h>

#include "ui/Activation.h"

namespace quorvel {

void activateApplication(bool ignoringOtherApps)
{
    // macOS 14 deprecates the flag: activation there is cooperative, and -activate is the
    // explicit request.
    if (@available(macOS 14.0, *)) {
        if (ignoringOtherApps)
            [NSApp activate];
        else
            [NSApp activateIgnoringOtherApps:NO];
    } else {
        [NSApp activateIgnoringOtherApps:ignoringOtherApps ? YES : NO];
    }
}

} // namespace quorvel
