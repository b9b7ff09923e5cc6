#pragma once

#include <cstdint>
#include <functional>

namespace Pinrova::Server {

// Milliseconds since the Unix epoch. Injected so tests can move time.
using Clock = std::function<std::int64_t()>;

Clock systemClock();

} // namespace Pinrova::Server
