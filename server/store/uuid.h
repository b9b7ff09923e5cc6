#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Pinrova::Server {

// An installation identifier: 16 bytes, written as the app's braced text form.
struct Uuid
{
    std::array<std::uint8_t, 16> bytes {};

    // Accepts only "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (38 characters, either case).
    static std::optional<Uuid> fromBraced(std::string_view text);
    // Lower-case braced form, the one the app sends.
    std::string toBraced() const;
    // The 32 hex digits alone, lower case.
    std::string toHex() const;
    bool isNull() const;

    bool operator==(const Uuid &other) const { return bytes == other.bytes; }
    bool operator!=(const Uuid &other) const { return bytes != other.bytes; }
};

struct UuidHash
{
    std::size_t operator()(const Uuid &uuid) const;
};

} // namespace Pinrova::Server
