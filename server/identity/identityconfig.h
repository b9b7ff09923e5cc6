#pragma once

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
    // Per key; the app reports every 3 s and lists every 5 s.
    RateLimit setPos {1, 5};
    RateLimit getUsers {1, 5};
    // Per source address: 10 a minute.
    RateLimit registration {10.0 / 60, 10};

    bool hasSecret() const { return !facebook.appSecret.empty() || !vkontakteSecret.empty(); }
};

} // namespace Pinrova::Server::Identity
