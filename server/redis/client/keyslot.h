#pragma once

#include <string_view>

namespace Pinrova::Server::Redis {

constexpr unsigned SlotCount = 16384;

// The cluster slot of a key: CRC16 (XMODEM) of its hash tag, the part between the first '{'
// and the next '}' when that is not empty, else of the whole key, modulo 16384.
unsigned keySlot(std::string_view key);

} // namespace Pinrova::Server::Redis
