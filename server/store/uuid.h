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

// Clients choose their uids, so a fixed hash would let them pick thousands that share one
// bucket and make every lookup walk them. This one is SipHash-1-3 under a key drawn at random
// once per process: without the key, which uids collide cannot be known from outside.
struct UuidHash
{
    UuidHash();
    std::size_t operator()(const Uuid &uuid) const;

private:
    std::uint64_t k0;
    std::uint64_t k1;
};

} // namespace Pinrova::Server
