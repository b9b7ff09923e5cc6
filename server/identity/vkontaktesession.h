#pragma once

#include "identity/verdict.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Pinrova::Server::Identity {

// Checks a VKontakte session handed over as base64url JSON: its sig is the MD5 (lower-case
// hex) of "expire=…mid=…secret=…sid=…" followed by the application secret, its expire (seconds
// since the epoch, 0 for none) is not past at nowSeconds, and its mid is claimedId. The
// session's secret is used for this and nothing else.
Verdict checkVkontakteSession(std::string_view encodedSession, std::string_view claimedId,
    std::string_view appSecret, std::int64_t nowSeconds);

} // namespace Pinrova::Server::Identity
