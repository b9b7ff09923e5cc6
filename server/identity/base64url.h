#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Pinrova::Server::Identity {

// Base64 with the URL alphabet ("-", "_") and no padding, as session keys and VKontakte's
// session hand-off use it.
std::string toBase64Url(std::string_view bytes);
// Nothing for a character outside the alphabet, padding, or a length no encoding gives.
std::optional<std::string> fromBase64Url(std::string_view text);

} // namespace Pinrova::Server::Identity
