#include "router.h"

#include <cstdio>
#include <exception>
#include <memory>

namespace Pinrova::Server {

void Router::add(std::string path, WebHandler handler)
{
    routes[std::move(path)] = std::move(handler);
}

void Router::dispatch(const WebRequest &request, Respond respond) const
{
    const auto it = routes.find(request.path);
    if (it == routes.end()) {
        respond(WebReply::text(404, "no such resource"));
        return;
    }
    // The handler may have answered before it threw; answer once only.
    auto answered = std::make_shared<bool>(false);
    Respond once = [respond, answered](WebReply reply) {
        if (*answered)
            return;
        *answered = true;
        respond(std::move(reply));
    };
    try {
        it->second(request, once);
    } catch (const std::exception &e) {
        std::fprintf(
            stderr, "pinrova-posd: handler for %s failed: %s\n", request.path.c_str(), e.what());
        if (!*answered)
            once(WebReply::text(500, "internal error"));
    }
}

} // namespace Pinrova::Server
