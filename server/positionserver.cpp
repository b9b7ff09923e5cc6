#include "positionserver.h"

#include "accesslog.h"
#include "embeddedpeoplestore.h"
#include "positionservice.h"
#include "redis/redispeoplestore.h"
#include "router.h"

#include <future>

namespace Pinrova::Server {

PositionServer::PositionServer(PositionServerConfig config)
    : config(std::move(config))
{ }

PositionServer::~PositionServer()
{
    stop();
}

void PositionServer::start()
{
    if (config.redisSeeds.empty()) {
        store = std::make_unique<EmbeddedPeopleStore>(config.databasePath, config.flushInterval);
    } else {
        store = std::make_unique<Redis::RedisPeopleStore>(
            Redis::RedisStoreConfig {config.redisSeeds, config.redisTimeout, config.redisReplicas});
    }
    if (config.accessLog)
        log = std::make_unique<AccessLog>();
    router = std::make_unique<Router>();
    service = std::make_unique<PositionService>(*store, config.policy, config.clock);
    service->addRoutes(*router);
    web = std::make_unique<WebServer>(*router, config.limits, log.get());
    web->start(config.host, config.port);
}

void PositionServer::stop()
{
    // The HTTP threads end first so nothing new arrives; the writer then commits what is
    // left, and answers it still gives go to an io_context that is stopped but alive.
    if (web)
        web->stop();
    if (store)
        store->stop();
    web.reset();
}

std::size_t PositionServer::personCount() const
{
    if (!store)
        return 0;
    auto promise = std::make_shared<std::promise<std::size_t>>();
    auto counted = promise->get_future();
    store->counts(
        config.clock(), [promise](StoreCounts counts) { promise->set_value(counts.people); });
    return counted.wait_for(std::chrono::seconds(5)) == std::future_status::ready ? counted.get()
                                                                                  : 0;
}

unsigned short PositionServer::port() const
{
    return web ? web->port() : 0;
}

} // namespace Pinrova::Server
