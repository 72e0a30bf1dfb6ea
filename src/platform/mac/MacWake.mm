#include "platform/mac/MacWake.h"

#import <AppKit/AppKit.h>

namespace quorvel {

namespace {

class WakeSubscription final : public PowerChangeSubscription {
public:
    explicit WakeSubscription(id token)
        : m_token(token)
    {
    }
    ~WakeSubscription() override { [[[NSWorkspace sharedWorkspace] notificationCenter] removeObserver:m_token]; }

private:
    id m_token; // the workspace's centre holds it too, until removeObserver:
};

} // namespace

PowerChangeSource macWakeNotifications()
{
    return [](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        // The workspace's own centre: the default one never carries the wake notice.
        id token = [[[NSWorkspace sharedWorkspace] notificationCenter] addObserverForName:NSWorkspaceDidWakeNotification
                                                                                   object:nil
                                                                                    queue:[NSOperationQueue mainQueue]
                                                                               usingBlock:^(NSNotification *note) {
                                                                                 (void)note;
                                                                                 notify();
                                                                               }];
        return std::make_unique<WakeSubscription>(token);
    };
}

} // namespace quorvel
