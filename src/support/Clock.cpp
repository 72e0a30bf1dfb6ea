#include "support/Clock.h"

namespace quorvel {

std::shared_ptr<Clock> Clock::system()
{
    static const auto clock = std::make_shared<SystemClock>();
    return clock;
}

} // namespace quorvel
