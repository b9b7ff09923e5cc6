#pragma once

#include "store/clock.h"
#include "store/peoplestore.h"

namespace Pinrova::Server {

class Router;

// The handlers of the app's three requests and of the health check, one small function each.
// They reach people only through the store, which is not owned.
class PositionService
{
public:
    static constexpr const char *Prefix = "/PosService/PosService.svc/";

    PositionService(PeopleStore &store, ListingPolicy policy, Clock clock);

    // Adds the routes "register", "setpos", "getusers" and "health".
    void addRoutes(Router &router);

private:
    PeopleStore &store;
    const ListingPolicy policy;
    Clock clock;
};

} // namespace Pinrova::Server
