#pragma once

#include "webrequest.h"

#include <string>
#include <unordered_map>

namespace Pinrova::Server {

// Exact-path routing with one error handler for the whole server: an unknown path is a 404,
// a handler that throws is a 500.
class Router
{
public:
    void add(std::string path, WebHandler handler);
    void dispatch(const WebRequest &request, Respond respond) const;

private:
    std::unordered_map<std::string, WebHandler> routes;
};

} // namespace Pinrova::Server
