#pragma once

#include "identity/identityconfig.h"
#include "identity/verdict.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace Pinrova::Server::Identity {

class FacebookVerifier;

// Decides whether a Register's Authorization header proves its (network, id): "Facebook
// <token>" through the Graph API, "VKontakte <session>" by its signature. done is called
// exactly once, before check returns or from the Facebook verifier's thread; it must not block.
class CredentialCheck
{
public:
    using Done = std::function<void(Verdict)>;
    using Clock = std::function<std::int64_t()>; // seconds since the epoch

    CredentialCheck(const IdentityConfig &config, Clock clock);
    ~CredentialCheck();
    CredentialCheck(const CredentialCheck &) = delete;
    CredentialCheck &operator=(const CredentialCheck &) = delete;

    // network is the Register's network name in lower case ("facebook", "vkontakte", …).
    void check(
        std::string_view network, std::string claimedId, std::string_view authorization, Done done);
    // Answers what is in flight as unavailable; later checks too.
    void stop();

    // Graph API calls made (the cache's hits make none).
    std::uint64_t facebookCalls() const;

private:
    const std::string vkontakteSecret;
    const Clock clock;
    std::unique_ptr<FacebookVerifier> facebook;
};

} // namespace Pinrova::Server::Identity
