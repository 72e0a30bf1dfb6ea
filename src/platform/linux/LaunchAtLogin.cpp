#include "platform/linux/LaunchAtLogin.h"

#include "prefs/XdgAutostart.h"

#include <QCoreApplication>

namespace quorvel {

LaunchAtLoginController makeLiveLaunchAtLogin()
{
    return XdgAutostart::makeController([] {
        // Inside an AppImage the running file sits in a mount that is gone after logout; the
        // image itself is what must start at the next login.
        const QString appImage = qEnvironmentVariable("APPIMAGE");
        return appImage.isEmpty() ? QCoreApplication::applicationFilePath() : appImage;
    });
}

} // namespace quorvel
