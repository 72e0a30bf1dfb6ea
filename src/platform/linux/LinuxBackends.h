#pragma once

#include "platform/linux/LinuxBus.h"

namespace quorvel {

// Which of the services the Linux platform can use answer on the buses now.
struct LinuxBackends {
    bool logind = false;
    bool gnomeSession = false;
    bool powerDevil = false;
    bool screenSaver = false;
    bool upower = false;
    bool powerProfiles = false;

    static LinuxBackends probe(const linuxbus::Buses &buses);
    // "linux backends, logind=yes, gnomeSession=yes, powerDevil=no, screenSaver=yes, upower=yes, powerProfiles=no"
    QString logLine() const;
};

} // namespace quorvel
