#pragma once

#include "base/limits.h"
#include "identity/facebookverifier.h"
#include "identity/picturehosts.h"

#include <string>
#include <vector>

namespace Pinrova::Server::Identity {

// One rate limit: perSecond sustained (0: none), burst at once.
struct RateLimit
{
    double perSecond = 0;
    double burst = 1;
};

// Everything about who may do what, from the command line.
struct IdentityConfig
{
    // The designed protocol: Register without a credential, no session keys. For closed test
    // networks only.
    bool openRegistration = false;
    FacebookConfig facebook;
    std::string vkontakteSecret; // empty: every VKontakte credential is refused
    PictureHosts pictureHosts = PictureHosts::defaults();
    std::vector<std::string> trustedProxies; // whose X-Forwarded-For is believed
    // Per key.
    RateLimit setPos {Limits::SetPosPerSecond, Limits::SetPosBurst};
    RateLimit getUsers {Limits::GetUsersPerSecond, Limits::GetUsersBurst};
    // Per source address.
    RateLimit registration {Limits::RegistersPerMinute / 60, Limits::RegisterBurst};

    bool hasSecret() const { return !facebook.appSecret.empty() || !vkontakteSecret.empty(); }
};

} // namespace Pinrova::Server::Identity
