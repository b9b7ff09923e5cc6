#include "http/router.h"

#include <cstdio>
#include <exception>
#include <memory>

namespace Pinrova::Server {

void Router::add(std::string path, std::string name, WebHandler handler)
{
    routes[std::move(path)] = Route {std::move(name), std::move(handler), false};
}

void Router::addPost(std::string path, std::string name, WebHandler handler)
{
    routes[std::move(path)] = Route {std::move(name), std::move(handler), true};
}

const Router::Route *Router::find(const std::string &path) const
{
    const auto it = routes.find(path);
    return it == routes.end() ? nullptr : &it->second;
}

void Router::dispatch(const Route *route, const WebRequest &request, Respond respond)
{
    if (!route) {
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
        route->handler(request, once);
    } catch (const std::exception &e) {
        std::fprintf(
            stderr, "pinrova-posd: handler for %s failed: %s\n", request.path.c_str(), e.what());
        if (!*answered)
            once(WebReply::text(500, "internal error"));
    }
}

} // namespace Pinrova::Server
