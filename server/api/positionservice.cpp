#include "api/positionservice.h"

#include "api/networknames.h"
#include "api/userlistxml.h"
#include "api/wirerequests.h"
#include "base/limits.h"
#include "http/queryparams.h"
#include "http/router.h"
#include "identity/credentialcheck.h"
#include "identity/sessionkey.h"

#include <memory>
#include <string>

namespace Pinrova::Server {

namespace {

constexpr const char *XmlType = "application/xml; charset=utf-8";

// Parses the query with parse; answers 400 with the reason, or calls handle(request).
template<typename Parse, typename Handle>
void withRequest(const WebRequest &request, const Respond &respond, Parse parse, Handle handle)
{
    std::string error;
    const auto query = QueryParams::parse(request.query, &error);
    if (!query) {
        respond(WebReply::text(400, error));
        return;
    }
    auto parsed = parse(*query);
    if (!parsed.request) {
        respond(WebReply::text(400, parsed.error));
        return;
    }
    handle(std::move(*parsed.request));
}

WebReply tooMany(int retryAfterSeconds)
{
    WebReply reply = WebReply::text(429, "too many requests");
    reply.retryAfterSeconds = retryAfterSeconds;
    return reply;
}

WebReply unauthorized(const char *what)
{
    WebReply reply = WebReply::text(401, what);
    reply.askForKey = true;
    return reply;
}

// A store's answer to a call that named an installation and its key.
WebReply keyedAnswer(StoreStatus status, WebReply done, const char *what)
{
    switch (status) {
    case StoreStatus::Done:
        return done;
    case StoreStatus::UnknownUid:
        return WebReply::text(404, "uid is not registered");
    case StoreStatus::BadKey:
        return unauthorized("the session key is not the uid's");
    case StoreStatus::Hidden:
        return WebReply::text(409, "the person is hidden until they register again");
    default:
        break;
    }
    WebReply reply = WebReply::text(503, what);
    if (status == StoreStatus::Busy)
        reply.retryAfterSeconds = Limits::BusyRetrySeconds;
    return reply;
}

WebReply unavailable(StoreStatus status, const char *what)
{
    WebReply reply = WebReply::text(503, what);
    if (status == StoreStatus::Busy)
        reply.retryAfterSeconds = Limits::BusyRetrySeconds;
    return reply;
}

std::string userList(const NearestAnswer &answer, std::int64_t onlineSinceMs)
{
    const auto &people = answer.people;
    std::size_t size = 64 + answer.crowds.size() * 80;
    for (const auto &person : people)
        size += (person.profile ? person.profile->size() : 0) + 96;
    std::string body;
    body.reserve(size);
    UserListXml xml(body);
    xml.begin();
    for (const auto &person : people) {
        xml.addUser(person.lat, person.lon, person.seenMs >= onlineSinceMs,
            person.profile ? std::string_view(*person.profile) : std::string_view());
    }
    for (const auto &crowd : answer.crowds)
        xml.addCrowd(crowd.lat, crowd.lon, crowd.count);
    xml.end();
    return body;
}

} // namespace

PositionService::PositionService(
    PeopleStore &store, ListingPolicy policy, Clock clock, const Identity::IdentityConfig &identity)
    : store(store)
    , policy(policy)
    , clock(std::move(clock))
    , open(identity.openRegistration)
    , pictureHosts(identity.pictureHosts)
    , sourceAddress(identity.trustedProxies)
    , setPosLimit(identity.setPos.perSecond, identity.setPos.burst, Limits::RateLimitNames)
    , getUsersLimit(identity.getUsers.perSecond, identity.getUsers.burst, Limits::RateLimitNames)
    , registerLimit(
          identity.registration.perSecond, identity.registration.burst, Limits::RateLimitNames)
{
    if (!open) {
        credentials = std::make_unique<Identity::CredentialCheck>(
            identity, [clock = this->clock] { return clock() / 1000; });
    }
}

PositionService::~PositionService()
{
    stop();
}

void PositionService::stop()
{
    if (credentials)
        credentials->stop();
}

std::uint64_t PositionService::facebookCalls() const
{
    return credentials ? credentials->facebookCalls() : 0;
}

std::optional<KeyHash> PositionService::keyOf(const WebRequest &request,
    Identity::RateLimiter &limit, const std::function<void(WebReply)> &respond)
{
    const auto key = Identity::bearerKey(request.authorization);
    if (!key) {
        respond(unauthorized("this request needs \"Authorization: Bearer <session key>\""));
        return std::nullopt;
    }
    const KeyHash hash = Identity::sha256(*key);
    if (const int wait = limit.take(hash, clock())) {
        respond(tooMany(wait));
        return std::nullopt;
    }
    return hash;
}

void PositionService::registerPerson(
    const WebRequest &request, std::function<void(WebReply)> respond)
{
    withRequest(request, respond, parseRegister, [&](RegisterRequest registration) {
        if (open) {
            // Answered only once the registration is durable.
            store.registerPerson(std::move(registration), [respond](StoreStatus status) {
                respond(status == StoreStatus::Done
                        ? WebReply::text(200, "registered")
                        : unavailable(status, "registration could not be stored"));
            });
            return;
        }
        const std::string source = sourceAddress.of(request.client, request.forwardedFor);
        if (const int wait = registerLimit.take(Identity::sha256(source), clock()))
            return respond(tooMany(wait));
        const std::string network(networkWireName(registration.network));
        // A picture on another host would learn the address of everyone who looks at the map.
        if (!pictureHosts.admits(network, registration.smallPicture))
            registration.smallPicture.clear();
        if (!pictureHosts.admits(network, registration.mediumPicture))
            registration.mediumPicture.clear();
        std::string claimedId = registration.id;
        auto pending = std::make_shared<RegisterRequest>(std::move(registration));
        credentials->check(network, std::move(claimedId), request.authorization,
            [this, pending, respond](Identity::Verdict verdict) {
                if (verdict.outcome == Identity::Verdict::Refused)
                    return respond(WebReply::text(403, verdict.reason));
                if (verdict.outcome == Identity::Verdict::Unavailable) {
                    WebReply reply = WebReply::text(503, verdict.reason);
                    reply.retryAfterSeconds = Limits::IdentityRetrySeconds;
                    return respond(std::move(reply));
                }
                std::string key = Identity::mintSessionKey();
                if (key.empty()) {
                    WebReply reply = WebReply::text(503, "no session key could be made");
                    reply.retryAfterSeconds = Limits::IdentityRetrySeconds;
                    return respond(std::move(reply));
                }
                pending->keyHash = Identity::sha256(key);
                // The key goes out only once the registration that holds its hash is durable.
                store.registerPerson(
                    std::move(*pending), [respond, key = std::move(key)](StoreStatus status) {
                        respond(status == StoreStatus::Done
                                ? WebReply {200, "text/plain", key}
                                : unavailable(status, "registration could not be stored"));
                    });
            });
    });
}

void PositionService::addRoutes(Router &router)
{
    const std::string prefix = Prefix;

    router.add(prefix + "Register", "register", [this](const WebRequest &request, Respond respond) {
        registerPerson(request, std::move(respond));
    });

    router.add(prefix + "SetPos", "setpos", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseSetPos, [&](SetPosRequest position) {
            if (!open) {
                position.keyHash = keyOf(request, setPosLimit, respond);
                if (!position.keyHash)
                    return;
            }
            store.setPosition(position, clock(), [respond](StoreStatus status) {
                respond(keyedAnswer(
                    status, WebReply::text(200, "stored"), "position could not be stored"));
            });
        });
    });

    router.add(prefix + "GetUsers", "getusers", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseGetUsers, [&](const GetUsersRequest &area) {
            const std::int64_t now = clock();
            NearestQuery query;
            if (!open) {
                query.keyHash = keyOf(request, getUsersLimit, respond);
                if (!query.keyHash)
                    return;
            }
            query.view = area.view();
            query.seenSinceMs = now - policy.forgetMs;
            query.limit = policy.maxUsers;
            query.crowds = area.crowds;
            const std::int64_t onlineSince = now - policy.onlineMs;
            // Answered on the store's thread, where the list is rendered too.
            store.nearest(query, [respond, onlineSince](NearestAnswer answer) {
                if (answer.status == StoreStatus::BadKey)
                    return respond(unauthorized("the session key is not a live one"));
                if (answer.status == StoreStatus::Busy)
                    return respond(unavailable(answer.status, "too many lists asked for at once"));
                if (answer.status != StoreStatus::Done)
                    return respond(unavailable(answer.status, "people could not be listed"));
                respond(WebReply {200, XmlType, userList(answer, onlineSince)});
            });
        });
    });

    // Hide and Forget change what others see, so they are POSTs; each needs the uid's key.
    const auto keyed = [this](auto call) {
        return [this, call](const WebRequest &request, Respond respond) {
            withRequest(request, respond, parseUidOnly, [&](const Uuid &uid) {
                std::optional<KeyHash> hash;
                if (!open) {
                    const auto key = Identity::bearerKey(request.authorization);
                    if (!key)
                        return respond(unauthorized(
                            "this request needs \"Authorization: Bearer <session key>\""));
                    hash = Identity::sha256(*key);
                }
                (store.*call)(uid, hash, [respond](StoreStatus status) {
                    respond(keyedAnswer(status, WebReply {204, "text/plain", {}},
                        "the request could not be carried out"));
                });
            });
        };
    };
    router.addPost(prefix + "Hide", "hide", keyed(&PeopleStore::hide));
    router.addPost(prefix + "Forget", "forget", keyed(&PeopleStore::forget));

    router.add("/healthz", "health",
        [](const WebRequest &, Respond respond) { respond(WebReply::text(200, "ok")); });
}

} // namespace Pinrova::Server
