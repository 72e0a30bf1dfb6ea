#include "Shots.h"

namespace quorvel::shots {

int shootWindows(const QString &)
{
    return 0;
}

} // namespace quorvel::shots
