#include "support/Descriptors.h"

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace quorvel {

bool descriptorsToSpare(int count)
{
    std::vector<int> taken;
    taken.reserve(size_t(count));
    while (int(taken.size()) < count) {
        const int descriptor = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            break;
        taken.push_back(descriptor);
    }
    const bool enough = int(taken.size()) == count;
    for (int descriptor : taken)
        ::close(descriptor);
    return enough;
}

} // namespace quorvel
