#pragma once

#include "clock.h"
#include "presencemodel.h"

namespace Pinrova::Server {

class PeopleStore;
class QueryPool;
class Router;

// The handlers of the app's three requests and of the health check, one small function each.
// They reach people only through the store; GetUsers lists are built on the query pool.
// Neither is owned.
class PositionService
{
public:
    static constexpr const char *Prefix = "/PosService/PosService.svc/";

    PositionService(PeopleStore &store, QueryPool &queries, ListingPolicy policy, Clock clock);

    void addRoutes(Router &router);

private:
    PeopleStore &store;
    QueryPool &queries;
    const ListingPolicy policy;
    Clock clock;
};

} // namespace Pinrova::Server
