#include "api/positionservice.h"

#include "api/userlistxml.h"
#include "api/wirerequests.h"
#include "base/limits.h"
#include "http/queryparams.h"
#include "http/router.h"

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

PositionService::PositionService(PeopleStore &store, ListingPolicy policy, Clock clock)
    : store(store)
    , policy(policy)
    , clock(std::move(clock))
{ }

void PositionService::addRoutes(Router &router)
{
    const std::string prefix = Prefix;

    router.add(prefix + "Register", "register", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseRegister, [&](RegisterRequest registration) {
            // Answered only once the registration is durable.
            store.registerPerson(std::move(registration), [respond](StoreStatus status) {
                respond(status == StoreStatus::Done
                        ? WebReply::text(200, "registered")
                        : unavailable(status, "registration could not be stored"));
            });
        });
    });

    router.add(prefix + "SetPos", "setpos", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseSetPos, [&](const SetPosRequest &position) {
            store.setPosition(position, clock(), [respond](StoreStatus status) {
                if (status == StoreStatus::Done)
                    respond(WebReply::text(200, "stored"));
                else if (status == StoreStatus::UnknownUid)
                    respond(WebReply::text(404, "uid is not registered"));
                else
                    respond(unavailable(status, "position could not be stored"));
            });
        });
    });

    router.add(prefix + "GetUsers", "getusers", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseGetUsers, [&](const GetUsersRequest &area) {
            const std::int64_t now = clock();
            NearestQuery query;
            query.view = area.view();
            query.seenSinceMs = now - policy.forgetMs;
            query.limit = policy.maxUsers;
            query.crowds = area.crowds;
            const std::int64_t onlineSince = now - policy.onlineMs;
            // Answered on the store's thread, where the list is rendered too.
            store.nearest(query, [respond, onlineSince](NearestAnswer answer) {
                if (answer.status == StoreStatus::Busy)
                    return respond(unavailable(answer.status, "too many lists asked for at once"));
                if (answer.status != StoreStatus::Done)
                    return respond(unavailable(answer.status, "people could not be listed"));
                respond(WebReply {200, XmlType, userList(answer, onlineSince)});
            });
        });
    });

    router.add("/healthz", "health",
        [](const WebRequest &, Respond respond) { respond(WebReply::text(200, "ok")); });
}

} // namespace Pinrova::Server
