#pragma once

#include "state/VemoState.h"

namespace quorvel {

// What the battery safety coordinator needs of the closed-lid controller: follow a new power
// snapshot while running, and stop for safety at a battery level. The controller implements it;
// the coordinator holds it through std::weak_ptr, so the owner keeps the controller in a
// std::shared_ptr and the coordinator never keeps it alive.
class ClamshellPowerControl {
public:
    virtual ~ClamshellPowerControl() = default;
    virtual void updatePowerSource(const PowerContext &power) = 0;
    virtual void safetyStop(qint64 level) = 0;
};

} // namespace quorvel
