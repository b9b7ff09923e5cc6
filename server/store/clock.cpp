#include "store/clock.h"

#include <chrono>

namespace Pinrova::Server {

Clock systemClock()
{
    return [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    };
}

} // namespace Pinrova::Server
