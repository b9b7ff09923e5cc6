#include "redis/client/keyslot.h"

#include <cstdint>

namespace Pinrova::Server::Redis {

namespace {

std::uint16_t crc16(std::string_view bytes)
{
    std::uint16_t crc = 0;
    for (const unsigned char byte : bytes) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

} // namespace

unsigned keySlot(std::string_view key)
{
    const auto open = key.find('{');
    if (open != std::string_view::npos) {
        const auto close = key.find('}', open + 1);
        if (close != std::string_view::npos && close > open + 1)
            key = key.substr(open + 1, close - open - 1);
    }
    return crc16(key) % SlotCount;
}

} // namespace Pinrova::Server::Redis
