#include "positionservice.h"

#include "presencemodel.h"
#include "queryparams.h"
#include "router.h"
#include "wirerequests.h"
#include "writebehind.h"

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

} // namespace

PositionService::PositionService(PresenceModel &model, WriteBehind &writer, Clock clock)
    : model(model)
    , writer(writer)
    , clock(std::move(clock))
{ }

void PositionService::addRoutes(Router &router)
{
    const std::string prefix = Prefix;

    router.add(prefix + "Register", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseRegister, [&](RegisterRequest registration) {
            // Answered only once the registration is in the file.
            writer.submit(std::move(registration), [respond](bool stored) {
                respond(stored ? WebReply::text(200, "registered")
                               : WebReply::text(503, "registration could not be stored"));
            });
        });
    });

    router.add(prefix + "SetPos", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseSetPos, [&](const SetPosRequest &position) {
            if (model.setPosition(position.uid, position.lat, position.lon, clock()))
                respond(WebReply::text(200, "stored"));
            else
                respond(WebReply::text(404, "uid is not registered"));
        });
    });

    router.add(prefix + "GetUsers", [this](const WebRequest &request, Respond respond) {
        withRequest(request, respond, parseGetUsers, [&](const GetUsersRequest &area) {
            respond(WebReply {200, XmlType, model.usersNear(area, clock())});
        });
    });

    router.add("/healthz",
        [](const WebRequest &, Respond respond) { respond(WebReply::text(200, "ok")); });
}

} // namespace Pinrova::Server
