#include "identity/credentialcheck.h"
#include "base/textcoding.h"

#include "identity/facebookverifier.h"
#include "identity/vkontaktesession.h"

#include <cctype>

namespace Pinrova::Server::Identity {

CredentialCheck::CredentialCheck(const IdentityConfig &config, Clock clock)
    : vkontakteSecret(config.vkontakteSecret)
    , clock(clock)
    , facebook(std::make_unique<FacebookVerifier>(config.facebook, clock))
{ }

CredentialCheck::~CredentialCheck() = default;

void CredentialCheck::stop()
{
    facebook->stop();
}

std::uint64_t CredentialCheck::facebookCalls() const
{
    return facebook->callsMade();
}

void CredentialCheck::check(
    std::string_view network, std::string claimedId, std::string_view authorization, Done done)
{
    if (authorization.empty())
        return done(Verdict::refuse(
            "Register needs an Authorization header with the network's credential"));
    const auto space = authorization.find(' ');
    const std::string_view scheme = authorization.substr(0, space);
    const std::string_view credential
        = space == std::string_view::npos ? std::string_view() : authorization.substr(space + 1);
    if (network == "facebook") {
        if (!equalsIgnoringCase(scheme, "Facebook"))
            return done(
                Verdict::refuse("a Facebook Register needs \"Authorization: Facebook <token>\""));
        return facebook->check(std::string(credential), std::move(claimedId), std::move(done));
    }
    if (network == "vkontakte") {
        if (!equalsIgnoringCase(scheme, "VKontakte"))
            return done(Verdict::refuse(
                "a VKontakte Register needs \"Authorization: VKontakte <session>\""));
        if (vkontakteSecret.empty())
            return done(Verdict::refuse("VKontakte sign-ins are not accepted here"));
        return done(checkVkontakteSession(credential, claimedId, vkontakteSecret, clock()));
    }
    done(Verdict::refuse("sign-ins of this network are not accepted here"));
}

} // namespace Pinrova::Server::Identity
