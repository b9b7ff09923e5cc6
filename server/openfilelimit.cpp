#include "openfilelimit.h"

#include <sys/resource.h>

#include <algorithm>

namespace Pinrova::Server {

long raiseOpenFileLimit(long wanted)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    const rlim_t target = limit.rlim_max == RLIM_INFINITY
        ? static_cast<rlim_t>(wanted)
        : std::min(limit.rlim_max, static_cast<rlim_t>(wanted));
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < target) {
        limit.rlim_cur = target;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? wanted : static_cast<long>(limit.rlim_cur);
}

long reservedDescriptors(int threads)
{
    return 32 + 4L * threads;
}

int connectionsWithin(long openFileLimit, int wanted, int threads)
{
    const long room = openFileLimit - reservedDescriptors(threads);
    return static_cast<int>(std::clamp<long>(room, 1, wanted));
}

} // namespace Pinrova::Server
