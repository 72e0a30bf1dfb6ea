#include "platform/mac/MacPower.h"

#import <Foundation/Foundation.h>

namespace quorvel {

namespace {

class LowPowerModeSubscription final : public PowerChangeSubscription {
public:
    explicit LowPowerModeSubscription(id token)
        : m_token(token)
    {
    }
    ~LowPowerModeSubscription() override { [[NSNotificationCenter defaultCenter] removeObserver:m_token]; }

private:
    id m_token; // the notification centre holds it too, until removeObserver:
};

} // namespace

bool macLowPowerModeEnabled()
{
    if (@available(macOS 12.0, *))
        return [NSProcessInfo processInfo].lowPowerModeEnabled;
    return false;
}

PowerChangeSource macLowPowerModeChanges()
{
    return [](std::function<void()> notify) -> std::unique_ptr<PowerChangeSubscription> {
        if (@available(macOS 12.0, *)) {
            id token =
                [[NSNotificationCenter defaultCenter] addObserverForName:NSProcessInfoPowerStateDidChangeNotification
                                                                  object:nil
                                                                   queue:[NSOperationQueue mainQueue]
                                                              usingBlock:^(NSNotification *note) {
                                                                (void)note;
                                                                notify();
                                                              }];
            return std::make_unique<LowPowerModeSubscription>(token);
        }
        return nullptr;
    };
}

} // namespace quorvel
