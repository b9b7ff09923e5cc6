#pragma once

#include "http/webrequest.h"

#include <string>
#include <unordered_map>

namespace Pinrova::Server {

// Exact-path routing with one error handler for the whole server: an unknown path is a 404,
// a handler that throws is a 500. Each route has a name, which travels with its requests to
// the observers; routes are added before the server starts and never after.
class Router
{
public:
    struct Route
    {
        std::string name;
        WebHandler handler;
        bool post = false; // answers POST (without a body) rather than GET
    };

    void add(std::string path, std::string name, WebHandler handler);
    // A route that changes state, so a link or a prefetch never triggers it.
    void addPost(std::string path, std::string name, WebHandler handler);
    // The route of a path; null when there is none.
    const Route *find(const std::string &path) const;
    // Runs route's handler (a 404 when route is null).
    static void dispatch(const Route *route, const WebRequest &request, Respond respond);

private:
    std::unordered_map<std::string, Route> routes;
};

} // namespace Pinrova::Server
