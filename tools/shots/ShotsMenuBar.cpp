#include "Shots.h"

namespace quorvel::shots {

int shootMenuBar(const QString &)
{
    return 0;
}

} // namespace quorvel::shots
