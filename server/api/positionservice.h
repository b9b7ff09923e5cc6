#pragma once

#include "identity/identityconfig.h"
#include "identity/ratelimiter.h"
#include "identity/sourceaddress.h"
#include "store/clock.h"
#include "store/peoplestore.h"

#include <memory>

namespace Pinrova::Server {

class Router;
struct WebRequest;
struct WebReply;

namespace Identity {
class CredentialCheck;
}

// The handlers of the app's requests and of the health check, one small function each.
// They reach people only through the store, which is not owned; the credential checks and
// rate limits are their own.
class PositionService
{
public:
    static constexpr const char *Prefix = "/PosService/PosService.svc/";

    PositionService(PeopleStore &store, ListingPolicy policy, Clock clock,
        const Identity::IdentityConfig &identity);
    ~PositionService();

    // Adds the routes "register", "setpos", "getusers", "hide", "forget" and "health".
    void addRoutes(Router &router);
    // Answers the credential checks in flight as unavailable; called once no new request comes.
    void stop();

    // Graph API calls made so far.
    std::uint64_t facebookCalls() const;

private:
    void registerPerson(const WebRequest &request, std::function<void(WebReply)> respond);
    // The key's hash from "Authorization: Bearer", or the 401/429 answer given instead.
    std::optional<KeyHash> keyOf(const WebRequest &request, Identity::RateLimiter &limit,
        const std::function<void(WebReply)> &respond);

    PeopleStore &store;
    const ListingPolicy policy;
    Clock clock;
    const bool open;
    const Identity::PictureHosts pictureHosts;
    const Identity::SourceAddress sourceAddress;
    Identity::RateLimiter setPosLimit;
    Identity::RateLimiter getUsersLimit;
    Identity::RateLimiter registerLimit;
    std::unique_ptr<Identity::CredentialCheck> credentials;
};

} // namespace Pinrova::Server
