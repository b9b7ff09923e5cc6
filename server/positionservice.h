#pragma once

#include "clock.h"
#include "presencemodel.h"

namespace Pinrova::Server {

class PeopleStore;
class Router;

// The handlers of the app's three requests and of the health check, one small function each.
// They reach people only through the store, which is not owned.
class PositionService
{
public:
    static constexpr const char *Prefix = "/PosService/PosService.svc/";

    PositionService(PeopleStore &store, ListingPolicy policy, Clock clock);

    void addRoutes(Router &router);

private:
    PeopleStore &store;
    const ListingPolicy policy;
    Clock clock;
};

} // namespace Pinrova::Server
