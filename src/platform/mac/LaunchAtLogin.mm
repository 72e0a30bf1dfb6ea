#include "platform/mac/LaunchAtLogin.h"

#import <ServiceManagement/ServiceManagement.h>

namespace quorvel {

LoginItemStatus mainAppServiceStatus()
{
    if (@available(macOS 13.0, *)) {
        switch (SMAppService.mainAppService.status) {
        case SMAppServiceStatusNotRegistered: return LoginItemStatus::notRegistered;
        case SMAppServiceStatusEnabled: return LoginItemStatus::enabled;
        case SMAppServiceStatusRequiresApproval: return LoginItemStatus::requiresApproval;
        case SMAppServiceStatusNotFound: return LoginItemStatus::notFound;
        }
    }
    return LoginItemStatus::notFound;
}

bool registerMainAppService()
{
    if (@available(macOS 13.0, *)) {
        @autoreleasepool {
            NSError *error = nil;
            return [SMAppService.mainAppService registerAndReturnError:&error];
        }
    }
    return false;
}

bool unregisterMainAppService()
{
    if (@available(macOS 13.0, *)) {
        @autoreleasepool {
            NSError *error = nil;
            return [SMAppService.mainAppService unregisterAndReturnError:&error];
        }
    }
    return false;
}

LaunchAtLoginController makeLiveLaunchAtLogin()
{
    return LaunchAtLoginController(&mainAppServiceStatus, &registerMainAppService, &unregisterMainAppService);
}

} // namespace quorvel
