// The workspace's will-power-off notice (shut-down, restart, log-out), on the main queue.
#import <AppKit/AppKit.h>

#include <functional>

namespace quorvel {

void observeWillPowerOff(std::function<void()> handler)
{
    // The observer lives as long as the process: it is never removed.
    [[[NSWorkspace sharedWorkspace] notificationCenter] addObserverForName:NSWorkspaceWillPowerOffNotification
                                                                    object:nil
                                                                     queue:[NSOperationQueue mainQueue]
                                                                usingBlock:^(NSNotification *) { handler(); }];
}

} // namespace quorvel
