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

long reservedDescriptors(int threads, int redisMasters)
{
    // The cluster client keeps a pipelined and a blocking connection per master, and opens
    // them again after a failover or a time-out while the HTTP connections may be at the cap.
    return 32 + 4L * threads + 2L * redisMasters;
}

int connectionsWithin(long openFileLimit, int wanted, int threads, int redisMasters)
{
    const long room = openFileLimit - reservedDescriptors(threads, redisMasters);
    return static_cast<int>(std::clamp<long>(room, 1, wanted));
}

} // namespace Pinrova::Server
