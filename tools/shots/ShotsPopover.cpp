#include "Shots.h"

namespace quorvel::shots {

int shootPopovers(const QString &)
{
    return 0;
}

} // namespace quorvel::shots
