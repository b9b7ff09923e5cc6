#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace Pinrova::Server::Identity {

// The SHA-256 of a session key: all the service keeps of it (the store's KeyHash).
using Sha256 = std::array<unsigned char, 32>;

// Bytes of randomness in a key, and its length in base64url without padding.
constexpr std::size_t SessionKeyBytes = 32;
constexpr std::size_t SessionKeyLength = 43;

// A new key: 32 bytes from the system's random source, base64url. Empty when that source
// fails, which the caller answers as unavailable rather than hand out a weak key.
std::string mintSessionKey();

Sha256 sha256(std::string_view bytes);

// The key of "Authorization: Bearer <key>" when the header has exactly that form (scheme in
// any case, one space, 43 base64url characters); nothing otherwise.
std::optional<std::string_view> bearerKey(std::string_view authorization);

} // namespace Pinrova::Server::Identity
