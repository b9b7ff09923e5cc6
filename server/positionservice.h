#pragma once

#include "clock.h"

namespace Pinrova::Server {

class PresenceModel;
class Router;
class WriteBehind;

// The handlers of the app's three requests and of the health check, one small function each.
// Model and writer are not owned.
class PositionService
{
public:
    static constexpr const char *Prefix = "/PosService/PosService.svc/";

    PositionService(PresenceModel &model, WriteBehind &writer, Clock clock);

    void addRoutes(Router &router);

private:
    PresenceModel &model;
    WriteBehind &writer;
    Clock clock;
};

} // namespace Pinrova::Server
