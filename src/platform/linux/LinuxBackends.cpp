#include "platform/linux/LinuxBackends.h"

#include "platform/linux/DesktopInhibitors.h"
#include "platform/linux/LogindInhibitor.h"
#include "platform/linux/UPowerSource.h"

namespace quorvel {

LinuxBackends LinuxBackends::probe(const linuxbus::Buses &buses)
{
    LinuxBackends found;
    found.logind = linuxbus::hasOwner(buses.system, logind::service);
    found.gnomeSession = linuxbus::hasOwner(buses.session, gnomesession::service);
    found.powerDevil = linuxbus::hasOwner(buses.session, powerdevil::service);
    found.screenSaver = linuxbus::hasOwner(buses.session, screensaver::service);
    found.upower = linuxbus::hasOwner(buses.system, upower::service);
    found.powerProfiles = linuxbus::hasOwner(buses.system, powerprofiles::service);
    return found;
}

QString LinuxBackends::logLine() const
{
    auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
    return QStringLiteral("linux backends, logind=%1, gnomeSession=%2, powerDevil=%3, screenSaver=%4, upower=%5, "
                          "powerProfiles=%6")
        .arg(yesNo(logind), yesNo(gnomeSession), yesNo(powerDevil), yesNo(screenSaver), yesNo(upower),
             yesNo(powerProfiles));
}

} // namespace quorvel
